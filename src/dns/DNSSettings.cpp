#include "DNSSettings.h"

#include "platform/Prompts.h"

namespace {

const QString kServerSection = QStringLiteral("DNS Settings");
const QString kQuerySection = QStringLiteral("DNS Query List");

} // namespace

TDNSLists TDNSLists::Read(const TIniFile& ini) {
    return {ReadListSection(ini, kServerSection), ReadListSection(ini, kQuerySection)};
}

void TDNSLists::Write(TIniFile& ini) const {
    ini.Update([&] {
        ini.ReplaceSection(kServerSection, NumberedEntries(QStringLiteral("DNS-"), servers));
        ini.ReplaceSection(kQuerySection, NumberedEntries(QStringLiteral("DNSQ-"), queries));
    });
}

std::optional<QString> AskForDNSServer(TPrompts& prompts) {
    return prompts.InputQuery(QStringLiteral("DNS Server Specification"),
                              QStringLiteral("Enter DNS Server IP Address or Host Name:"),
                              QString());
}
