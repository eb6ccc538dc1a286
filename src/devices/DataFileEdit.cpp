#include "DataFileEdit.h"

#include "platform/Addresses.h"
#include "platform/TextLines.h"
#include "platform/TextRules.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool AddressRuleHolds(const QString& address) {
    return IsValidAddress(address) && SplitText(address, QStringLiteral(".")).size() == 4;
}

namespace {

bool readAll(const QString& path, QByteArray& contents) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    contents = f.readAll();
    return f.error() == QFileDevice::NoError;
}

// The raw bytes of each line as the reader sees them: CR LF or LF end a
// line, Ctrl-Z ends the file. Lines stay whole whatever their length, so a
// rewrite never cuts one.
std::vector<QByteArray> rawLines(const QByteArray& contents) {
    std::vector<QByteArray> lines;
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
        lines.push_back(contents.mid(from, stop - from));
        from = nl + 1;
    }
    return lines;
}

// A file that holds a line that is not UTF-8 was read as Latin-1, and its
// new lines are written so; ASCII is both.
bool readAsLatin1(const std::vector<QByteArray>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const QByteArray& l) { return !QByteArrayView(l).isValidUtf8(); });
}

QByteArray encodeLine(const QString& line, bool latin1) {
    // A character Latin-1 lacks would be lost; that line keeps it in UTF-8.
    if (latin1 && std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 256; }))
        return line.toLatin1();
    return line.toUtf8();
}

// The indexes of the lines the rule changes: those of the device, less one
// for each other like row (a line with that row's flag first).
std::vector<bool> linesToChange(const std::vector<QByteArray>& lines, const TDeviceLines& device) {
    std::vector<bool> change(lines.size(), false);
    std::vector<std::pair<size_t, QString>> mine;
    for (size_t i = 0; i < lines.size(); ++i) {
        // The line as the load sees it, so the match is the row it made.
        const auto e = ParseDataFileLine(TextLines::LineText(lines[i], TextLines::kMaxDataLine));
        if (e && e->address == device.address && e->location == device.location) {
            change[i] = true;
            mine.emplace_back(i, e->critical);
        }
    }
    const auto keepOne = [&](const QString& critical, bool sameFlag) {
        for (const auto& [i, flag] : mine)
            if (change[i] && (!sameFlag || flag == critical)) {
                change[i] = false;
                return true;
            }
        return false;
    };
    for (const QString& critical : device.othersCritical)
        if (!keepOne(critical, true))
            keepOne(critical, false);
    return change;
}

// Adds the bytes at the end of the file with one write, for a file that
// cannot be replaced; a write that falls short is taken back, so no part of
// a line stays.
bool appendInPlace(const QString& path, const QByteArray& added) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        const ssize_t n = ::write(fd, added.constData(), size_t(added.size()));
        ok = n == ssize_t(added.size());
        if (!ok && n > 0)
            (void)::ftruncate(fd, st.st_size);
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool RewriteDataFile(const QString& path, const TLineRule& rule) {
    QByteArray contents;
    if (!readAll(path, contents))
        return false;
    const std::vector<QByteArray> lines = rawLines(contents);
    const auto* edit = std::get_if<TEditRule>(&rule);
    const TDeviceLines& device = edit ? edit->device : std::get<TDeleteRule>(rule).device;
    const std::vector<bool> change = linesToChange(lines, device);
    QByteArray replacement;
    if (edit)
        replacement = encodeLine(DataFileLine({edit->address, edit->location, edit->critical}),
                                 readAsLatin1(lines));

    QByteArray out;
    out.reserve(contents.size() + contents.size() / 16);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!change[i])
            out += lines[i] + "\r\n";
        else if (edit)
            out += replacement + "\r\n";
    }
    return TextLines::WriteBytes(path, out);
}

bool AppendDataFileLines(const QString& path, const QStringList& lines) {
    QByteArray contents;
    if (QFileInfo::exists(path) && !readAll(path, contents))
        return false;
    // Whatever follows a Ctrl-Z is never read: the new lines go before it.
    qsizetype end = contents.indexOf('\x1a');
    if (end < 0)
        end = contents.size();
    const bool latin1 = !QByteArrayView(contents).first(end).isValidUtf8();
    QByteArray added;
    if (end > 0 && contents.at(end - 1) != '\n')
        added += "\r\n";
    for (const QString& l : lines)
        added += encodeLine(l, latin1) + "\r\n";
    const bool atEnd = end == contents.size();
    contents.insert(end, added);
    if (TextLines::WriteBytes(path, contents))
        return true;
    // Lines after a Ctrl-Z would never be read: such a file is only replaced.
    return atEnd && QFileInfo::exists(path) && appendInPlace(path, added);
}
