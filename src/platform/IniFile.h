#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// INI access with private-profile semantics: every call opens the file,
// touches one key or one section, and (for changes) replaces the file
// atomically. Section and key names compare case-insensitively; every line
// the call does not touch is kept byte for byte. A failing change throws
// TVelmoraError("Unable to write to <path>").
class TIniFile {
public:
    using Entries = QList<QPair<QString, QString>>;

    explicit TIniFile(QString path);
    const QString& FileName() const { return path; }
    bool Exists() const;

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
    // Erase and rewrite the section with these entries, in one file write.
    void ReplaceSection(const QString& section, const Entries& entries);

    bool SectionExists(const QString& section) const;
    // The section's entries as "key=value" lines, in file order. A line
    // without "=" comes back whole.
    QStringList ReadSectionValues(const QString& section) const;
    // The section's entries as key/value pairs, in file order.
    Entries ReadSection(const QString& section) const;
    QStringList ReadSections() const;

private:
    QByteArray load() const;
    // The contents a change starts from; throws when the file exists but
    // cannot be read, as rewriting it would lose everything in it.
    QByteArray loadForChange() const;
    void store(const QByteArray& contents);

    QString path;
};
