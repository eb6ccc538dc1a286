#include "platform/IniFile.h"
#include "TestFiles.h"
#include "platform/VelmoraError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("velmora.ini"));
    TIniFile ini{path};

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void given(const QByteArray& bytes) { WriteTestFile(path, bytes); }
};

// A file hand-edited or damaged: comments, blank lines, a line without "=",
// binary bytes, LF and CR LF mixed, no line end at the very end.
const QByteArray kMessy = "; written by hand\r\n"
                          "[VELMORA Settings]\r\n"
                          "Width=800\r\n"
                          "\x01\x02\xff\xfe garbage \x80\r\n"
                          "  Height = 600\n"
                          "not an entry\r\n"
                          "\r\n"
                          "[DNS Settings]\r\n"
                          "DNS-0=127.0.0.1\r\n"
                          "dns.example\r\n"
                          "DNS-1=::1";

struct ReadCase {
    const char* name;
    QByteArray contents; // null: no file
    const char* section;
    const char* key;
    int def;
    int expected;
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, ReadInteger) {
    const ReadCase& c = GetParam();
    if (!c.contents.isNull())
        given(c.contents);
    EXPECT_EQ(ini.ReadInteger(QString::fromLatin1(c.section), QString::fromLatin1(c.key), c.def),
              c.expected);
}

