// One allocation per display line instead of one per piece.
#define QT_USE_QSTRINGBUILDER

#include "dns/DNSRecordText.h"

#include "platform/TextRules.h"

#include <QStringDecoder>
#include <algorithm>
#include <utility>
#include <variant>

namespace {

const QString kTab = QStringLiteral("\t");

// Names and strings arrive as raw octets. UTF-8 where it is valid, otherwise
// Latin-1, as for files. A control character or line separator is shown as
// the octets that carried it, each as "\ddd" in decimal (the master-file form): so LF is
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
        if (!IsControlOrLineSeparator(c.unicode())) {
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

// One overload per kind of data; the record's common fields come along.
class TRecordText {
public:
    TRecordText(const TDNSRecord& rr, TDNSSection& section)
        : owner(DNSNameText(rr.Owner)), cls(DNSClassName(rr.Class)), ttl(TtlText(rr.TTL)),
          lines(section.Lines), values(section.Values) {}

    void operator()(const TDNSOpaqueData&) {}

    void operator()(const TDNSAddressData& a) {
        const QString dotted = DottedAddress(a.Address);
        lines << owner + kTab + kTab + ttl + kTab + "Class:" + cls + "   " + "Type:A" + kTab +
                     dotted;
        values << dotted;
    }

    void operator()(const TDNSNameServerData& ns) {
        const QString server = DNSNameText(ns.Server);
        lines << server + kTab + kTab + "Class:" + cls + kTab + "Type:NS" + kTab + ttl;
        values << server;
    }

    void operator()(const TDNSCanonicalNameData& cname) {
        const QString canonical = DNSNameText(cname.Canonical);
        lines << owner + kTab + kTab + "Class:" + cls + "   " + "Type: CNAME" + kTab + canonical +
                     kTab + kTab + ttl;
        values << canonical;
    }

    void operator()(const TDNSAuthorityData& soa) {
        const QString head = owner + kTab + ttl + "   Class:" + cls + "   " + "Type:SOA" + kTab;
        for (qsizetype i = 0; i < soa.Names.size(); ++i) {
            const QString name = DNSNameText(soa.Names[i]);
            if (i == 0) {
                lines << head + "server: " + " " + name;
                values << name;
            } else if (i == 1) {
                lines << head + "  email: " + " " + name;
                values << name;
            } else {
                lines << owner + kTab + kTab + "Class:" + cls + "   " + "Type:SOA" + kTab + name
                      << ttl << QString();
            }
        }
        const std::pair<const char*, quint32> numbers[5] = {{"Serial: \t\t", soa.Serial},
                                                            {"Refresh: \t\t", soa.Refresh},
                                                            {"Retry: \t\t", soa.Retry},
                                                            {"Expire: \t\t", soa.Expire},
                                                            {"Minimum TTL: \t", soa.Minimum}};
        lines << QString();
        for (const auto& [caption, n] : numbers)
            lines << QString::fromLatin1(caption) + QString::number(qint32(n));
    }

    void operator()(const TDNSPointerData& ptr) {
        lines << owner + kTab + kTab + "Class:" + cls + "   " + "Type:PTR" + kTab +
                     DNSNameText(ptr.Target)
              << ttl;
        values << owner;
    }

    void operator()(const TDNSMailExchangeData& mx) {
        const QString exchange = DNSNameText(mx.Exchange);
        lines << owner + kTab + kTab + "Class:" + cls + "   " + "Type:MX" +
                     "   Preference: " + QString::number(mx.Preference) + "   " + ttl
              << kTab + kTab + kTab + "Exchange: " + exchange << QString();
        values << exchange;
    }

    void operator()(const TDNSTextData& txt) {
        const QString text = DisplayText(txt.Text);
        lines << owner + kTab + kTab + ttl + "   Class:" + cls << "Type:TXT" + kTab + kTab + text;
        values << text;
    }

private:
    const QString owner;
    const QString cls;
    const QString ttl;
    QStringList& lines;
    QStringList& values;
};

} // namespace

void AppendDNSRecordText(const TDNSRecord& record, TDNSSection& section) {
    std::visit(TRecordText(record, section), record.Data);
}

TDNSSection DNSSectionText(const QList<TDNSRecord>& records) {
    TDNSSection section;
    for (const TDNSRecord& record : records)
        AppendDNSRecordText(record, section);
    return section;
}

QString DNSNameText(const TDNSName& name) {
    return DisplayText(name.join('.'));
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
