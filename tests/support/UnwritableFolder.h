#pragma once

// A folder in which no file can be created or renamed while the files in it
// stay writable, as an installed program's folder is to its user.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Modes do not stop root: while this lives, the calling thread (file access
// is checked against a thread's own credentials) works without the
// capability that overrides them, and gets it back at the end.
class TUnwritableFolder {
public:
    explicit TUnwritableFolder(const QString& folder) : path(QFile::encodeName(folder)) {
        if (::chmod(path.constData(), 0555) != 0)
            return;
        if (::geteuid() == 0) {
            header.version = _LINUX_CAPABILITY_VERSION_3;
            if (::syscall(SYS_capget, &header, saved) != 0)
                return;
            __user_cap_data_struct less[2] = {saved[0], saved[1]};
            less[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
            if (::syscall(SYS_capset, &header, less) != 0)
                return;
            lowered = true;
        }
        // Whether it holds: a file cannot be made in it.
        const QByteArray probe = path + "/.probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.constData());
        }
        ok = fd < 0;
    }
    ~TUnwritableFolder() {
        if (lowered)
            ::syscall(SYS_capset, &header, saved);
        ::chmod(path.constData(), 0755);
    }
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;

    bool ok = false;

private:
    QByteArray path;
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool lowered = false;
};
