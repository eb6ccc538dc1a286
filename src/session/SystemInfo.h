#pragma once

#include "Session.h"

#include <QLocale>
#include <QString>
#include <optional>

// What the information dialogs show about this machine, read from the
// system.

// The socket layer: version 2.2, the kernel's name and release, "Running",
// the process's open-file limit and the largest UDP datagram over IPv4.
TWinsockData SystemSocketLayerData();

struct TPhysicalMemory {
    quint64 total = 0;     // bytes
    quint64 available = 0; // bytes
};
std::optional<TPhysicalMemory> PhysicalMemory();

// A byte count as whole kilobytes with the locale's thousands separator,
// followed by " KB": 2 GiB reads "2,097,152 KB" in English.
QString MemoryKBText(quint64 bytes, const QLocale& locale = QLocale());
