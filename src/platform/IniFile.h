#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// INI access with private-profile semantics: section and key names compare
// case-insensitively, and every line a change does not touch is kept byte for
// byte. The parsed file is kept and read again only when the file on disk
// changed (size, modification time or inode). Each change replaces the file
// atomically; changes made inside Update() land together in one replacement.
// A failing change throws TVelmoraError("Unable to write to <path>").
class TIniFile {
public:
    using Entries = QList<QPair<QString, QString>>;

    explicit TIniFile(QString path);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const QString& FileName() const { return path; }
    bool Exists() const;
    // False when the file exists but cannot be read: a change would lose
    // what it holds, so every change refuses.
    bool Readable() const;

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal or "0x" hex; anything else gives the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Read as an integer; non-zero is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Removes the section's header and all its keys (every occurrence).
    void EraseSection(const QString& section);
    // Erases and rewrites the section with these entries.
    void ReplaceSection(const QString& section, const Entries& entries);

    // Runs `changes`; every change it makes reaches the file in one atomic
    // replacement at its end. Nested calls join the outermost one. When
    // `changes` throws, nothing of it is written and the error goes on.
    void Update(const std::function<void()>& changes);

    bool SectionExists(const QString& section) const;
    // The section's entries as "key=value" lines, in file order. A line
    // without "=" comes back whole.
    QStringList ReadSectionValues(const QString& section) const;
    // The section's entries as key/value pairs, in file order.
    Entries ReadSection(const QString& section) const;
    QStringList ReadSections() const;

    // How often this object has replaced the file, and parsed it.
    quint64 Replacements() const { return replacements; }
    quint64 Loads() const { return loads; }

private:
    struct TDoc;
    TDoc& doc() const;
    TDoc& docForChange();
    void changed();
    void store();

    QString path;
    mutable std::unique_ptr<TDoc> cached;
    int updateDepth = 0;
    bool dirty = false;
    quint64 replacements = 0;
    mutable quint64 loads = 0;
};
