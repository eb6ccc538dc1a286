#pragma once

#include <QString>
#include <optional>

class TIniFile;

// Where the metrics are served: "MetricsListen" of the main section.
struct TMetricsSettings {
    QString listen; // empty: off, no socket

    bool operator==(const TMetricsSettings&) const = default;

    static TMetricsSettings Read(const TIniFile& ini);
    // Writes the key; an absent key stays absent while the field is empty.
    void Write(TIniFile& ini) const;
};

// A "MetricsListen" value taken apart: host and port as civetweb's
// "listening_ports" wants them.
struct TListenAddress {
    QString host; // dotted IPv4, or an IPv6 address without brackets
    quint16 port = 0;
    bool ipv6 = false;
    // "127.0.0.1:9100", "[::1]:9100".
    QString Text() const;
};

// A bare port means loopback; all interfaces only when written so
// ("0.0.0.0:port"). Nothing for a value that is not host:port.
std::optional<TListenAddress> ParseListenAddress(const QString& text);
