#include "SystemInfo.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

TWinsockData SystemSocketLayerData() {
    TWinsockData d;
    d.version = QStringLiteral("2.2");
    utsname u{};
    d.description = ::uname(&u) == 0 ? QString::fromLocal8Bit(u.sysname) + QLatin1Char(' ') +
                                           QString::fromLocal8Bit(u.release)
                                     : QStringLiteral("POSIX sockets");
    d.systemStatus = QStringLiteral("Running");
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0)
        d.maxSockets = files.rlim_cur == RLIM_INFINITY || files.rlim_cur > rlim_t(INT_MAX)
                           ? INT_MAX
                           : int(files.rlim_cur);
    // 65535 less the IPv4 and UDP headers.
    d.maxUdpDatagram = 65507;
    return d;
}

std::optional<TPhysicalMemory> PhysicalMemory() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0)
        return std::nullopt;
    const quint64 unit = info.mem_unit ? info.mem_unit : 1;
    // Free memory alone would leave out the page cache the system gives
    // back on demand; MemAvailable counts it.
    quint64 available = quint64(info.freeram) * unit;
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        unsigned long long kb = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
                available = quint64(kb) * 1024;
                break;
            }
        std::fclose(f);
    }
    return TPhysicalMemory{quint64(info.totalram) * unit, available};
}

QString MemoryKBText(quint64 bytes, const QLocale& locale) {
    const auto kb = qint64(std::llround(double(bytes) / 1024.0));
    return locale.toString(kb) + QStringLiteral(" KB");
}
