#include "dns/DNSCodec.h"

#include <algorithm>

namespace {

constexpr int kHeaderSize = 12;
// A name of at most 255 octets cannot need more pointers than this unless
// they form a loop.
constexpr int kMaxPointers = 128;

// Reads one record's data, which starts at `dataStart`, into `rr.Data`.
// False when it cannot be read: the record is then dropped. Reads are bounded
// by the message, not by the data length: a name may point anywhere in it.
bool DecodeRecordData(const TDNSReader& reader, int dataStart, int dataLength, TDNSRecord& rr) {
    int pos = dataStart;
    switch (rr.Type) {
    case DNS::TypeA: {
        if (dataLength != 4)
            break;
        TDNSAddressData a;
        if (!reader.readBe32(pos, a.Address))
            return false;
        rr.Data = a;
        return true;
    }
    case DNS::TypeNS: {
        TDNSNameServerData ns;
        if (!reader.readName(pos, ns.Server))
            return false;
        rr.Data = std::move(ns);
        return true;
    }
    case DNS::TypeCNAME: {
        TDNSCanonicalNameData cname;
        if (!reader.readName(pos, cname.Canonical))
            return false;
        rr.Data = std::move(cname);
        return true;
    }
    case DNS::TypeSOA: {
        TDNSAuthorityData soa;
        // The first name always; each further one while it lies in front of
        // the five numbers.
        const int namesEnd = dataStart + dataLength - 20;
        do {
            TDNSName name;
            if (!reader.readName(pos, name))
                return false;
            soa.Names << std::move(name);
        } while (pos < namesEnd);
        for (quint32* n : {&soa.Serial, &soa.Refresh, &soa.Retry, &soa.Expire, &soa.Minimum})
            if (!reader.readBe32(pos, *n))
                return false;
        rr.Data = std::move(soa);
        return true;
    }
    case DNS::TypePTR: {
        TDNSPointerData ptr;
        if (!reader.readName(pos, ptr.Target))
            return false;
        rr.Data = std::move(ptr);
        return true;
    }
    case DNS::TypeMX: {
        TDNSMailExchangeData mx;
        if (!reader.readBe16(pos, mx.Preference) || !reader.readName(pos, mx.Exchange))
            return false;
        rr.Data = std::move(mx);
        return true;
    }
    case DNS::TypeTXT: {
        TDNSTextData txt;
        quint8 length = 0;
        if (!reader.readU8(pos, length) || !reader.readBytes(pos, length, txt.Text))
            return false;
        rr.Data = std::move(txt);
        return true;
    }
    default:
        break;
    }
    TDNSOpaqueData opaque;
    if (!reader.readBytes(pos, dataLength, opaque.Data))
        return false;
    rr.Data = std::move(opaque);
    return true;
}

// Decodes `count` records; false when decoding has to stop.
bool DecodeSection(const TDNSReader& reader, int& pos, int count, QList<TDNSRecord>& section) {
    for (int i = 0; i < count; ++i) {
        TDNSRecord rr;
        quint16 dataLength = 0;
        if (!reader.readName(pos, rr.Owner) || !reader.readBe16(pos, rr.Type) ||
            !reader.readBe16(pos, rr.Class) || !reader.readBe32(pos, rr.TTL) ||
            !reader.readBe16(pos, dataLength))
            return false;
        const int dataStart = pos;
        if (dataStart + dataLength > reader.size())
            return false;
        if (!DecodeRecordData(reader, dataStart, dataLength, rr))
            return false;
        section << std::move(rr);
        pos = dataStart + dataLength;
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

bool TDNSReader::readName(int& pos, TDNSName& name) const {
    TDNSName found;
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
    name = std::move(found);
    pos = resume >= 0 ? resume : cur;
    return true;
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
    TDNSName question;
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
    TDNSName labels;
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
    if (!reader.readName(pos, q.labels) || !reader.readBe16(pos, q.type) ||
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
