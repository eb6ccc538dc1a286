#include "Addresses.h"

#include <QVarLengthArray>
#include <arpa/inet.h>

QString DottedText(quint32 networkOrder) {
    const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

std::optional<quint32> InetAddr(QStringView text) {
    // inet_addr stops at a NUL; a text with one inside cannot be an address.
    if (text.contains(QChar(0)))
        return std::nullopt;
    // As Latin-1, a character beyond it as '?'; on the stack, as a data file
    // checks one address a line.
    QVarLengthArray<char, 64> bytes(text.size() + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bytes[i] = c < 0x100 ? char(c) : '?';
    }
    bytes[text.size()] = '\0';
    const in_addr_t a = inet_addr(bytes.constData());
    if (a == INADDR_NONE)
        return std::nullopt;
    return quint32(a);
}
