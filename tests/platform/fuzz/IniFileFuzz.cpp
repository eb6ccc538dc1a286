// libFuzzer target: any settings file must parse, every section and key
// must read back as the section listing shows it, a value the file holds
// must survive being written, and a change to one section must leave every
// other section as it was.
#include "FuzzCheck.h"
#include "FuzzFile.h"
#include "platform/IniFile.h"

#include <QList>
#include <algorithm>
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
        // Each read searches the section, so a few dozen keys are enough.
        for (const auto& [k, v] : entries.first(std::min<qsizetype>(entries.size(), 32))) {
            FUZZ_CHECK(!k.contains(QLatin1Char('=')));
            FUZZ_CHECK(ini.ReadString(s, k, QStringLiteral("<none>")) == *firstValue(entries, k));
            const int a = ini.ReadInteger(s, k, 1), b = ini.ReadInteger(s, k, 2);
            FUZZ_CHECK(a == b || (a == 1 && b == 2));
            FUZZ_CHECK(ini.ReadBool(s, k, false) == (a == b && a != 0));
        }
        before << entries;
    }

    // One section of the program's own, chosen by the input and there or
    // not, gets the three kinds of change the program makes; sections come
    // from the file only when they are kept.
    static const QStringList own = {
        QStringLiteral("VELMORA Settings"), QStringLiteral("DNS Settings"),
        QStringLiteral("EMAIL Settings"), QStringLiteral("SaveOnExit_EMAILQueue")};
    const QString target = own[qsizetype(size % size_t(own.size()))];
    qsizetype at = sections.size() - 1;
    while (at >= 0 && !sameName(sections[at], target))
        --at;
    const QString key = QStringLiteral("Velmora Fuzz");
    const QString value = QStringLiteral("a=b; [c]");
    TIniFile::Entries expected = at >= 0 ? before[at] : TIniFile::Entries();
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
    FUZZ_CHECK(ini.ReadSections() == (at >= 0 ? sections : sections + QStringList{target}));
    othersUnchanged(ini, sections, before, target);

    // The program replaces sections with keys of its own and values from
    // anywhere (logs, replies): every value must come back as it was.
    TIniFile::Entries numbered;
    for (const TIniFile::Entries& entries : before)
        for (const auto& [k, v] : entries)
            if (numbered.size() < 64)
                numbered.append({QStringLiteral("row-%1").arg(numbered.size()), v});
    ini.ReplaceSection(target, numbered);
    FUZZ_CHECK(ini.ReadSection(target) == numbered);
    othersUnchanged(ini, sections, before, target);

    ini.EraseSection(target);
    FUZZ_CHECK(!ini.SectionExists(target));
    QStringList rest = sections;
    if (at >= 0)
        rest.removeAt(at);
    FUZZ_CHECK(ini.ReadSections() == rest);
    othersUnchanged(ini, sections, before, target);
    return 0;
}
