#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

// The DNS message format: building one query and decoding one response into
// records that hold the values as they arrived. Bytes in, bytes out; no
// sockets, no global state, so it can be fuzzed on its own. The texts shown
// for the records are made from them in DNSRecordText.h.
namespace DNS {

enum QueryTypes : int {
    TypeA = 1,
    TypeNS = 2,
    TypeCNAME = 5,
    TypeSOA = 6,
    TypePTR = 12,
    TypeMX = 15,
    TypeTXT = 16,
    TypeAny = 255,
};

constexpr int kQueryArea = 512;
constexpr int kResponseArea = 1024;
constexpr int kMaxLabels = 10;
constexpr int kMaxLabelLength = 63;
constexpr int kMaxNameLength = 255; // wire octets, length bytes included

} // namespace DNS

// A name as its labels' raw octets, compression resolved; the root has none.
// Kept apart rather than joined, so that a "." inside a label is not lost.
using TDNSName = QList<QByteArray>;

struct TDNSAddressData { // A
    quint32 Address = 0; // host byte order
    bool operator==(const TDNSAddressData&) const = default;
};
struct TDNSNameServerData { // NS
    TDNSName Server;
    bool operator==(const TDNSNameServerData&) const = default;
};
struct TDNSCanonicalNameData { // CNAME
    TDNSName Canonical;
    bool operator==(const TDNSCanonicalNameData&) const = default;
};
struct TDNSAuthorityData { // SOA
    // The primary server and the mailbox. Names are read while they lie in
    // front of the five numbers, so malformed data may give one or a third.
    QList<TDNSName> Names;
    quint32 Serial = 0, Refresh = 0, Retry = 0, Expire = 0, Minimum = 0;
    bool operator==(const TDNSAuthorityData&) const = default;
};
struct TDNSPointerData { // PTR
    TDNSName Target;
    bool operator==(const TDNSPointerData&) const = default;
};
struct TDNSMailExchangeData { // MX
    quint16 Preference = 0;
    TDNSName Exchange;
    bool operator==(const TDNSMailExchangeData&) const = default;
};
struct TDNSTextData { // TXT
    QByteArray Text;  // the first character-string only; the rest is not read
    bool operator==(const TDNSTextData&) const = default;
};
// A type without a decoding here, or an A record whose data is not 4 octets.
struct TDNSOpaqueData {
    QByteArray Data;
    bool operator==(const TDNSOpaqueData&) const = default;
};

using TDNSRecordData =
    std::variant<TDNSOpaqueData, TDNSAddressData, TDNSNameServerData, TDNSCanonicalNameData,
                 TDNSAuthorityData, TDNSPointerData, TDNSMailExchangeData, TDNSTextData>;

struct TDNSRecord {
    TDNSName Owner;
    quint16 Type = 0;
    quint16 Class = 0;
    quint32 TTL = 0;
    TDNSRecordData Data;
    bool operator==(const TDNSRecord&) const = default;
};

struct TDNSResponse {
    bool Authoritative = false;
    int ResponseCode = 0;
    QList<TDNSRecord> Answer;
    QList<TDNSRecord> Authority;
    QList<TDNSRecord> Additional;
    // False when decoding stopped at data that runs past the message or at a
    // malformed name; the records decoded before that point are kept.
    bool Complete = true;
};

// Every read of a received message goes through here: each call checks the
// bounds first and moves `pos` only when it succeeds, so no caller can step
// outside the message.
class TDNSReader {
public:
    explicit TDNSReader(const QByteArray& message)
        : data(reinterpret_cast<const unsigned char*>(message.constData())),
          length(int(message.size())) {}

    int size() const { return length; }
    bool readU8(int& pos, quint8& value) const;
    bool readBe16(int& pos, quint16& value) const;
    bool readBe32(int& pos, quint32& value) const;
    // Raw bytes of a character-string or label.
    bool readBytes(int& pos, int count, QByteArray& bytes) const;
    // A possibly compressed name. `pos` ends after the first pointer
    // followed, or after the zero byte. Fails on reserved label types,
    // pointers outside the message, loops and names longer than a name may be.
    bool readName(int& pos, TDNSName& name) const;

private:
    const unsigned char* data;
    int length;
};

// The query datagram, or nothing when the name cannot be asked: a pointer
// query needs 2 to 5 labels; more than 10 labels, an empty or over-long label,
// or a name longer than 255 octets cannot be built. `id` goes into the header
// as it is; the resolver passes a fresh random one for every query.
std::optional<QByteArray> BuildDNSQuery(const QString& query, int queryType, bool recursive,
                                        quint16 id = 0);

// A datagram is refused only when it cannot be a message at all (shorter than
// its header) or when it is a query (QR clear) carrying an error code.
// Everything else decodes, error responses and truncated ones included.
std::optional<TDNSResponse> DecodeDNSResponse(const QByteArray& datagram);

// Whether `datagram` is the response to `query`: QR set, the same identifier
// and exactly one question, the one asked (name without regard to ASCII case,
// type and class). Anything else is someone else's datagram.
bool DNSResponseMatchesQuery(const QByteArray& query, const QByteArray& datagram);
