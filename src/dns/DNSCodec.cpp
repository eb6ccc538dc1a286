// One allocation per display line instead of one per piece.
#define QT_USE_QSTRINGBUILDER

#include "dns/DNSCodec.h"

#include <QStringDecoder>
#include <algorithm>

namespace {

constexpr int kHeaderSize = 12;
// A name of at most 255 octets cannot need more pointers than this unless
// they form a loop.
constexpr int kMaxPointers = 128;

const QString kTab = QStringLiteral("\t");

// Characters that would end a line or hide in one: C0 and C1 controls, DEL,
// and the Unicode line and paragraph separators, which the text panes break
// lines on just like a line feed.
bool NeedsEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

// Names and strings arrive as raw octets. UTF-8 where it is valid, otherwise
// Latin-1, as for files. A character that NeedsEscape is shown as the octets
// that carried it, each as "\ddd" in decimal (the master-file form): so LF is
// "\010", U+0085 in UTF-8 "\194\133", U+2029 "\226\128\169", and a Latin-1
// 0x85 "\133". A hostile record cannot break a log line or add lines of its own.
QString DisplayText(const QByteArray& bytes) {
    // Nearly every name is plain printable ASCII.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    const bool latin1 = utf8.hasError();
    if (latin1)
        text = QString::fromLatin1(bytes);
    const auto escaped = [](uchar octet) {
        return QStringLiteral("\\%1").arg(octet, 3, 10, QLatin1Char('0'));
    };
    QString shown;
    shown.reserve(text.size());
    // None of the escaped characters is outside the BMP, so a surrogate half
    // is never one of them and passes through with its partner.
    for (QChar c : text) {
        if (!NeedsEscape(c.unicode())) {
            shown += c;
        } else if (latin1) {
            shown += escaped(uchar(c.unicode()));
        } else {
            for (const char octet : QString(c).toUtf8())
                shown += escaped(uchar(octet));
        }
    }
    return shown;
}

QString TtlText(quint32 ttl) {
    return QStringLiteral("TTL: ") + QString::number(qint32(ttl)) + QStringLiteral(" sec.");
}

QString DottedAddress(quint32 hostOrder) {
    const QLatin1Char dot('.');
    return QString::number(hostOrder >> 24) + dot + QString::number((hostOrder >> 16) & 0xff) +
           dot + QString::number((hostOrder >> 8) & 0xff) + dot + QString::number(hostOrder & 0xff);
}

struct TRecordHeader {
    QString owner;
    quint16 type = 0;
    quint16 dnsClass = 0;
    quint32 ttl = 0;
    int dataStart = 0;
    int dataLength = 0;
};

// Decodes one record's data into `section`. A record adds all its lines or
// none: false means the data could not be read and nothing was added.
bool DecodeRecordData(const TDNSReader& reader, const TRecordHeader& rr, TDNSSection& section) {
    const QString cls = DNSClassName(rr.dnsClass);
    const QString ttl = TtlText(rr.ttl);
    int pos = rr.dataStart;
    QStringList lines;
    QStringList values;

    switch (rr.type) {
    case DNS::TypeA: {
        quint32 address = 0;
        if (rr.dataLength != 4)
            return true;
        if (!reader.readBe32(pos, address))
            return false;
        const QString dotted = DottedAddress(address);
        lines << rr.owner + kTab + kTab + ttl + kTab + "Class:" + cls + "   " + "Type:A" + kTab +
                     dotted;
        values << dotted;
        break;
    }
    case DNS::TypeNS: {
        QString server;
        if (!reader.readName(pos, server))
            return false;
        lines << server + kTab + kTab + "Class:" + cls + kTab + "Type:NS" + kTab + ttl;
        values << server;
        break;
    }
    case DNS::TypeCNAME: {
        QString canonical;
        if (!reader.readName(pos, canonical))
            return false;
        lines << rr.owner + kTab + kTab + "Class:" + cls + "   " + "Type: CNAME" + kTab +
                     canonical + kTab + kTab + ttl;
        values << canonical;
        break;
    }
    case DNS::TypeSOA: {
        const QString head = rr.owner + kTab + ttl + "   Class:" + cls + "   " + "Type:SOA" + kTab;
        const int namesEnd = rr.dataStart + rr.dataLength - 20;
        int index = 0;
        do {
            QString name;
            if (!reader.readName(pos, name))
                return false;
            if (index == 0) {
                lines << head + "server: " + " " + name;
                values << name;
            } else if (index == 1) {
                lines << head + "  email: " + " " + name;
                values << name;
            } else {
                lines << rr.owner + kTab + kTab + "Class:" + cls + "   " + "Type:SOA" + kTab + name
                      << ttl << QString();
            }
            ++index;
        } while (pos < namesEnd);
        static const char* const kCaptions[5] = {"Serial: \t\t", "Refresh: \t\t", "Retry: \t\t",
                                                 "Expire: \t\t", "Minimum TTL: \t"};
        lines << QString();
        for (const char* caption : kCaptions) {
            quint32 n = 0;
            if (!reader.readBe32(pos, n))
                return false;
            lines << QString::fromLatin1(caption) + QString::number(qint32(n));
        }
        break;
    }
    case DNS::TypePTR: {
        QString target;
        if (!reader.readName(pos, target))
            return false;
        lines << rr.owner + kTab + kTab + "Class:" + cls + "   " + "Type:PTR" + kTab + target
              << ttl;
        values << rr.owner;
        break;
    }
    case DNS::TypeMX: {
        quint16 preference = 0;
        QString exchange;
        if (!reader.readBe16(pos, preference) || !reader.readName(pos, exchange))
            return false;
        lines << rr.owner + kTab + kTab + "Class:" + cls + "   " + "Type:MX" +
                     "   Preference: " + QString::number(preference) + "   " + ttl
              << kTab + kTab + kTab + "Exchange: " + exchange << QString();
        values << exchange;
        break;
    }
    case DNS::TypeTXT: {
        // Only the first character-string is shown.
        quint8 length = 0;
        QByteArray bytes;
        if (!reader.readU8(pos, length) || !reader.readBytes(pos, length, bytes))
            return false;
        const QString text = DisplayText(bytes);
        lines << rr.owner + kTab + kTab + ttl + "   Class:" + cls
              << "Type:TXT" + kTab + kTab + text;
        values << text;
        break;
    }
    default:
        return true;
    }
    section.Lines += lines;
    section.Values += values;
    return true;
}

// Decodes `count` records; false when decoding has to stop.
bool DecodeSection(const TDNSReader& reader, int& pos, int count, TDNSSection& section) {
    for (int i = 0; i < count; ++i) {
        TRecordHeader rr;
        quint16 dataLength = 0;
        if (!reader.readName(pos, rr.owner) || !reader.readBe16(pos, rr.type) ||
            !reader.readBe16(pos, rr.dnsClass) || !reader.readBe32(pos, rr.ttl) ||
            !reader.readBe16(pos, dataLength))
            return false;
        rr.dataStart = pos;
        rr.dataLength = dataLength;
        if (rr.dataStart + rr.dataLength > reader.size())
            return false;
        if (!DecodeRecordData(reader, rr, section))
            return false;
        pos = rr.dataStart + rr.dataLength;
    }
    return true;
}

} // namespace

