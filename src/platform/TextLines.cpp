#include "TextLines.h"

#include "FileFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace TextLines {

namespace {

QString decode(QByteArrayView bytes) {
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    return QString::fromLatin1(bytes);
}

// Cuts bytes into lines as they arrive, block by block: a line split across
// blocks waits in `partial` until its end comes.
class TLineCutter {
public:
    TLineCutter(int maxChars, const std::function<void(QString&&)>& take)
        : maxChars(maxChars), take(take) {}

    // False once Ctrl-Z has ended the text; nothing after it counts.
    bool Feed(QByteArrayView block) {
        if (ended)
            return false;
        const qsizetype eof = block.indexOf('\x1a');
        if (eof >= 0) {
            block = block.first(eof);
            ended = true;
        }
        qsizetype from = 0;
        for (;;) {
            const qsizetype nl = block.indexOf('\n', from);
            if (nl < 0)
                break;
            if (partial.isEmpty()) {
                line(block.sliced(from, nl - from));
            } else {
                partial.append(block.sliced(from, nl - from));
                line(partial);
                partial.resize(0);
            }
            from = nl + 1;
        }
        partial.append(block.sliced(from));
        if (ended)
            Finish();
        return !ended;
    }

    // A last line without a line end counts.
    void Finish() {
        if (!partial.isEmpty())
            line(partial);
        partial = QByteArray();
    }

private:
    void line(QByteArrayView raw) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        take(LineText(raw, maxChars));
    }

    const int maxChars;
    const std::function<void(QString&&)>& take;
    QByteArray partial;
    bool ended = false;
};

bool syncToDisk(int fd) {
    int r;
    do
        r = ::fsync(fd);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

// Makes a rename in the folder survive a power cut: until the folder itself
// is synced, the new name may still point at nothing after a restart.
void syncFolderOf(const QString& path) {
    // The replacement happened beside the link's target, not beside the link.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QByteArray folder =
        QFile::encodeName(QFileInfo(target.isEmpty() ? path : target).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Some file systems refuse to sync a folder; the new file is in place
    // whatever this says.
    syncToDisk(fd);
    ::close(fd);
}

} // namespace

QString DecodeLine(const QByteArray& bytes) {
    return decode(bytes);
}

QString LineText(QByteArrayView raw, int maxChars) {
    QString text;
    // A NUL would end the line early in C string handling; drop it so the
    // rest of the line still counts.
    if (raw.contains('\0'))
        text = decode(raw.toByteArray().replace('\0', QByteArray()));
    else
        text = decode(raw);
    // The cut falls between characters, never inside a surrogate pair.
    if (maxChars > 0 && text.size() > maxChars)
        text.truncate(text.at(maxChars - 1).isHighSurrogate() ? maxChars - 1 : maxChars);
    return text;
}

QStringList Split(const QByteArray& contents, int maxChars) {
    QStringList lines;
    const std::function<void(QString &&)> take = [&](QString&& line) { lines << std::move(line); };
    TLineCutter cutter(maxChars, take);
    if (cutter.Feed(contents))
        cutter.Finish();
    return lines;
}

bool ReadFile(const QString& path, QStringList& lines, int maxChars) {
    QStringList read;
    if (!ForEachLine(path, maxChars, [&](QString&& line) { read << std::move(line); }))
        return false;
    lines = std::move(read);
    return true;
}

bool ForEachLine(const QString& path, int maxChars, const std::function<void(QString&&)>& take) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    TLineCutter cutter(maxChars, take);
    // Sized to the file, so a small file costs no 256 KiB buffer. A file
    // that grows, or one with no size (a pipe), is read on in blocks.
    QByteArray block(std::clamp<qint64>(f.size(), 4096, 256 * 1024), Qt::Uninitialized);
    for (;;) {
        const qint64 n = f.read(block.data(), block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!cutter.Feed(QByteArrayView(block.constData(), n)))
            return true;
    }
    cutter.Finish();
    return true;
}

QByteArray Join(const QStringList& lines) {
    QByteArray out;
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    return out;
}

bool WriteBytes(const QString& path, const QByteArray& data, TNewFile newFile) {
    // Unbuffered: a buffered QSaveFile hides a short write (disk full, file
    // size limit) and commits the truncated file over the old one.
    const bool created = !QFileInfo::exists(path);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // A file we create among the per-user files is the owner's alone; one
    // that exists keeps the permissions its owner gave it.
    if (created && (newFile == TNewFile::OwnerOnly || InPerUserFolder(path)))
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    qsizetype done = 0;
    while (done < data.size()) {
        const qint64 n = f.write(data.constData() + done, data.size() - done);
        if (n <= 0) {
            f.cancelWriting();
            return false;
        }
        done += qsizetype(n);
    }
    // Every byte on the disk before the new name replaces the old file, so
    // a power cut leaves the one or the other, never an empty file.
    if (!syncToDisk(f.handle())) {
        f.cancelWriting();
        return false;
    }
    if (!f.commit())
        return false;
    syncFolderOf(path);
    return true;
}

bool WriteFile(const QString& path, const QStringList& lines) {
    return WriteBytes(path, Join(lines));
}

} // namespace TextLines