const QByteArray kNumbers = "[S]\r\n"
                            "dec=42\r\n"
                            "neg=-5\r\n"
                            "hex=0x1F\r\n"
                            "HEXUP=0X1f\r\n"
                            "hexbad=0xZZ\r\n"
                            "bare0x=0x\r\n"
                            "word=abc\r\n"
                            "tail=12abc\r\n"
                            "empty=\r\n"
                            "padded= 7 \r\n"
                            "dup=1\r\n"
                            "dup=2\r\n"
                            "[Other]\r\n"
                            "only=99\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadTest,
    ::testing::Values(ReadCase{"MissingFile", QByteArray(), "S", "dec", 3, 3},
                      ReadCase{"MissingSection", kNumbers, "Nope", "dec", 3, 3},
                      ReadCase{"MissingKey", kNumbers, "S", "absent", 3, 3},
                      ReadCase{"KeyOfAnotherSection", kNumbers, "S", "only", 3, 3},
                      ReadCase{"Decimal", kNumbers, "S", "dec", 3, 42},
                      ReadCase{"Negative", kNumbers, "S", "neg", 3, -5},
                      ReadCase{"Hex", kNumbers, "S", "hex", 3, 31},
                      ReadCase{"HexUpperPrefix", kNumbers, "S", "HEXUP", 3, 31},
                      ReadCase{"BadHexIsDefault", kNumbers, "S", "hexbad", 3, 3},
                      ReadCase{"BarePrefixIsDefault", kNumbers, "S", "bare0x", 3, 3},
                      ReadCase{"WordIsDefault", kNumbers, "S", "word", 3, 3},
                      ReadCase{"TrailingJunkIsDefault", kNumbers, "S", "tail", 3, 3},
                      ReadCase{"EmptyIsDefault", kNumbers, "S", "empty", 3, 3},
                      ReadCase{"BlanksAroundNumber", kNumbers, "S", "padded", 3, 7},
                      ReadCase{"FirstOfDuplicates", kNumbers, "S", "dup", 3, 1},
                      ReadCase{"SectionAnyCase", kNumbers, "s", "dec", 3, 42},
                      ReadCase{"KeyAnyCase", kNumbers, "S", "DEC", 3, 42},
                      ReadCase{"AfterGarbageLines", kMessy, "velmora settings", "height", 3, 600},
                      ReadCase{"AfterByteOrderMark", "\xEF\xBB\xBF[S]\r\nk=5\r\n", "S", "k", 3, 5},
                      ReadCase{"BinaryFile", QByteArray("\x00\xff\x00[S]\x00=\x01\r\n", 11), "S",
                               "x", 3, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, BooleansAreNonZeroIntegers) {
    given("[S]\r\none=1\r\ntwo=2\r\nneg=-1\r\nzero=0\r\nhex=0x10\r\nword=yes\r\n");
    EXPECT_TRUE(ini.ReadBool("S", "one", false));
    EXPECT_TRUE(ini.ReadBool("S", "two", false));
    EXPECT_TRUE(ini.ReadBool("S", "neg", false));
    EXPECT_TRUE(ini.ReadBool("S", "hex", false));
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    // Not a number: the default, whichever it is.
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
    EXPECT_FALSE(ini.ReadBool("S", "word", false));
    EXPECT_TRUE(ini.ReadBool("S", "missing", true));
}

TEST_F(IniFileTest, StringsComeBackAsWritten) {
    given(kMessy);
    EXPECT_EQ(ini.ReadString("DNS Settings", "dns-1", "def"), "::1");
    EXPECT_EQ(ini.ReadString("DNS Settings", "missing", "def"), "def");
    EXPECT_EQ(ini.ReadString("Nope", "DNS-0", QString()), QString());

    ini.WriteString("Web Page Settings", "EditWebPageFTPFolder", "/pub/a b=c;d");
    ini.WriteString("Web Page Settings", "Empty", "");
    EXPECT_EQ(ini.ReadString("web page settings", "editwebpageftpfolder", ""), "/pub/a b=c;d");
    EXPECT_EQ(ini.ReadString("Web Page Settings", "Empty", "def"), "");
    ini.WriteString("Web Page Settings", "Unicode", QString::fromUtf8("M\xc3\xbcnchen"));
    EXPECT_EQ(ini.ReadString("Web Page Settings", "Unicode", ""),
              QString::fromUtf8("M\xc3\xbcnchen"));
    // U+FEFF at the start of a value or key is text, not a byte order mark.
    const QString marked = QString(QChar(0xFEFF)) + QChar(0xFEFF) + "[x";
    ini.WriteString("Web Page Settings", "Marked", marked);
    ini.ReplaceSection("Saved", {{marked, marked}});
    const TIniFile again(path);
    EXPECT_EQ(again.ReadString("Web Page Settings", "Marked", ""), marked);
    EXPECT_EQ(again.ReadSection("Saved"), (TIniFile::Entries{{marked, marked}}));
}

// Every change: the file's bytes before and after.
struct WriteCase {
    const char* name;
    QByteArray before; // null: no file
    std::function<void(TIniFile&)> change;
    QByteArray after;
};

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, FileBytes) {
    const WriteCase& c = GetParam();
    if (!c.before.isNull())
        given(c.before);
    c.change(ini);
    EXPECT_EQ(ReadTestFile(path), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteTest,
    ::testing::Values(
        WriteCase{"CreatesFile", QByteArray(),
                  [](TIniFile& i) { i.WriteInteger("VELMORA Settings", "Width", 800); },
                  "[VELMORA Settings]\r\nWidth=800\r\n"},
        WriteCase{"ReplacesValueKeepsEverythingElse", kMessy,
                  [](TIniFile& i) { i.WriteInteger("velmora settings", "WIDTH", 1024); },
                  QByteArray(kMessy).replace("Width=800", "WIDTH=1024")},
        WriteCase{"ReplacesLfLineInPlace", kMessy,
                  [](TIniFile& i) { i.WriteInteger("VELMORA Settings", "Height", 480); },
                  QByteArray(kMessy).replace("  Height = 600\n", "Height=480\r\n")},
        WriteCase{
            "NewKeyEndsItsSectionBeforeBlankLines", kMessy,
            [](TIniFile& i) { i.WriteBool("VELMORA Settings", "DebugEMAIL", true); },
            QByteArray(kMessy).replace("not an entry\r\n", "not an entry\r\nDebugEMAIL=1\r\n")},
        WriteCase{"NewKeyInLastSectionWithoutLineEnd", kMessy,
                  [](TIniFile& i) { i.WriteString("DNS Settings", "DNS-2", "x"); },
                  kMessy + "\r\nDNS-2=x\r\n"},
        WriteCase{"NewSectionAtEnd", "[A]\r\nk=1\r\n",
                  [](TIniFile& i) { i.WriteBool("B", "k", false); },
                  "[A]\r\nk=1\r\n[B]\r\nk=0\r\n"},
        WriteCase{"KeepsLfFileLf", "[A]\nk=1\n", [](TIniFile& i) { i.WriteInteger("A", "j", 2); },
                  "[A]\nk=1\nj=2\n"},
        // LF alone after a text ending in CR would read back as CR LF.
        WriteCase{"ValueEndingInCrInLfFile", "[A]\nk=1\n",
                  [](TIniFile& i) { i.WriteString("A", "j", "2\r"); }, "[A]\nk=1\nj=2\r\r\n"},
        WriteCase{"LastLineEndingInCrInLfFile", "[A]\nk=1\r",
                  [](TIniFile& i) { i.WriteInteger("A", "j", 2); }, "[A]\nk=1\r\r\nj=2\n"},
        WriteCase{"BinaryBytesKept", QByteArray("[A]\r\n\x00\x1a\xff\r\nk=1\r\n", 15),
                  [](TIniFile& i) { i.WriteInteger("A", "k", 2); },
                  QByteArray("[A]\r\n\x00\x1a\xff\r\nk=2\r\n", 15)},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[S]\r\nk=5\r\n",
                  [](TIniFile& i) { i.WriteInteger("s", "k", 6); }, "\xEF\xBB\xBF[S]\r\nk=6\r\n"},
        WriteCase{"EraseSection", kMessy, [](TIniFile& i) { i.EraseSection("velmora SETTINGS"); },
                  "; written by hand\r\n[DNS Settings]\r\nDNS-0=127.0.0.1\r\ndns.example\r\n"
                  "DNS-1=::1"},
        WriteCase{"EraseLastSection", kMessy, [](TIniFile& i) { i.EraseSection("DNS Settings"); },
                  kMessy.left(kMessy.indexOf("[DNS"))},
        WriteCase{"EraseEveryCopyOfSection", "[A]\r\na=1\r\n[B]\r\nb=1\r\n[a]\r\nc=1\r\n",
                  [](TIniFile& i) { i.EraseSection("A"); }, "[B]\r\nb=1\r\n"},
        WriteCase{"EraseMissingSectionChangesNothing", kMessy,
                  [](TIniFile& i) { i.EraseSection("SaveOnExit_Grid"); }, kMessy},
        WriteCase{"ReplaceSectionInPlace", "[A]\r\na=1\r\n[Q]\r\nold=1\r\nx=2\r\n[B]\r\nb=1\r\n",
                  [](TIniFile& i) {
                      i.ReplaceSection("q", {{"Q-0", "10.0.0.1"}, {"Q-1", "host"}});
                  },
                  "[A]\r\na=1\r\n[q]\r\nQ-0=10.0.0.1\r\nQ-1=host\r\n[B]\r\nb=1\r\n"},
        WriteCase{"ReplaceSectionAppends", "[A]\r\na=1",
                  [](TIniFile& i) {
                      i.ReplaceSection("B", {{"k", "v"}});
                  },
                  "[A]\r\na=1\r\n[B]\r\nk=v\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, SectionValuesInFileOrder) {
    given(kMessy);
    // A line without "=" comes back whole; comments and blank lines do not.
    EXPECT_EQ(ini.ReadSectionValues("dns settings"),
              QStringList({"DNS-0=127.0.0.1", "dns.example", "DNS-1=::1"}));
    const TIniFile::Entries entries = ini.ReadSection("DNS Settings");
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], qMakePair(QString("DNS-0"), QString("127.0.0.1")));
    EXPECT_EQ(entries[1], qMakePair(QString("DNS-1"), QString("::1")));
    EXPECT_TRUE(ini.ReadSectionValues("Missing").isEmpty());
    EXPECT_TRUE(ini.SectionExists("DNS SETTINGS"));
    EXPECT_FALSE(ini.SectionExists("Missing"));
    EXPECT_EQ(ini.ReadSections(), QStringList({"VELMORA Settings", "DNS Settings"}));
}

