#include "IniFile.h"

#include "TextLines.h"
#include "VelmoraError.h"

#include <QFile>
#include <QStringDecoder>
#include <sys/stat.h>
#include <vector>

namespace {

enum class Kind : quint8 { Other, Section, Entry };
enum class Eol : quint8 { None, Lf, CrLf };

// One line of the file: a piece of the bytes read (untouched lines are
// written back exactly as they were) or a text of its own once changed.
struct TLine {
    qsizetype start = 0;
    qsizetype length = 0;
    QByteArray own;
    bool owned = false;
    Eol eol = Eol::None;
    Kind kind = Kind::Other;
    qsizetype eq = -1; // position of the first "=" in the text
};

// What identifies one version of the file on disk.
struct TStamp {
    bool exists = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const TStamp&) const = default;
};

TStamp stampOf(const QString& path) {
    struct stat st {};
    TStamp s;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    return s;
}

QByteArray eolBytes(Eol e) {
    return e == Eol::CrLf ? QByteArrayLiteral("\r\n")
                          : (e == Eol::Lf ? QByteArrayLiteral("\n") : QByteArray());
}

QByteArrayView trimmedView(QByteArrayView v) {
    qsizetype b = 0, e = v.size();
    auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (b < e && space(v[b]))
        ++b;
    while (e > b && space(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

QString decode(QByteArrayView v) {
    // A key or value may begin with U+FEFF (from a log line or a reply);
    // the plain UTF-8 decoder would drop it as a byte order mark. The file's
    // own mark is taken off before any line is read.
    if (v.startsWith("\xEF\xBB\xBF") && v.isValidUtf8())
        return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom)(v);
    return TextLines::DecodeLine(QByteArray::fromRawData(v.data(), v.size()));
}

} // namespace

struct TIniFile::TDoc {
    TStamp stamp;
    bool unreadable = false; // exists, but could not be read
    bool bom = false;
    QByteArray raw;
    std::vector<TLine> lines;
    Eol eol = Eol::CrLf; // the file's own line end, for lines we add
    struct TSection {
        QString name;
        size_t header = 0;
        size_t end = 0; // one past its last line
    };
    std::vector<TSection> sections;

    void parse(QByteArray bytes) {
        raw = std::move(bytes);
        lines.clear();
        qsizetype from = 0;
        // An editor's byte order mark is no part of the first line, and is
        // kept when the file is written back.
        if (raw.startsWith("\xEF\xBB\xBF")) {
            bom = true;
            from = 3;
        }
        bool eolSeen = false;
        const char* data = raw.constData();
        const qsizetype size = raw.size();
        while (from < size) {
            const char* nl =
                static_cast<const char*>(memchr(data + from, '\n', size_t(size - from)));
            TLine l;
            l.start = from;
            if (!nl) {
                l.length = size - from;
                from = size;
            } else {
                const qsizetype at = nl - data;
                l.length = at - from;
                l.eol = Eol::Lf;
                if (l.length > 0 && data[at - 1] == '\r') {
                    --l.length;
                    l.eol = Eol::CrLf;
                }
                if (!eolSeen) {
                    eol = l.eol;
                    eolSeen = true;
                }
                from = at + 1;
            }
            classify(l);
            lines.push_back(std::move(l));
        }
        index();
    }

    QByteArrayView text(const TLine& l) const {
        return l.owned ? QByteArrayView(l.own) : QByteArrayView(raw).sliced(l.start, l.length);
    }

    void classify(TLine& l) const {
        const QByteArrayView t = trimmedView(text(l));
        l.kind = Kind::Other;
        l.eq = -1;
        if (t.startsWith('[') && t.indexOf(']') > 0) {
            l.kind = Kind::Section;
            return;
        }
        if (t.isEmpty() || t.startsWith(';'))
            return;
        l.eq = text(l).indexOf('=');
        if (l.eq >= 0)
            l.kind = Kind::Entry;
    }

    QString sectionName(const TLine& l) const {
        const QByteArrayView t = trimmedView(text(l));
        return decode(t.sliced(1, t.indexOf(']') - 1)).trimmed();
    }
    QString key(const TLine& l) const { return decode(text(l).first(l.eq)).trimmed(); }
    QString value(const TLine& l) const { return decode(text(l).sliced(l.eq + 1)); }

    void index() {
        sections.clear();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind != Kind::Section)
                continue;
            if (!sections.empty())
                sections.back().end = i;
            sections.push_back({sectionName(lines[i]), i, lines.size()});
        }
        if (!sections.empty())
            sections.back().end = lines.size();
    }

    std::vector<const TSection*> find(const QString& section) const {
        std::vector<const TSection*> found;
        for (const TSection& s : sections)
            if (s.name.compare(section, Qt::CaseInsensitive) == 0)
                found.push_back(&s);
        return found;
    }

    // The line of `key` in [from, to), or `to`.
    size_t findKey(size_t from, size_t to, const QString& k) const {
        for (size_t i = from; i < to; ++i)
            if (lines[i].kind == Kind::Entry && key(lines[i]).compare(k, Qt::CaseInsensitive) == 0)
                return i;
        return to;
    }

    // The line end a line gets from us: the file's own, except after a text
    // that ends in CR, where LF alone would read back as CR LF and take the
    // CR from the value.
    Eol endFor(const TLine& l) const {
        return eol == Eol::Lf && text(l).endsWith('\r') ? Eol::CrLf : eol;
    }

    TLine ownLine(const QByteArray& bytes) const {
        TLine l;
        l.own = bytes;
        l.owned = true;
        l.eol = endFor(l);
        classify(l);
        return l;
    }
    static QByteArray entry(const QString& k, const QString& v) {
        return k.toUtf8() + '=' + v.toUtf8();
    }

    // A line that gets a successor needs a line end of its own.
    void endLine(size_t i) {
        if (i < lines.size() && lines[i].eol == Eol::None)
            lines[i].eol = endFor(lines[i]);
    }

    void insert(size_t at, std::vector<TLine> more) {
        if (at > 0)
            endLine(at - 1);
        lines.insert(lines.begin() + qsizetype(at), std::make_move_iterator(more.begin()),
                     std::make_move_iterator(more.end()));
        index();
    }

    // Drops every occurrence of `section` and puts `body` where the first
    // one stood; false, and nothing changed, when there is none.
    bool replaceAll(const QString& section, std::vector<TLine>& body) {
        const auto found = find(section);
        if (found.empty())
            return false;
        std::vector<TLine> out;
        out.reserve(lines.size() + body.size());
        size_t from = 0;
        for (const TSection* s : found) {
            for (size_t i = from; i < s->header; ++i)
                out.push_back(std::move(lines[i]));
            if (!body.empty()) {
                if (!out.empty() && out.back().eol == Eol::None)
                    out.back().eol = endFor(out.back());
                for (TLine& l : body)
                    out.push_back(std::move(l));
                body.clear();
            }
            from = s->end;
        }
        for (size_t i = from; i < lines.size(); ++i)
            out.push_back(std::move(lines[i]));
        lines = std::move(out);
        index();
        return true;
    }

    QByteArray serialize() const {
        QByteArray out;
        qsizetype total = bom ? 3 : 0;
        for (const TLine& l : lines)
            total += text(l).size() + 2;
        out.reserve(total);
        if (bom)
            out += "\xEF\xBB\xBF";
        for (size_t i = 0; i < lines.size(); ++i) {
            out += text(lines[i]);
            const Eol e =
                lines[i].eol == Eol::None && i + 1 < lines.size() ? endFor(lines[i]) : lines[i].eol;
            out += eolBytes(e);
        }
        return out;
    }
};

