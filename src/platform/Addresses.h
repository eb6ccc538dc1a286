#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// IPv4 addresses as the operator types them and as the program shows them.

// An IPv4 address given in network byte order as "a.b.c.d".
QString DottedText(quint32 networkOrder);

// The address rule of inet_addr(3): dotted decimal and the shorter, octal and
// hex forms. 255.255.255.255 is refused, as inet_addr cannot tell it from its
// error value. Returns the address in network byte order.
std::optional<quint32> InetAddr(QStringView text);
inline std::optional<quint32> InetAddr(const QString& text) {
    return InetAddr(QStringView(text));
}
inline bool IsValidAddress(const QString& text) {
    return InetAddr(text).has_value();
}