TEST_F(IniFileTest, ValuesEndingInCrSurviveChangesInLfFile) {
    given("[A]\nk=1\r");
    ini.ReplaceSection("B", {{"x", "y\r"}});
    ini.WriteString("A", "j", "\r");
    const TIniFile again(path);
    EXPECT_EQ(again.ReadSection("A"), TIniFile::Entries({{"k", "1\r"}, {"j", "\r"}}));
    EXPECT_EQ(again.ReadString("B", "x", QString()), "y\r");
}

TEST_F(IniFileTest, ReplaceSectionOfManyKeysRoundTrips) {
    given(kMessy);
    TIniFile::Entries entries;
    for (int i = 0; i < 5000; ++i)
        entries.append({QStringLiteral("row-%1").arg(i), QStringLiteral("10.0.%1\tloc").arg(i)});
    ini.ReplaceSection("SaveOnExit_Grid", entries);
    EXPECT_EQ(ini.ReadSection("SaveOnExit_Grid"), entries);
    // Writing it again with fewer keys leaves no stale ones behind.
    entries.resize(3);
    ini.ReplaceSection("saveonexit_grid", entries);
    EXPECT_EQ(ini.ReadSection("SaveOnExit_Grid"), entries);
    EXPECT_TRUE(ReadTestFile(path).startsWith(kMessy + "\r\n[saveonexit_grid]\r\nrow-0="));
}

