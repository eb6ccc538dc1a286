#include "MetricsSettings.h"

#include "platform/IniFile.h"
#include "platform/SettingsFile.h"

#include <QHostAddress>

namespace {

const QString kMetricsListen = QStringLiteral("MetricsListen");

std::optional<quint16> parsePort(const QString& text) {
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return quint16(port);
}

} // namespace

TMetricsSettings TMetricsSettings::Read(const TIniFile& ini) {
    return {ini.ReadString(kMainSection, kMetricsListen, QString()).trimmed()};
}

void TMetricsSettings::Write(TIniFile& ini) const {
    if (listen.isEmpty() && ini.ReadString(kMainSection, kMetricsListen, QString()).isEmpty())
        return;
    ini.WriteString(kMainSection, kMetricsListen, listen);
}

QString TListenAddress::Text() const {
    return (ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(port);
}

std::optional<TListenAddress> ParseListenAddress(const QString& raw) {
    const QString text = raw.trimmed();
    if (!text.contains(QLatin1Char(':'))) {
        const auto port = parsePort(text);
        if (!port)
            return std::nullopt;
        return TListenAddress{QStringLiteral("127.0.0.1"), *port, false};
    }
    QString host;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    const auto p = parsePort(port);
    QHostAddress address;
    if (!p || !address.setAddress(host))
        return std::nullopt;
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    // An IPv6 address goes in brackets, so that its colons are not a port.
    if (v6 != text.startsWith(QLatin1Char('[')))
        return std::nullopt;
    if (!v6) {
        // QHostAddress takes "1" or "010.1" as IPv4; civetweb would not.
        if (host.count(QLatin1Char('.')) != 3 || address.toString() != host)
            return std::nullopt;
    }
    return TListenAddress{v6 ? address.toString() : host, *p, v6};
}
