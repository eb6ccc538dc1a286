#include "dns/DNSCodec.h"
#include "DNSMessageBuilder.h"
#include "dns/DNSRecordText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using B = TDNSMessageBuilder;

// Found by argument-dependent lookup, so outside the anonymous namespace.
void PrintTo(const TDNSRecord& rr, std::ostream* os) {
    *os << "{" << DNSNameText(rr.Owner).toStdString() << " type " << rr.Type << " class "
        << rr.Class << " ttl " << rr.TTL << " data #" << rr.Data.index() << ": "
        << DNSSectionText({rr}).Lines.join(" | ").toStdString() << "}";
}

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// ---------------------------------------------------------------- queries

struct QueryCase {
    const char* query;
    int type;
    bool recursive;
    const char* hex; // nullptr: cannot be built
};

class DNSQueryTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(DNSQueryTest, BuildsExactBytes) {
    const QueryCase& c = GetParam();
    const std::optional<QByteArray> q =
        BuildDNSQuery(QString::fromUtf8(c.query), c.type, c.recursive, 0x0202);
    if (!c.hex) {
        EXPECT_FALSE(q.has_value()) << q->toHex().constData();
        return;
    }
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(q->toHex(), QByteArray(c.hex));
}

// Header: id 0202 as given, flags 0100 (or 0000), one question, no records.
INSTANTIATE_TEST_SUITE_P(
    Cases, DNSQueryTest,
    ::testing::Values(QueryCase{"example.com", 1, true,
                                "020201000001000000000000"
                                "076578616d706c6503636f6d00"
                                "0001"
                                "0001"},
                      QueryCase{"example.com.", 1, true,
                                "020201000001000000000000"
                                "076578616d706c6503636f6d00"
                                "0001"
                                "0001"},
                      QueryCase{"example.com", 15, false,
                                "020200000001000000000000"
                                "076578616d706c6503636f6d00"
                                "000f"
                                "0001"},
                      QueryCase{"example.com", 255, true,
                                "020201000001000000000000"
                                "076578616d706c6503636f6d00"
                                "00ff"
                                "0001"},
                      // Only the low byte of the type goes out.
                      QueryCase{"a", 0x1c1, true,
                                "020201000001000000000000"
                                "016100"
                                "00c1"
                                "0001"},
                      QueryCase{"10.1.2.3", 12, true,
                                "020201000001000000000000"
                                "0133"
                                "0132"
                                "0131"
                                "023130"
                                "07494e2d41444452"
                                "0441525041"
                                "00"
                                "000c"
                                "0001"},
                      QueryCase{"1.2", 12, true,
                                "020201000001000000000000"
                                "0132"
                                "0131"
                                "07494e2d41444452"
                                "0441525041"
                                "00"
                                "000c"
                                "0001"},
                      QueryCase{"1.2.3.4.5", 12, true,
                                "020201000001000000000000"
                                "0135"
                                "0134"
                                "0133"
                                "0132"
                                "0131"
                                "07494e2d41444452"
                                "0441525041"
                                "00"
                                "000c"
                                "0001"},
                      QueryCase{"localhost", 12, true, nullptr},
                      QueryCase{"1.2.3.4.5.6", 12, true, nullptr}, QueryCase{"", 12, true, nullptr},
                      // Ten labels are the most; an empty label would end the name early.
                      QueryCase{"a.b.c.d.e.f.g.h.i.j", 1, true,
                                "020201000001000000000000"
                                "016101620163016401650166016701680169016a00"
                                "0001"
                                "0001"},
                      QueryCase{"a.b.c.d.e.f.g.h.i.j.k", 1, true, nullptr},
                      QueryCase{"a..b", 1, true, nullptr}, QueryCase{".com", 1, true, nullptr},
                      QueryCase{"com..", 1, true, nullptr}));

