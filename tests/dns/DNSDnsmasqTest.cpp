#include "DnsmasqServer.h"
#include "dns/DNSResolver.h"
#include "dns/DNSThread.h"

#include "QtPrinters.h"
#include <arpa/inet.h>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kAddress = QStringLiteral("127.77.2.1");

// A port that is free on kAddress right now.
quint16 FreePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, kAddress.toLatin1().constData(), &a.sin_addr);
    socklen_t len = sizeof a;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// Wire form of a name, as hex, for --dns-rr.
QString WireHex(const QString& dotted) {
    QByteArray out;
    for (const QString& label : dotted.split('.')) {
        out += char(label.size());
        out += label.toLatin1();
    }
    out += '\0';
    return QString::fromLatin1(out.toHex());
}

QString Be32Hex(quint32 v) {
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

class DNSDnsmasqTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!TDnsmasqServer::Available())
            return;
        port = FreePort();
        const QString soa = WireHex("ns1.velmora.test") + WireHex("hostmaster.velmora.test") +
                            Be32Hex(2026121001) + Be32Hex(3600) + Be32Hex(600) + Be32Hex(86400) +
                            Be32Hex(300);
        server = new TDnsmasqServer(kAddress, port,
                                    {"--local-ttl=300", "--host-record=www.velmora.test,127.1.2.3",
                                     "--host-record=host.velmora.test,10.1.2.3",
                                     "--cname=alias.velmora.test,www.velmora.test",
                                     "--mx-host=velmora.test,mx1.velmora.test,10",
                                     "--mx-host=velmora.test,mx2.velmora.test,200",
                                     "--host-record=mx1.velmora.test,127.0.0.25",
                                     "--host-record=mx2.velmora.test,127.0.0.26",
                                     "--txt-record=velmora.test,first string,second string",
                                     "--dns-rr=velmora.test,2," + WireHex("ns1.velmora.test"),
                                     "--dns-rr=velmora.test,6," + soa});
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server)
            GTEST_SKIP() << "dnsmasq is not installed (scripts/packages.txt lists dnsmasq-base)";
        ASSERT_EQ(server->Error(), QString());
    }

    QStringList Run(const QString& query, int type, bool* resolved = nullptr) {
        TDNSResolver r(port);
        r.Server = kAddress;
        r.Query = query;
        r.QueryType = type;
        r.TimeOut = 3;
        const bool ok = r.Resolve();
        if (resolved)
            *resolved = ok;
        lastResolver = r;
        return ok ? DNSResultLines(r) : QStringList{"(failed)"};
    }

    static inline TDnsmasqServer* server = nullptr;
    static inline quint16 port = 0;
    TDNSResolver lastResolver;
};

const QString kSummary = "response from DNS Server: 127.77.2.1";

TEST_F(DNSDnsmasqTest, Address) {
    EXPECT_EQ(Run("www.velmora.test", 1),
              (QStringList{":Answer Records", "",
                           "www.velmora.test\t\tTTL: 300 sec.\tClass:IN   Type:A\t127.1.2.3", "",
                           "", "Authoritative " + kSummary}));
}

TEST_F(DNSDnsmasqTest, CanonicalName) {
    EXPECT_EQ(Run("alias.velmora.test", 5),
              (QStringList{":Answer Records", "",
                           "alias.velmora.test\t\tClass:IN   Type: CNAME\twww.velmora.test\t\tTTL: "
                           "300 sec.",
                           "", "", "Authoritative " + kSummary}));
}

TEST_F(DNSDnsmasqTest, MailExchangeWithAdditionalAddresses) {
    const QStringList lines = Run("velmora.test", 15);
    // dnsmasq lists the exchanges last configured first.
    EXPECT_EQ(lines,
              (QStringList{":Answer Records", "",
                           "velmora.test\t\tClass:IN   Type:MX   Preference: 200   TTL: 300 sec.",
                           "\t\t\tExchange: mx2.velmora.test", "",
                           "velmora.test\t\tClass:IN   Type:MX   Preference: 10   TTL: 300 sec.",
                           "\t\t\tExchange: mx1.velmora.test", "", "", ":Additional Records", "",
                           "mx2.velmora.test\t\tTTL: 300 sec.\tClass:IN   Type:A\t127.0.0.26",
                           "mx1.velmora.test\t\tTTL: 300 sec.\tClass:IN   Type:A\t127.0.0.25", "",
                           "", "Authoritative " + kSummary}));
    EXPECT_EQ(lastResolver.AnswerValues, (QStringList{"mx2.velmora.test", "mx1.velmora.test"}));
    EXPECT_EQ(lastResolver.AdditionalValues, (QStringList{"127.0.0.26", "127.0.0.25"}));
}

TEST_F(DNSDnsmasqTest, NameServer) {
    EXPECT_EQ(
        Run("velmora.test", 2),
        (QStringList{":Answer Records", "", "ns1.velmora.test\t\tClass:IN\tType:NS\tTTL: 300 sec.",
                     "", "", "Authoritative " + kSummary}));
}

TEST_F(DNSDnsmasqTest, StartOfAuthority) {
    EXPECT_EQ(Run("velmora.test", 6),
              (QStringList{
                  ":Answer Records", "",
                  "velmora.test\tTTL: 300 sec.   Class:IN   Type:SOA\tserver:  ns1.velmora.test",
                  "velmora.test\tTTL: 300 sec.   Class:IN   Type:SOA\t  email:  "
                  "hostmaster.velmora.test",
                  "", "Serial: \t\t2026121001", "Refresh: \t\t3600", "Retry: \t\t600",
                  "Expire: \t\t86400", "Minimum TTL: \t300", "", "", "Authoritative " + kSummary}));
}

TEST_F(DNSDnsmasqTest, DomainPointer) {
    EXPECT_EQ(Run("10.1.2.3", 12),
              (QStringList{":Answer Records", "",
                           "3.2.1.10.IN-ADDR.ARPA\t\tClass:IN   Type:PTR\thost.velmora.test",
                           "TTL: 300 sec.", "", "", "Authoritative " + kSummary}));
    EXPECT_EQ(lastResolver.AnswerValues, QStringList{"3.2.1.10.IN-ADDR.ARPA"});
}

TEST_F(DNSDnsmasqTest, TextStrings) {
    EXPECT_EQ(Run("velmora.test", 16),
              (QStringList{":Answer Records", "", "velmora.test\t\tTTL: 300 sec.   Class:IN",
                           "Type:TXT\t\tfirst string", "", "", "Authoritative " + kSummary}));
}

TEST_F(DNSDnsmasqTest, UnknownNameIsShownLikeAnyResponse) {
    bool resolved = false;
    const QStringList lines = Run("nothing.velmora.test", 1, &resolved);
    EXPECT_TRUE(resolved);
    EXPECT_EQ(lines, (QStringList{"", "Non-Authoritative " + kSummary}));
}

} // namespace
