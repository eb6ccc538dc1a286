#pragma once

#include "dns/DNSCodec.h"

#include <QString>
#include <QStringList>

// The texts made from decoded records: the display lines of the DNS page and
// the plain values (addresses and names) that programs such as the mail
// lookup pick from. No text can break a line: characters that would are
// shown escaped.

struct TDNSSection {
    QStringList Lines;
    QStringList Values;
};

// A record's display lines and values, appended to `section`. A type without
// a text form (and an A record of the wrong length) adds neither.
void AppendDNSRecordText(const TDNSRecord& record, TDNSSection& section);
// All records of one section, in order.
TDNSSection DNSSectionText(const QList<TDNSRecord>& records);

// A name as shown: labels joined by "."; the root is "".
QString DNSNameText(const TDNSName& name);
// Class mnemonic; a class without one is written "CLASS" + number.
QString DNSClassName(int dnsClass);