TEST(DNSQuery, LabelAndNameLengthLimits) {
    const QString label63(63, 'x');
    const auto ok = BuildDNSQuery(label63 + ".test", 1, true);
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(quint8(ok->at(12)), 63);
    EXPECT_FALSE(BuildDNSQuery(QString(64, 'x') + ".test", 1, true).has_value());
    // Four labels of 63 are 256 octets with their length bytes and the zero.
    const QString three = label63 + "." + label63 + "." + label63;
    EXPECT_TRUE(BuildDNSQuery(three + "." + QString(61, 'x'), 1, true).has_value());
    EXPECT_FALSE(BuildDNSQuery(three + "." + QString(62, 'x'), 1, true).has_value());
}

// ---------------------------------------------------------------- reader

TEST(DNSReader, ReadsNeverMovePastTheEnd) {
    const QByteArray m = Hex("0102030405");
    const TDNSReader r(m);
    int pos = 3;
    quint32 v32 = 0;
    EXPECT_FALSE(r.readBe32(pos, v32));
    EXPECT_EQ(pos, 3);
    quint16 v16 = 0;
    EXPECT_TRUE(r.readBe16(pos, v16));
    EXPECT_EQ(v16, 0x0405);
    EXPECT_EQ(pos, 5);
    quint8 v8 = 0;
    EXPECT_FALSE(r.readU8(pos, v8));
    QByteArray bytes;
    pos = 1;
    EXPECT_FALSE(r.readBytes(pos, 5, bytes));
    EXPECT_TRUE(r.readBytes(pos, 4, bytes));
    EXPECT_EQ(bytes, Hex("02030405"));
}

struct NameCase {
    const char* label;
    const char* hex; // the name starts at offset 2 of the message
    bool ok;
    const char* name;
    int end;
};

class DNSReadNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DNSReadNameTest, Decodes) {
    const NameCase& c = GetParam();
    const QByteArray m = Hex(c.hex);
    const TDNSReader r(m);
    int pos = 2;
    TDNSName name;
    EXPECT_EQ(r.readName(pos, name), c.ok) << c.label;
    if (c.ok) {
        EXPECT_EQ(DNSNameText(name), QString::fromUtf8(c.name)) << c.label;
        EXPECT_EQ(pos, c.end) << c.label;
    } else {
        EXPECT_EQ(pos, 2) << c.label;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DNSReadNameTest,
                         ::testing::Values(NameCase{"plain",
                                                    "0000"
                                                    "036d7978"
                                                    "0474657374"
                                                    "00"
                                                    "ff",
                                                    true, "myx.test", 12},
                                           NameCase{"root",
                                                    "0000"
                                                    "00",
                                                    true, "", 3},
                                           // "mail" then a pointer to "test" at offset 6: reading
                                           // resumes after the first pointer.
                                           NameCase{"pointer",
                                                    "0000"
                                                    "046d61696c"
                                                    "c009"
                                                    "0474657374"
                                                    "00",
                                                    true, "mail.test", 9},
                                           NameCase{"chain",
                                                    "0000"
                                                    "c006"
                                                    "0000"
                                                    "0161"
                                                    "c00c"
                                                    "0000"
                                                    "0162"
                                                    "00",
                                                    true, "a.b", 4},
                                           NameCase{"self loop",
                                                    "0000"
                                                    "c002",
                                                    false, "", 0},
                                           NameCase{"two-step loop",
                                                    "0000"
                                                    "0161"
                                                    "c006"
                                                    "c002",
                                                    false, "", 0},
                                           NameCase{"pointer past end",
                                                    "0000"
                                                    "c010",
                                                    false, "", 0},
                                           NameCase{"pointer cut short",
                                                    "0000"
                                                    "0161"
                                                    "c0",
                                                    false, "", 0},
                                           NameCase{"reserved 0x40",
                                                    "0000"
                                                    "4161"
                                                    "00",
                                                    false, "", 0},
                                           NameCase{"reserved 0x80",
                                                    "0000"
                                                    "8061"
                                                    "00",
                                                    false, "", 0},
                                           NameCase{"label past end",
                                                    "0000"
                                                    "0561626300",
                                                    false, "", 0},
                                           NameCase{"no zero byte",
                                                    "0000"
                                                    "03616263",
                                                    false, "", 0},
                                           NameCase{"utf-8",
                                                    "0000"
                                                    "04c3a46201"
                                                    "00",
                                                    true, "äb\\001", 8},
                                           NameCase{"latin-1 fallback",
                                                    "0000"
                                                    "01e4"
                                                    "00",
                                                    true, "ä", 5},
                                           NameCase{"control escaped",
                                                    "0000"
                                                    "0361"
                                                    "0a62"
                                                    "00",
                                                    true, "a\\010b", 7}));

TEST(DNSReader, NameLongerThan255OctetsFails) {
    // Four 63-octet labels: 257 octets on the wire.
    QByteArray m("\0\0", 2);
    for (int i = 0; i < 4; ++i)
        m += char(63) + QByteArray(63, 'x');
    m += '\0';
    const TDNSReader r(m);
    int pos = 2;
    TDNSName name;
    EXPECT_FALSE(r.readName(pos, name));
    // Three labels and one of 61 make exactly 255.
    m = QByteArray("\0\0", 2);
    for (int i = 0; i < 3; ++i)
        m += char(63) + QByteArray(63, 'x');
    m += char(61) + QByteArray(61, 'x') + '\0';
    const TDNSReader r2(m);
    EXPECT_TRUE(r2.readName(pos, name));
}

// ---------------------------------------------------------------- responses

constexpr int kQName = 12; // offset of the question name
const QByteArray kOwner = B::Pointer(kQName);

TDNSMessageBuilder Response(int an, int ns = 0, int ar = 0, int flags1 = 0x81, int flags2 = 0x80,
                            int type = 1) {
    TDNSMessageBuilder b;
    b.Header(flags1, flags2, an, ns, ar).Question("velmora.test", type);
    return b;
}

QByteArray Addr(int a, int b, int c, int d) {
    return QByteArray(1, char(a)) + char(b) + char(c) + char(d);
}

struct DecodeCase {
    const char* label;
    QByteArray message;
    QStringList answerLines, answerValues;
    QStringList authorityLines, authorityValues;
    QStringList additionalLines, additionalValues;
    bool complete;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.label;
}

class DNSDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DNSDecodeTest, LinesAndValues) {
    const DecodeCase& c = GetParam();
    const std::optional<TDNSResponse> r = DecodeDNSResponse(c.message);
    ASSERT_TRUE(r.has_value());
    const TDNSSection answer = DNSSectionText(r->Answer);
    const TDNSSection authority = DNSSectionText(r->Authority);
    const TDNSSection additional = DNSSectionText(r->Additional);
    EXPECT_EQ(answer.Lines, c.answerLines);
    EXPECT_EQ(answer.Values, c.answerValues);
    EXPECT_EQ(authority.Lines, c.authorityLines);
    EXPECT_EQ(authority.Values, c.authorityValues);
    EXPECT_EQ(additional.Lines, c.additionalLines);
    EXPECT_EQ(additional.Values, c.additionalValues);
    EXPECT_EQ(r->Complete, c.complete);
}

const QString kA1 = "velmora.test\t\tTTL: 300 sec.\tClass:IN   Type:A\t127.1.2.3";
const QString kA2 = "velmora.test\t\tTTL: 300 sec.\tClass:IN   Type:A\t10.0.0.200";

QByteArray SoaData(const QByteArray& mname, const QByteArray& rname) {
    return mname + rname + B::Be32(2026121001) + B::Be32(3600) + B::Be32(600) + B::Be32(86400) +
           B::Be32(0xffffffff);
}

