#include "DataFileEdit.h"

#include "platform/Helpers.h"
#include "platform/TextLines.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

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

QString firstField(const QString& line) {
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    return tab < 0 ? line : line.left(tab);
}

} // namespace

bool RewriteDataFile(const QString& path, const TLineRule& rule) {
    QByteArray contents;
    if (!readAll(path, contents))
        return false;
    QSet<QString> remaining;
    if (const auto* del = std::get_if<TDeleteRule>(&rule))
        for (const QString& a : del->remaining)
            remaining.insert(a.toCaseFolded());

    QByteArray out;
    out.reserve(contents.size() + contents.size() / 16);
    for (const QByteArray& raw : rawLines(contents)) {
        QString line = TextLines::DecodeLine(raw);
        line.remove(QChar(0));
        if (line.startsWith(QLatin1Char(';')) || line.size() < 8) {
            out += raw + "\r\n";
            continue;
        }
        const QString first = firstField(line);
        if (const auto* edit = std::get_if<TEditRule>(&rule)) {
            if (first == edit->previous)
                out +=
                    DataFileLine({edit->address, edit->location, edit->critical}).toUtf8() + "\r\n";
            else
                out += raw + "\r\n";
        } else if (!first.isEmpty() && remaining.contains(first.toCaseFolded())) {
            out += raw + "\r\n";
        }
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
    QByteArray added;
    if (end > 0 && contents.at(end - 1) != '\n')
        added += "\r\n";
    added += TextLines::Join(lines);
    contents.insert(end, added);
    return TextLines::WriteBytes(path, contents);
}
