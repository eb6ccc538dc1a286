#pragma once

#include "platform/SettingsFile.h"

#include <QStringList>
#include <optional>

// How many entries each recent list keeps.
inline constexpr int kDNSHistoryLimit = 10;

// The DNS Resolver page's recent lists: the servers (the first one shown is
// the one e-mail alerts use) and the past queries.
struct TDNSLists {
    QStringList servers;
    QStringList queries;

    static TDNSLists Read(const TIniFile& ini);
    // Both sections erased and rewritten, so a shorter list leaves no
    // stale keys behind.
    void Write(TIniFile& ini) const;
};

class TPrompts;

// The question "DNS Server Specification...": the server entered, or nothing
// when the operator cancels.
std::optional<QString> AskForDNSServer(TPrompts& prompts);