bool TDNSReader::readU8(int& pos, quint8& value) const {
    if (pos < 0 || pos >= length)
        return false;
    value = data[pos++];
    return true;
}

bool TDNSReader::readBe16(int& pos, quint16& value) const {
    if (pos < 0 || length - pos < 2)
        return false;
    value = quint16((data[pos] << 8) | data[pos + 1]);
    pos += 2;
    return true;
}

bool TDNSReader::readBe32(int& pos, quint32& value) const {
    if (pos < 0 || length - pos < 4)
        return false;
    value = (quint32(data[pos]) << 24) | (quint32(data[pos + 1]) << 16) |
            (quint32(data[pos + 2]) << 8) | quint32(data[pos + 3]);
    pos += 4;
    return true;
}

bool TDNSReader::readBytes(int& pos, int count, QByteArray& bytes) const {
    if (pos < 0 || count < 0 || length - pos < count)
        return false;
    bytes = QByteArray(reinterpret_cast<const char*>(data + pos), count);
    pos += count;
    return true;
}

bool TDNSReader::readLabels(int& pos, QList<QByteArray>& labels) const {
    QList<QByteArray> found;
    int cur = pos;
    int resume = -1;
    int wireLength = 1;
    int pointers = 0;
    for (;;) {
        quint8 len = 0;
        if (!readU8(cur, len))
            return false;
        if (len == 0)
            break;
        if ((len & 0xc0) == 0xc0) {
            quint8 low = 0;
            if (!readU8(cur, low))
                return false;
            if (resume < 0)
                resume = cur;
            const int target = ((len & 0x3f) << 8) | low;
            if (target >= length || ++pointers > kMaxPointers)
                return false;
            cur = target;
            continue;
        }
        if (len > DNS::kMaxLabelLength) // 64..191: reserved label types
            return false;
        wireLength += 1 + len;
        if (wireLength > DNS::kMaxNameLength || length - cur < len)
            return false;
        found << QByteArray(reinterpret_cast<const char*>(data + cur), len);
        cur += len;
    }
    labels = std::move(found);
    pos = resume >= 0 ? resume : cur;
    return true;
}

bool TDNSReader::readName(int& pos, QString& name) const {
    QList<QByteArray> labels;
    if (!readLabels(pos, labels))
        return false;
    name = DisplayText(labels.join('.'));
    return true;
}

