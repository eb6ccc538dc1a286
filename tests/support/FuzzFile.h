#pragma once

// For fuzz targets whose reader takes a path: each input becomes the bytes of
// one file, in memory-backed storage when there is some, since the writers
// behind the readers sync to disk.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

class TFuzzFile {
public:
    // A folder of its own per process, so that parallel jobs never share a file.
    explicit TFuzzFile(const QString& name) : dir(base() + QStringLiteral("/velmora-fuzz-XXXXXX")) {
        if (!dir.isValid())
            std::abort();
        path = dir.filePath(name);
    }

    const QString& Path() const { return path; }
    QString Sibling(const QString& name) const { return dir.filePath(name); }

    void Write(const uint8_t* data, size_t size) const { Write(path, data, size); }
    static void Write(const QString& to, const uint8_t* data, size_t size) {
        const int fd =
            ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0)
                std::abort();
            done += size_t(n);
        }
        ::close(fd);
    }

private:
    static QString base() {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    }

    QTemporaryDir dir;
    QString path;
};
