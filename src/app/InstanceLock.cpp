#include "InstanceLock.h"

TInstanceLock::TInstanceLock(const QString& settingsPath) : path(settingsPath + ".lock") {}

bool TInstanceLock::Acquire() {
    lock = std::make_unique<QLockFile>(path);
    // Only a dead holder makes a lock stale, never its age: a monitor runs
    // for months.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host, app;
    if (lock->error() == QLockFile::LockFailedError && lock->getLockInfo(&pid, &host, &app))
        refusal = QStringLiteral("Velmora is already running with these settings: the lock %1 "
                                 "is held by process %2 on %3.")
                      .arg(path)
                      .arg(pid)
                      .arg(host);
    else
        refusal = QStringLiteral("Velmora cannot take the lock %1.").arg(path);
    return false;
}