QString DNSClassName(int dnsClass) {
    switch (dnsClass) {
    case 1:
        return QStringLiteral("IN");
    case 2:
        return QStringLiteral("CS");
    case 3:
        return QStringLiteral("CH");
    case 4:
        return QStringLiteral("HS");
    default:
        return QStringLiteral("CLASS") + QString::number(dnsClass);
    }
}

std::optional<QByteArray> BuildDNSQuery(const QString& query, int queryType, bool recursive,
                                        quint16 id) {
    // Each piece before a "." is a label; a trailing "." adds none.
    QStringList labels = query.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (!labels.isEmpty() && labels.last().isEmpty())
        labels.removeLast();
    if (labels.size() > DNS::kMaxLabels)
        return std::nullopt;
    if (queryType == DNS::TypePTR) {
        if (labels.size() < 2 || labels.size() > 5)
            return std::nullopt;
        std::reverse(labels.begin(), labels.end());
        labels << QStringLiteral("IN-ADDR") << QStringLiteral("ARPA");
    }

    QByteArray q;
    q.reserve(DNS::kQueryArea);
    const char header[kHeaderSize] = {
        char(id >> 8), char(id & 0xff), char(recursive ? 1 : 0), 0, 0, 1, 0, 0, 0, 0, 0, 0};
    q.append(header, kHeaderSize);
    int nameLength = 1;
    for (const QString& label : labels) {
        const QByteArray bytes = label.toUtf8();
        // An empty label would end the name early and leave the rest as junk.
        if (bytes.isEmpty() || bytes.size() > DNS::kMaxLabelLength)
            return std::nullopt;
        nameLength += 1 + int(bytes.size());
        if (nameLength > DNS::kMaxNameLength)
            return std::nullopt;
        q.append(char(bytes.size()));
        q.append(bytes);
    }
    q.append('\0');
    q.append('\0');
    q.append(char(queryType & 0xff));
    q.append('\0');
    q.append('\1');
    return q;
}

std::optional<TDNSResponse> DecodeDNSResponse(const QByteArray& datagram) {
    const TDNSReader reader(datagram);
    if (reader.size() < kHeaderSize)
        return std::nullopt;
    int pos = 2;
    quint8 flags1 = 0, flags2 = 0;
    quint16 questions = 0, answers = 0, authorities = 0, additionals = 0;
    reader.readU8(pos, flags1);
    reader.readU8(pos, flags2);
    reader.readBe16(pos, questions);
    reader.readBe16(pos, answers);
    reader.readBe16(pos, authorities);
    reader.readBe16(pos, additionals);

    TDNSResponse response;
    response.ResponseCode = flags2 & 0x0f;
    const bool isResponse = (flags1 & 0x80) != 0;
    if (!isResponse && response.ResponseCode != 0)
        return std::nullopt;
    response.Authoritative = (flags1 & 0x04) != 0;

    // The question count is not trusted: exactly one question is skipped.
    QString question;
    quint16 qtype = 0, qclass = 0;
    response.Complete = reader.readName(pos, question) && reader.readBe16(pos, qtype) &&
                        reader.readBe16(pos, qclass) &&
                        DecodeSection(reader, pos, answers, response.Answer) &&
                        DecodeSection(reader, pos, authorities, response.Authority) &&
                        DecodeSection(reader, pos, additionals, response.Additional);
    return response;
}

namespace {

// The one question of a message: its labels, type and class.
struct TQuestion {
    quint16 id = 0;
    bool isResponse = false;
    QList<QByteArray> labels;
    quint16 type = 0;
    quint16 dnsClass = 0;
};

std::optional<TQuestion> ReadQuestion(const QByteArray& message) {
    const TDNSReader reader(message);
    TQuestion q;
    int pos = 0;
    quint8 flags1 = 0;
    quint16 questions = 0;
    if (!reader.readBe16(pos, q.id) || !reader.readU8(pos, flags1))
        return std::nullopt;
    pos = 4;
    if (!reader.readBe16(pos, questions) || questions != 1)
        return std::nullopt;
    pos = kHeaderSize;
    if (!reader.readLabels(pos, q.labels) || !reader.readBe16(pos, q.type) ||
        !reader.readBe16(pos, q.dnsClass))
        return std::nullopt;
    q.isResponse = (flags1 & 0x80) != 0;
    return q;
}

// Names compare without regard to ASCII case only; other octets must be equal.
bool SameLabel(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

} // namespace

bool DNSResponseMatchesQuery(const QByteArray& query, const QByteArray& datagram) {
    const std::optional<TQuestion> asked = ReadQuestion(query);
    const std::optional<TQuestion> answered = ReadQuestion(datagram);
    if (!asked || !answered || !answered->isResponse || answered->id != asked->id ||
        answered->type != asked->type || answered->dnsClass != asked->dnsClass ||
        answered->labels.size() != asked->labels.size())
        return false;
    for (qsizetype i = 0; i < asked->labels.size(); ++i)
        if (!SameLabel(asked->labels[i], answered->labels[i]))
            return false;
    return true;
}
