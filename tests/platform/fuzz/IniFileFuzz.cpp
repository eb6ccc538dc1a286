// libFuzzer target: any settings file must parse, every section and key
// must read back as the section listing shows it, and a change to one
// section must leave every other section as it was.
#include "FuzzCheck.h"
#include "FuzzFile.h"
#include "platform/IniFile.h"

#include <QList>
#include <cstdint>
#include <cstdlib>

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The value ReadString gives for `key`: its first entry in the section's
// first occurrence, which is what ReadSection lists.
const QString* firstValue(const TIniFile::Entries& entries, const QString& key) {
    for (const auto& [k, v] : entries)
        if (sameName(k, key))
            return &v;
    return nullptr;
}

// Every section except `skip`, read afresh, is what `before` holds.
void othersUnchanged(const TIniFile& ini, const QStringList& sections,
                     const QList<TIniFile::Entries>& before, const QString& skip) {
    for (qsizetype i = 0; i < sections.size(); ++i)
        if (!sameName(sections[i], skip))
            FUZZ_CHECK(ini.ReadSection(sections[i]) == before[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TFuzzFile file(QStringLiteral("velmora.ini"));
    file.Write(data, size);
    TIniFile ini(file.Path());
    FUZZ_CHECK(ini.Readable());

    const QStringList sections = ini.ReadSections();
    QList<TIniFile::Entries> before;
    for (const QString& s : sections) {
        FUZZ_CHECK(ini.SectionExists(s));
        FUZZ_CHECK(!s.contains(QLatin1Char(']')));
        const TIniFile::Entries entries = ini.ReadSection(s);
        // Values list every line that is not blank or a comment, entries
        // only those with "=".
        FUZZ_CHECK(ini.ReadSectionValues(s).size() >= entries.size());
        for (const auto& [k, v] : entries) {
            FUZZ_CHECK(!k.contains(QLatin1Char('=')));
            FUZZ_CHECK(ini.ReadString(s, k, QStringLiteral("<none>")) == *firstValue(entries, k));
            const int a = ini.ReadInteger(s, k, 1), b = ini.ReadInteger(s, k, 2);
            FUZZ_CHECK(a == b || (a == 1 && b == 2));
            FUZZ_CHECK(ini.ReadBool(s, k, false) == (ini.ReadInteger(s, k, 0) != 0));
        }
        before << entries;
    }
    if (sections.isEmpty())
        return 0;

    // One section, chosen by the input, gets the three kinds of change the
    // program makes.
    const qsizetype chosen = qsizetype(size % size_t(sections.size()));
    const QString target = sections[chosen];
    const QString key = QStringLiteral("Velmora Fuzz");
    const QString value = QStringLiteral("a=b; [c]");
    TIniFile::Entries expected = before[chosen];
    bool replaced = false;
    for (auto& [k, v] : expected)
        if (!replaced && sameName(k, key)) {
            k = key;
            v = value;
            replaced = true;
        }
    if (!replaced)
        expected.append({key, value});
    ini.WriteString(target, key, value);
    FUZZ_CHECK(ini.ReadString(target, key, QString()) == value);
    FUZZ_CHECK(ini.ReadSection(target) == expected);
    FUZZ_CHECK(ini.ReadSections() == sections);
    othersUnchanged(ini, sections, before, target);

    ini.ReplaceSection(target, before[chosen]);
    FUZZ_CHECK(ini.ReadSection(target) == before[chosen]);
    othersUnchanged(ini, sections, before, target);

    ini.EraseSection(target);
    FUZZ_CHECK(!ini.SectionExists(target));
    QStringList rest = sections;
    rest.removeAt(chosen);
    FUZZ_CHECK(ini.ReadSections() == rest);
    othersUnchanged(ini, sections, before, target);
    return 0;
}
