#include "TextLines.h"

#include "FileFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace TextLines {

QString DecodeLine(const QByteArray& bytes) {
    if (QByteArrayView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    return QString::fromLatin1(bytes);
}

QStringList Split(const QByteArray& contents, int maxChars) {
    QStringList lines;
    qsizetype end = contents.indexOf('\x1a');
    if (end < 0)
        end = contents.size();
    qsizetype from = 0;
    while (from < end) {
        qsizetype nl = contents.indexOf('\n', from);
        if (nl < 0 || nl > end)
            nl = end;
        qsizetype stop = nl;
        if (stop > from && contents.at(stop - 1) == '\r')
            --stop;
        QByteArray raw = contents.mid(from, stop - from);
        // A NUL would end the line early in C string handling; drop it so the
        // rest of the line still counts.
        if (raw.contains('\0'))
            raw.replace('\0', QByteArray());
        QString line = DecodeLine(raw);
        if (maxChars > 0 && line.size() > maxChars)
            line.truncate(maxChars);
        lines << line;
        from = nl + 1;
    }
    return lines;
}

bool ReadFile(const QString& path, QStringList& lines, int maxChars) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    lines = Split(f.readAll(), maxChars);
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
    return f.commit();
}

bool WriteFile(const QString& path, const QStringList& lines) {
    return WriteBytes(path, Join(lines));
}

} // namespace TextLines
