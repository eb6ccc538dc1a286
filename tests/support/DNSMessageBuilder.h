#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Builds DNS messages byte by byte for tests, benchmarks and fuzz seeds.
class TDNSMessageBuilder {
public:
    // Uncompressed wire form of a dotted name, with its zero byte.
    static QByteArray Name(const QString& dotted) {
        QByteArray out;
        for (const QString& label : dotted.split('.', Qt::SkipEmptyParts)) {
            const QByteArray b = label.toLatin1();
            out += char(b.size());
            out += b;
        }
        out += '\0';
        return out;
    }
    // Labels without the zero byte, to be followed by a pointer.
    static QByteArray Labels(const QString& dotted) { return Name(dotted).chopped(1); }
    static QByteArray Pointer(int offset) {
        QByteArray out;
        out += char(0xc0 | (offset >> 8));
        out += char(offset & 0xff);
        return out;
    }
    static QByteArray Be16(int v) {
        QByteArray out;
        out += char((v >> 8) & 0xff);
        out += char(v & 0xff);
        return out;
    }
    static QByteArray Be32(quint32 v) { return Be16(int(v >> 16)) + Be16(int(v & 0xffff)); }

    // Header with QR set (0x80 in flags1) unless told otherwise.
    TDNSMessageBuilder& Header(int flags1, int flags2, int an, int ns, int ar, int qd = 1) {
        bytes = QByteArray("\x02\x02", 2);
        bytes += char(flags1);
        bytes += char(flags2);
        bytes += Be16(qd) + Be16(an) + Be16(ns) + Be16(ar);
        return *this;
    }
    TDNSMessageBuilder& Question(const QString& name, int type) {
        bytes += Name(name) + Be16(type) + Be16(1);
        return *this;
    }
    TDNSMessageBuilder& Record(const QByteArray& owner, int type, int dnsClass, quint32 ttl,
                               const QByteArray& data) {
        bytes += owner + Be16(type) + Be16(dnsClass) + Be32(ttl) + Be16(int(data.size())) + data;
        return *this;
    }
    TDNSMessageBuilder& Raw(const QByteArray& raw) {
        bytes += raw;
        return *this;
    }
    int Offset() const { return int(bytes.size()); }
    QByteArray Bytes() const { return bytes; }

private:
    QByteArray bytes;
};
