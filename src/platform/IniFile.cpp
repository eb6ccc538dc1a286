#include "IniFile.h"

#include "TextLines.h"
#include "VelmoraError.h"

#include <QFile>
#include <vector>

namespace {

// One physical line of the file, located in the raw bytes so that untouched
// lines are written back exactly as they were.
struct Line {
    qsizetype start = 0;
    qsizetype length = 0; // without the line end
    qsizetype end = 0;    // one past the line end
};

enum class Kind { Other, Section, Entry };

struct Parsed {
    QByteArray bytes;
    std::vector<Line> lines;
    QByteArray eol = "\r\n";

    explicit Parsed(QByteArray b) : bytes(std::move(b)) {
        qsizetype from = 0;
        bool eolSeen = false;
        while (from < bytes.size()) {
            qsizetype nl = bytes.indexOf('\n', from);
            Line l;
            l.start = from;
            if (nl < 0) {
                l.length = bytes.size() - from;
                l.end = bytes.size();
            } else {
                l.length = nl - from;
                if (l.length > 0 && bytes.at(nl - 1) == '\r')
                    --l.length;
                l.end = nl + 1;
                if (!eolSeen) {
                    eol = (nl > from && bytes.at(nl - 1) == '\r') ? "\r\n" : "\n";
                    eolSeen = true;
                }
            }
            lines.push_back(l);
            from = l.end;
        }
    }

    // A line's text; a UTF-8 byte order mark that an editor put in front of
    // the file is not part of it (but is kept when the file is rewritten).
    QByteArray raw(const Line& l) const {
        if (l.start == 0 && bytes.startsWith("\xEF\xBB\xBF"))
            return bytes.mid(3, l.length - 3);
        return bytes.mid(l.start, l.length);
    }

    // Classifies a line; for sections `name` is the section name, for entries
    // the key and `value` the text after the first "=".
    Kind classify(const Line& l, QString* name, QString* value = nullptr) const {
        const QByteArray r = raw(l);
        const QByteArray t = r.trimmed();
        if (t.startsWith('[')) {
            const qsizetype close = t.indexOf(']');
            if (close > 0) {
                if (name)
                    *name = TextLines::DecodeLine(t.mid(1, close - 1)).trimmed();
                return Kind::Section;
            }
        }
        if (t.isEmpty() || t.startsWith(';'))
            return Kind::Other;
        const qsizetype eq = r.indexOf('=');
        if (eq < 0) {
            if (name)
                *name = TextLines::DecodeLine(t);
            if (value)
                value->clear();
            return Kind::Other;
        }
        if (name)
            *name = TextLines::DecodeLine(r.left(eq)).trimmed();
        if (value)
            *value = TextLines::DecodeLine(r.mid(eq + 1));
        return Kind::Entry;
    }

    // Index ranges [header, bodyEnd) of every occurrence of a section.
    std::vector<std::pair<size_t, size_t>> find(const QString& section) const {
        std::vector<std::pair<size_t, size_t>> found;
        QString name;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (classify(lines[i], &name) != Kind::Section)
                continue;
            if (!found.empty() && found.back().second == size_t(-1))
                found.back().second = i;
            if (name.compare(section, Qt::CaseInsensitive) == 0)
                found.push_back({i, size_t(-1)});
        }
        if (!found.empty() && found.back().second == size_t(-1))
            found.back().second = lines.size();
        return found;
    }

    // Bytes of lines [from, to), each with its line end; a last line that had
    // none gets one when more text is to follow.
    QByteArray span(size_t from, size_t to) const {
        if (from >= to)
            return {};
        QByteArray out = bytes.mid(lines[from].start, lines[to - 1].end - lines[from].start);
        return out;
    }

    QByteArray entryLine(const QString& key, const QString& value) const {
        return key.toUtf8() + '=' + value.toUtf8() + eol;
    }
};

// Appends `more` to `out`, first ending an unterminated last line.
void appendText(QByteArray& out, const QByteArray& more, const QByteArray& eol) {
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += eol;
    out += more;
}

} // namespace

TIniFile::TIniFile(QString p) : path(std::move(p)) {}

bool TIniFile::Exists() const {
    return QFile::exists(path);
}

QByteArray TIniFile::load() const {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray TIniFile::loadForChange() const {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (f.exists())
            throw TVelmoraError(QStringLiteral("Unable to write to %1").arg(path));
        return {};
    }
    return f.readAll();
}