TIniFile::TIniFile(QString p) : path(std::move(p)) {}
TIniFile::~TIniFile() = default;

TIniFile::TDoc& TIniFile::doc() const {
    // Inside an update the pending changes are the truth.
    if (cached && (updateDepth > 0 || stampOf(path) == cached->stamp))
        return *cached;
    auto d = std::make_unique<TDoc>();
    d->stamp = stampOf(path);
    if (d->stamp.exists) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            d->parse(f.readAll());
        else
            d->unreadable = true;
    }
    ++loads;
    cached = std::move(d);
    return *cached;
}

TIniFile::TDoc& TIniFile::docForChange() {
    TDoc& d = doc();
    if (d.unreadable)
        throw TVelmoraError(QStringLiteral("Unable to write to %1").arg(path));
    return d;
}

void TIniFile::changed() {
    dirty = true;
    if (updateDepth == 0)
        store();
}

void TIniFile::store() {
    dirty = false;
    const QByteArray bytes = cached->serialize();
    // It holds passwords (FTP, mail): a file created here is the owner's alone.
    if (!TextLines::WriteBytes(path, bytes, TextLines::TNewFile::OwnerOnly)) {
        cached.reset(); // what is on disk is still the old file
        throw TVelmoraError(QStringLiteral("Unable to write to %1").arg(path));
    }
    ++replacements;
    // Parse what was written, so offsets point into the current bytes and
    // the next read needs no reload.
    auto d = std::make_unique<TDoc>();
    d->parse(bytes);
    d->stamp = stampOf(path);
    cached = std::move(d);
}