void expectWriteFails(TIniFile& ini, const std::function<void(TIniFile&)>& change) {
    try {
        change(ini);
        ADD_FAILURE() << "no error for " << ini.FileName().toStdString();
    } catch (const TVelmoraError& e) {
        EXPECT_EQ(e.message(), "Unable to write to " + ini.FileName());
    }
}

TEST(IniFileFailure, ParentIsARegularFile) {
    QTemporaryDir dir;
    WriteTestFile(dir.filePath("plain"), "x");
    TIniFile ini(dir.filePath("plain/velmora.ini"));
    expectWriteFails(ini, [](TIniFile& i) { i.WriteString("S", "k", "v"); });
    expectWriteFails(ini, [](TIniFile& i) { i.ReplaceSection("S", {{"k", "v"}}); });
    EXPECT_EQ(ReadTestFile(dir.filePath("plain")), "x");
    EXPECT_EQ(ini.ReadInteger("S", "k", 5), 5);
}

TEST(IniFileFailure, TargetIsADirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("velmora.ini"));
    WriteTestFile(dir.filePath("velmora.ini/keep"), "kept");
    TIniFile ini(dir.filePath("velmora.ini"));
    expectWriteFails(ini, [](TIniFile& i) { i.WriteInteger("S", "k", 1); });
    EXPECT_EQ(ReadTestFile(dir.filePath("velmora.ini/keep")), "kept");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"velmora.ini"});
}

// A file that can be written but not read: rewriting it from nothing would
// lose every key in it. Root reads any file, so root acts as another user.
TEST(IniFileFailure, UnreadableFileIsNotReplaced) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.ini");
    const QByteArray old = "[S]\r\nk=old\r\n";
    WriteTestFile(path, old);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.toLocal8Bit().constData(), 65534, 65534), 0);
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    if (root && seteuid(65534) != 0)
        GTEST_SKIP() << "running as root without the right to change the effective user";
    struct Restore {
        bool root;
        ~Restore() {
            if (root && seteuid(0) != 0)
                std::abort();
        }
    } restore{root};

    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "k", 3), 3);
    expectWriteFails(ini, [](TIniFile& i) { i.WriteString("S", "j", "new"); });
    expectWriteFails(ini, [](TIniFile& i) { i.EraseSection("S"); });
    expectWriteFails(ini, [](TIniFile& i) { i.ReplaceSection("T", {{"k", "v"}}); });
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
    }
    restore.root = false;
    EXPECT_EQ(ReadTestFile(path), old);
}

// A full disk, simulated by a file-size limit that binds root too: the old
// file stays whole and no temporary file is left beside it.
TEST(IniFileFailure, DiskFullLeavesOldFileIntact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.ini");
    const QByteArray old = "[S]\r\nk=old\r\n[T]\r\nx=1\r\n";
    WriteTestFile(path, old);
    TIniFile ini(path);

    {
        TFileSizeLimit full(4096);
        ASSERT_TRUE(full.Set());
        expectWriteFails(ini, [](TIniFile& i) { i.WriteString("S", "k", QString(8192, 'v')); });
        expectWriteFails(ini, [](TIniFile& i) {
            TIniFile::Entries many;
            for (int n = 0; n < 1000; ++n)
                many.append({QString::number(n), "some value"});
            i.ReplaceSection("T", many);
        });
    }

    EXPECT_EQ(ReadTestFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"velmora.ini"});
    EXPECT_EQ(ini.ReadString("S", "k", ""), "old");
}

} // namespace

// The settings hold passwords: a file the program creates is its owner's
// alone, and a file that exists keeps the mode its owner gave it.
TEST(IniFile, CreatedOwnerOnlyAndAnExistingFileKeepsItsMode) {
    QTemporaryDir dir;
    auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    const QString fresh = dir.filePath("new.ini");
    TIniFile(fresh).WriteString("S", "EditWebPageFTPPassword", "secret");
    EXPECT_EQ(mode(fresh), 0600u);

    const QString shared = dir.filePath("shared.ini");
    {
        QFile f(shared);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[S]\r\nA=1\r\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0644), 0);
    TIniFile(shared).WriteString("S", "B", "2");
    EXPECT_EQ(mode(shared), 0644u);
    EXPECT_EQ(TIniFile(shared).ReadString("S", "B", ""), "2");
}