void TIniFile::store(const QByteArray& contents) {
    if (!TextLines::WriteBytes(path, contents))
        throw TVelmoraError(QStringLiteral("Unable to write to %1").arg(path));
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const Parsed p(load());
    const auto found = p.find(section);
    QString name, value;
    for (const auto& [header, end] : found)
        for (size_t i = header + 1; i < end; ++i)
            if (p.classify(p.lines[i], &name, &value) == Kind::Entry &&
                name.compare(key, Qt::CaseInsensitive) == 0)
                return value;
    return def;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    const QString text = ReadString(section, key, QString()).trimmed();
    if (text.isEmpty())
        return def;
    bool ok = false;
    int v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = int(text.mid(2).toUInt(&ok, 16));
    else
        v = text.toInt(&ok, 10);
    return ok ? v : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const Parsed p(loadForChange());
    const auto found = p.find(section);
    QByteArray out;
    if (found.empty()) {
        out = p.bytes;
        appendText(out, '[' + section.toUtf8() + ']' + p.eol + p.entryLine(key, value), p.eol);
        store(out);
        return;
    }
    const auto [header, end] = found.front();
    QString name;
    size_t lastEntry = header;
    for (size_t i = header + 1; i < end; ++i) {
        const Kind k = p.classify(p.lines[i], &name);
        if (k == Kind::Entry && name.compare(key, Qt::CaseInsensitive) == 0) {
            out = p.span(0, i);
            appendText(out, p.entryLine(key, value), p.eol);
            out += p.span(i + 1, p.lines.size());
            store(out);
            return;
        }
        if (k != Kind::Other || !p.raw(p.lines[i]).trimmed().isEmpty())
            lastEntry = i;
    }
    out = p.span(0, lastEntry + 1);
    appendText(out, p.entryLine(key, value), p.eol);
    out += p.span(lastEntry + 1, p.lines.size());
    store(out);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::EraseSection(const QString& section) {
    const Parsed p(loadForChange());
    const auto found = p.find(section);
    if (found.empty())
        return;
    QByteArray out;
    size_t from = 0;
    for (const auto& [header, end] : found) {
        out += p.span(from, header);
        from = end;
    }
    out += p.span(from, p.lines.size());
    store(out);
}

void TIniFile::ReplaceSection(const QString& section, const Entries& entries) {
    const Parsed p(loadForChange());
    const auto found = p.find(section);
    QByteArray body = '[' + section.toUtf8() + ']' + p.eol;
    for (const auto& [k, v] : entries)
        body += p.entryLine(k, v);
    QByteArray out;
    if (found.empty()) {
        out = p.bytes;
        appendText(out, body, p.eol);
    } else {
        size_t from = 0;
        bool placed = false;
        for (const auto& [header, end] : found) {
            out += p.span(from, header);
            if (!placed) {
                appendText(out, body, p.eol);
                placed = true;
            }
            from = end;
        }
        QByteArray rest = p.span(from, p.lines.size());
        if (!rest.isEmpty())
            appendText(out, rest, p.eol);
    }
    store(out);
}

bool TIniFile::SectionExists(const QString& section) const {
    return !Parsed(load()).find(section).empty();
}

QStringList TIniFile::ReadSectionValues(const QString& section) const {
    const Parsed p(load());
    const auto found = p.find(section);
    QStringList result;
    if (found.empty())
        return result;
    const auto [header, end] = found.front();
    for (size_t i = header + 1; i < end; ++i) {
        const QByteArray r = p.raw(p.lines[i]);
        const QByteArray t = r.trimmed();
        if (t.isEmpty() || t.startsWith(';'))
            continue;
        result << TextLines::DecodeLine(r);
    }
    return result;
}

TIniFile::Entries TIniFile::ReadSection(const QString& section) const {
    const Parsed p(load());
    const auto found = p.find(section);
    Entries result;
    if (found.empty())
        return result;
    const auto [header, end] = found.front();
    QString name, value;
    for (size_t i = header + 1; i < end; ++i)
        if (p.classify(p.lines[i], &name, &value) == Kind::Entry)
            result.append({name, value});
    return result;
}

QStringList TIniFile::ReadSections() const {
    const Parsed p(load());
    QStringList names;
    QString name;
    for (const Line& l : p.lines)
        if (p.classify(l, &name) == Kind::Section && !names.contains(name, Qt::CaseInsensitive))
            names << name;
    return names;
}