void TIniFile::Update(const std::function<void()>& changes) {
    ++updateDepth;
    try {
        changes();
    } catch (...) {
        if (--updateDepth == 0 && dirty) {
            dirty = false;
            cached.reset();
        }
        throw;
    }
    if (--updateDepth == 0 && dirty)
        store();
}

bool TIniFile::Exists() const {
    return QFile::exists(path);
}

bool TIniFile::Readable() const {
    return !doc().unreadable;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const TDoc& d = doc();
    for (const TDoc::TSection* s : d.find(section)) {
        const size_t i = d.findKey(s->header + 1, s->end, key);
        if (i < s->end)
            return d.value(d.lines[i]);
    }
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
    TDoc& d = docForChange();
    const auto found = d.find(section);
    const QByteArray line = TDoc::entry(key, value);
    if (found.empty()) {
        std::vector<TLine> more;
        more.push_back(d.ownLine('[' + section.toUtf8() + ']'));
        more.push_back(d.ownLine(line));
        d.insert(d.lines.size(), std::move(more));
        changed();
        return;
    }
    const TDoc::TSection& s = *found.front();
    const size_t at = d.findKey(s.header + 1, s.end, key);
    if (at < s.end) {
        d.lines[at] = d.ownLine(line);
        changed();
        return;
    }
    // After the section's last non-blank line, so blank lines stay between
    // sections.
    size_t last = s.header;
    for (size_t i = s.header + 1; i < s.end; ++i)
        if (!trimmedView(d.text(d.lines[i])).isEmpty())
            last = i;
    std::vector<TLine> more;
    more.push_back(d.ownLine(line));
    d.insert(last + 1, std::move(more));
    changed();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::EraseSection(const QString& section) {
    TDoc& d = docForChange();
    std::vector<TLine> none;
    if (d.replaceAll(section, none))
        changed();
}

void TIniFile::ReplaceSection(const QString& section, const Entries& entries) {
    TDoc& d = docForChange();
    std::vector<TLine> body;
    body.reserve(size_t(entries.size()) + 1);
    body.push_back(d.ownLine('[' + section.toUtf8() + ']'));
    for (const auto& [k, v] : entries)
        body.push_back(d.ownLine(TDoc::entry(k, v)));
    if (!d.replaceAll(section, body))
        d.insert(d.lines.size(), std::move(body));
    changed();
}

bool TIniFile::SectionExists(const QString& section) const {
    return !doc().find(section).empty();
}

QStringList TIniFile::ReadSectionValues(const QString& section) const {
    const TDoc& d = doc();
    const auto found = d.find(section);
    QStringList result;
    if (found.empty())
        return result;
    const TDoc::TSection& s = *found.front();
    for (size_t i = s.header + 1; i < s.end; ++i) {
        const QByteArrayView t = trimmedView(d.text(d.lines[i]));
        if (t.isEmpty() || t.startsWith(';'))
            continue;
        result << decode(d.text(d.lines[i]));
    }
    return result;
}

TIniFile::Entries TIniFile::ReadSection(const QString& section) const {
    const TDoc& d = doc();
    const auto found = d.find(section);
    Entries result;
    if (found.empty())
        return result;
    const TDoc::TSection& s = *found.front();
    result.reserve(qsizetype(s.end - s.header));
    for (size_t i = s.header + 1; i < s.end; ++i)
        if (d.lines[i].kind == Kind::Entry)
            result.append({d.key(d.lines[i]), d.value(d.lines[i])});
    return result;
}

QStringList TIniFile::ReadSections() const {
    QStringList names;
    for (const TDoc::TSection& s : doc().sections)
        if (!names.contains(s.name, Qt::CaseInsensitive))
            names << s.name;
    return names;
}