std::vector<DecodeCase> DecodeCases() {
    std::vector<DecodeCase> cases;
    cases.push_back({"A",
                     Response(1).Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3)).Bytes(),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"A with negative TTL and class CH",
                     Response(1).Record(kOwner, 1, 3, 0xfffffffe, Addr(1, 2, 3, 4)).Bytes(),
                     {"velmora.test\t\tTTL: -2 sec.\tClass:CH   Type:A\t1.2.3.4"},
                     {"1.2.3.4"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"class without a name",
                     Response(1).Record(kOwner, 1, 254, 1, Addr(1, 2, 3, 4)).Bytes(),
                     {"velmora.test\t\tTTL: 1 sec.\tClass:CLASS254   Type:A\t1.2.3.4"},
                     {"1.2.3.4"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"type 28 between two A records",
                     Response(3)
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Record(kOwner, 28, 1, 300, QByteArray(16, '\x01'))
                         .Record(kOwner, 1, 1, 300, Addr(10, 0, 0, 200))
                         .Bytes(),
                     {kA1, kA2},
                     {"127.1.2.3", "10.0.0.200"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"A of length 5 skipped",
                     Response(2)
                         .Record(kOwner, 1, 1, 300, Addr(9, 9, 9, 9) + '\0')
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Bytes(),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"NS starts with the server",
                     Response(1).Record(kOwner, 2, 1, 3600, B::Labels("ns1") + kOwner).Bytes(),
                     {"ns1.velmora.test\t\tClass:IN\tType:NS\tTTL: 3600 sec."},
                     {"ns1.velmora.test"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back(
        {"CNAME",
         Response(1).Record(B::Name("alias"), 5, 1, 60, B::Name("www.velmora.test")).Bytes(),
         {"alias\t\tClass:IN   Type: CNAME\twww.velmora.test\t\tTTL: 60 sec."},
         {"www.velmora.test"},
         {},
         {},
         {},
         {},
         true});
    cases.push_back(
        {"SOA in authority",
         Response(0, 1, 0, 0x85, 0x83)
             .Record(kOwner, 6, 1, 900,
                     SoaData(B::Labels("ns1") + kOwner, B::Labels("hostmaster") + kOwner))
             .Bytes(),
         {},
         {},
         {"velmora.test\tTTL: 900 sec.   Class:IN   Type:SOA\tserver:  ns1.velmora.test",
          "velmora.test\tTTL: 900 sec.   Class:IN   Type:SOA\t  email:  hostmaster.velmora.test",
          "", "Serial: \t\t2026121001", "Refresh: \t\t3600", "Retry: \t\t600", "Expire: \t\t86400",
          "Minimum TTL: \t-1"},
         {"ns1.velmora.test", "hostmaster.velmora.test"},
         {},
         {},
         true});
    {
        // Three names fit in front of the last 20 octets, so three are read.
        const QByteArray data = B::Name("a") + B::Name("b") + B::Name("c") + B::Be32(1) +
                                B::Be32(2) + B::Be32(3) + B::Be32(4) + B::Be32(5);
        cases.push_back(
            {"SOA with a third name",
             Response(1).Record(kOwner, 6, 1, 5, data).Bytes(),
             {"velmora.test\tTTL: 5 sec.   Class:IN   Type:SOA\tserver:  a",
              "velmora.test\tTTL: 5 sec.   Class:IN   Type:SOA\t  email:  b",
              "velmora.test\t\tClass:IN   Type:SOA\tc", "TTL: 5 sec.", "", "", "Serial: \t\t1",
              "Refresh: \t\t2", "Retry: \t\t3", "Expire: \t\t4", "Minimum TTL: \t5"},
             {"a", "b"},
             {},
             {},
             {},
             {},
             true});
    }
    cases.push_back(
        {"SOA with one name in front of the numbers",
         Response(1)
             .Record(kOwner, 6, 1, 5,
                     B::Name("a") + B::Be32(1) + B::Be32(2) + B::Be32(3) + B::Be32(4) + B::Be32(5))
             .Bytes(),
         {"velmora.test\tTTL: 5 sec.   Class:IN   Type:SOA\tserver:  a", "", "Serial: \t\t1",
          "Refresh: \t\t2", "Retry: \t\t3", "Expire: \t\t4", "Minimum TTL: \t5"},
         {"a"},
         {},
         {},
         {},
         {},
         true});
    cases.push_back(
        {"PTR value is the owner",
         Response(1)
             .Record(B::Name("3.2.1.10.IN-ADDR.ARPA"), 12, 1, 86400, B::Name("host.velmora.test"))
             .Bytes(),
         {"3.2.1.10.IN-ADDR.ARPA\t\tClass:IN   Type:PTR\thost.velmora.test", "TTL: 86400 sec."},
         {"3.2.1.10.IN-ADDR.ARPA"},
         {},
         {},
         {},
         {},
         true});
    {
        TDNSMessageBuilder b = Response(2, 0, 2, 0x81, 0x80, 15);
        b.Record(kOwner, 15, 1, 3600, B::Be16(10) + B::Labels("mx1") + kOwner);
        const int mx1 = b.Offset() - 2 - 4; // "mx1" label inside the first record
        b.Record(kOwner, 15, 1, 3600, B::Be16(200) + B::Labels("mx2") + kOwner);
        const int mx2 = b.Offset() - 2 - 4;
        b.Record(B::Pointer(mx1), 1, 1, 3600, Addr(127, 0, 0, 25));
        b.Record(B::Pointer(mx2), 1, 1, 3600, Addr(127, 0, 0, 26));
        cases.push_back({"MX with additional A records",
                         b.Bytes(),
                         {"velmora.test\t\tClass:IN   Type:MX   Preference: 10   TTL: 3600 sec.",
                          "\t\t\tExchange: mx1.velmora.test", "",
                          "velmora.test\t\tClass:IN   Type:MX   Preference: 200   TTL: 3600 sec.",
                          "\t\t\tExchange: mx2.velmora.test", ""},
                         {"mx1.velmora.test", "mx2.velmora.test"},
                         {},
                         {},
                         {"mx1.velmora.test\t\tTTL: 3600 sec.\tClass:IN   Type:A\t127.0.0.25",
                          "mx2.velmora.test\t\tTTL: 3600 sec.\tClass:IN   Type:A\t127.0.0.26"},
                         {"127.0.0.25", "127.0.0.26"},
                         true});
    }
    cases.push_back({"TXT shows the first string only",
                     Response(1)
                         .Record(kOwner, 16, 1, 10,
                                 QByteArray("\x05"
                                            "first"
                                            "\x06"
                                            "second"))
                         .Bytes(),
                     {"velmora.test\t\tTTL: 10 sec.   Class:IN", "Type:TXT\t\tfirst"},
                     {"first"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"TXT control characters cannot break the line",
                     Response(1)
                         .Record(kOwner, 16, 1, 10,
                                 QByteArray("\x04"
                                            "a\r\nb"))
                         .Bytes(),
                     {"velmora.test\t\tTTL: 10 sec.   Class:IN", "Type:TXT\t\ta\\013\\010b"},
                     {"a\\013\\010b"},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"name error with QR set",
                     Response(0, 0, 0, 0x81, 0x83).Bytes(),
                     {},
                     {},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"query without error code",
                     Response(0, 0, 0, 0x01, 0x00).Bytes(),
                     {},
                     {},
                     {},
                     {},
                     {},
                     {},
                     true});
    cases.push_back({"header only", Response(0).Bytes().left(12), {}, {}, {}, {}, {}, {}, false});
    // Malformed data stops decoding; what was decoded before it stays.
    cases.push_back({"truncated after one record",
                     Response(2)
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Bytes()
                         .chopped(2),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back(
        {"data length past the end",
         Response(1, 0, 0)
             .Raw(kOwner + B::Be16(1) + B::Be16(1) + B::Be32(1) + B::Be16(40) + Addr(1, 2, 3, 4))
             .Bytes(),
         {},
         {},
         {},
         {},
         {},
         {},
         false});
    cases.push_back({"counts larger than the records",
                     Response(1, 5, 9).Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3)).Bytes(),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back({"pointer loop in an owner stops the section",
                     Response(1, 1)
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Record(B::Pointer(30 + 16), 2, 1, 1, B::Name("ns"))
                         .Bytes(),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back({"pointer loop in MX data drops the record",
                     Response(2, 0, 0, 0x81, 0x80, 15)
                         .Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3))
                         .Record(kOwner, 15, 1, 1, B::Be16(1) + B::Pointer(30 + 16 + 12 + 2))
                         .Bytes(),
                     {kA1},
                     {"127.1.2.3"},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back({"reserved label type in CNAME data",
                     Response(1)
                         .Record(kOwner, 5, 1, 1,
                                 QByteArray("\x41"
                                            "a\0",
                                            3))
                         .Bytes(),
                     {},
                     {},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back({"SOA numbers past the end",
                     Response(1).Record(kOwner, 6, 1, 1, B::Name("a") + B::Name("b")).Bytes(),
                     {},
                     {},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back({"TXT string longer than the message",
                     Response(1)
                         .Record(kOwner, 16, 1, 1,
                                 QByteArray("\x09"
                                            "abc"))
                         .Bytes(),
                     {},
                     {},
                     {},
                     {},
                     {},
                     {},
                     false});
    cases.push_back(
        {"question cut short", Response(1).Bytes().left(20), {}, {}, {}, {}, {}, {}, false});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, DNSDecodeTest, ::testing::ValuesIn(DecodeCases()));

// ---------------------------------------------------------------- records

TDNSName Labels(std::initializer_list<const char*> labels) {
    TDNSName name;
    for (const char* label : labels)
        name << QByteArray(label);
    return name;
}

const TDNSName kOwnerName = Labels({"velmora", "test"});

TDNSRecord Rec(const TDNSName& owner, quint16 type, quint16 dnsClass, quint32 ttl,
               TDNSRecordData data) {
    return TDNSRecord{owner, type, dnsClass, ttl, std::move(data)};
}

struct RecordCase {
    const char* label;
    QByteArray message;
    QList<TDNSRecord> answer;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.label;
}

class DNSRecordTest : public ::testing::TestWithParam<RecordCase> {};

// The records hold what arrived, before any of it is turned into text:
// numbers unsigned, names as their labels, strings as their octets.
TEST_P(DNSRecordTest, HoldsTheRawValues) {
    const RecordCase& c = GetParam();
    const std::optional<TDNSResponse> r = DecodeDNSResponse(c.message);
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->Complete);
    EXPECT_EQ(r->Answer, c.answer);
    EXPECT_TRUE(r->Authority.isEmpty());
    EXPECT_TRUE(r->Additional.isEmpty());
}

std::vector<RecordCase> RecordCases() {
    std::vector<RecordCase> cases;
    cases.push_back({"A with a negative TTL and a class without a name",
                     Response(1).Record(kOwner, 1, 254, 0xfffffffe, Addr(1, 2, 3, 4)).Bytes(),
                     {Rec(kOwnerName, 1, 254, 0xfffffffe, TDNSAddressData{0x01020304})}});
    cases.push_back({"a type without a decoding and an A of 5 octets keep their data",
                     Response(2)
                         .Record(kOwner, 28, 1, 300, QByteArray(16, '\x01'))
                         .Record(kOwner, 1, 1, 300, Addr(9, 9, 9, 9) + '\0')
                         .Bytes(),
                     {Rec(kOwnerName, 28, 1, 300, TDNSOpaqueData{QByteArray(16, '\x01')}),
                      Rec(kOwnerName, 1, 1, 300, TDNSOpaqueData{Addr(9, 9, 9, 9) + '\0'})}});
    cases.push_back(
        {"NS, CNAME and PTR names through pointers",
         Response(3)
             .Record(kOwner, 2, 1, 1, B::Labels("ns1") + kOwner)
             .Record(B::Labels("www") + kOwner, 5, 1, 2, B::Name("web.example"))
             .Record(kOwner, 12, 1, 3, B::Labels("host") + kOwner)
             .Bytes(),
         {Rec(kOwnerName, 2, 1, 1, TDNSNameServerData{Labels({"ns1", "velmora", "test"})}),
          Rec(Labels({"www", "velmora", "test"}), 5, 1, 2,
              TDNSCanonicalNameData{Labels({"web", "example"})}),
          Rec(kOwnerName, 12, 1, 3, TDNSPointerData{Labels({"host", "velmora", "test"})})}});
    cases.push_back({"MX preference is unsigned",
                     Response(1)
                         .Record(kOwner, 15, 1, 3600, B::Be16(0xfffe) + B::Labels("mx") + kOwner)
                         .Bytes(),
                     {Rec(kOwnerName, 15, 1, 3600,
                          TDNSMailExchangeData{0xfffe, Labels({"mx", "velmora", "test"})})}});
    cases.push_back(
        {"SOA names and numbers",
         Response(1)
             .Record(kOwner, 6, 1, 900,
                     SoaData(B::Labels("ns1") + kOwner, B::Labels("hostmaster") + kOwner))
             .Bytes(),
         {Rec(kOwnerName, 6, 1, 900,
              TDNSAuthorityData{
                  {Labels({"ns1", "velmora", "test"}), Labels({"hostmaster", "velmora", "test"})},
                  2026121001,
                  3600,
                  600,
                  86400,
                  0xffffffff})}});
    cases.push_back({"TXT keeps the octets of its first string",
                     Response(1)
                         .Record(kOwner, 16, 1, 10,
                                 QByteArray("\x04"
                                            "a\r\nb"
                                            "\x03"
                                            "two"))
                         .Bytes(),
                     {Rec(kOwnerName, 16, 1, 10, TDNSTextData{"a\r\nb"})}});
    cases.push_back(
        {"a dot inside a label stays inside it",
         Response(1).Record(QByteArray("\x03x.y\x00", 5), 1, 1, 1, Addr(1, 1, 1, 1)).Bytes(),
         {Rec(Labels({"x.y"}), 1, 1, 1, TDNSAddressData{0x01010101})}});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, DNSRecordTest, ::testing::ValuesIn(RecordCases()));

TEST(DNSDecode, HeaderFlagsAndRejection) {
    const auto aa = DecodeDNSResponse(Response(0, 0, 0, 0x85, 0x80).Bytes());
    ASSERT_TRUE(aa.has_value());
    EXPECT_TRUE(aa->Authoritative);
    const auto na = DecodeDNSResponse(Response(0, 0, 0, 0x81, 0x83).Bytes());
    ASSERT_TRUE(na.has_value());
    EXPECT_FALSE(na->Authoritative);
    EXPECT_EQ(na->ResponseCode, 3);

    // QR clear with an error code is the one kind of message refused.
    EXPECT_FALSE(DecodeDNSResponse(Response(0, 0, 0, 0x01, 0x02).Bytes()).has_value());
    EXPECT_FALSE(DecodeDNSResponse(Response(0, 0, 0, 0x01, 0x0f).Bytes()).has_value());
    // Shorter than a header.
    EXPECT_FALSE(DecodeDNSResponse(Hex("0202818000010000000000")).has_value());
    EXPECT_FALSE(DecodeDNSResponse(QByteArray()).has_value());
    // The identifier is not checked.
    QByteArray other = Response(1).Record(kOwner, 1, 1, 300, Addr(127, 1, 2, 3)).Bytes();
    other[0] = '\x7f';
    const auto r = DecodeDNSResponse(other);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(DNSSectionText(r->Answer).Values, QStringList{"127.1.2.3"});
}

} // namespace
