#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One running instance per settings file: a lock file beside it, held for
// the life of the process. Two instances on one file would each rewrite it
// and lose the other's settings.
class TInstanceLock {
public:
    explicit TInstanceLock(const QString& settingsPath);
    // Takes the lock; false when another live process holds it.
    bool Acquire();
    // Why Acquire failed, naming the lock file and its holder.
    QString Refusal() const { return refusal; }

private:
    QString path;
    std::unique_ptr<QLockFile> lock;
    QString refusal;
};
