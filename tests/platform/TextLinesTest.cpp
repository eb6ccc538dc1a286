#include "platform/TextLines.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

struct SplitCase {
    const char* name;
    QByteArray contents;
    QStringList lines;
};

class TextLinesSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(TextLinesSplit, Lines) {
    EXPECT_EQ(TextLines::Split(GetParam().contents, TextLines::kMaxDataLine), GetParam().lines);
}

const QString kLong254(254, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLinesSplit,
    ::testing::Values(
        SplitCase{"Empty", "", {}}, SplitCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
        SplitCase{"Lf", "a\nb\n", {"a", "b"}}, SplitCase{"Mixed", "a\r\nb\nc\r\n", {"a", "b", "c"}},
        SplitCase{"LastLineWithoutEnd", "a\r\nb", {"a", "b"}},
        SplitCase{"NoLineEndAtAll", "only", {"only"}},
        SplitCase{"BlankLinesCount", "\r\n\n\r\nx", {"", "", "", "x"}},
        SplitCase{"LoneCrStaysInLine", "a\rb\n", {"a\rb"}},
        SplitCase{"CtrlZEndsFile", "a\r\nb\x1a\r\nc\r\n", {"a", "b"}},
        SplitCase{"CtrlZAtLineStart",
                  "a\r\n\x1a"
                  "b\r\n",
                  {"a"}},
        SplitCase{"CtrlZFirst",
                  "\x1a"
                  "a\r\n",
                  {}},
        SplitCase{"Exactly254Kept", kLong254.toLatin1() + "\r\nnext", {kLong254, "next"}},
        SplitCase{"LongerIsCutAndReadingGoesOn",
                  QByteArray(300, 'y') + "\r\n" + QByteArray(1000, 'z') + "\nnext",
                  {QString(254, 'y'), QString(254, 'z'), "next"}},
        SplitCase{"NulDoesNotEndLineOrFile", QByteArray("a\0b\r\nc\0\r\nd", 10), {"ab", "c", "d"}},
        SplitCase{"Utf8", "M\xc3\xbcnchen\r\n", {QString::fromUtf8("M\xc3\xbcnchen")}},
        SplitCase{"Latin1LineNextToUtf8Line",
                  "M\xfcnchen\r\nM\xc3\xbcnchen\r\n\xe9t\xe9",
                  {QString::fromUtf8("M\xc3\xbcnchen"), QString::fromUtf8("M\xc3\xbcnchen"),
                   QString::fromUtf8("\xc3\xa9t\xc3\xa9")}},
        SplitCase{"TruncatedUtf8IsLatin1", "ab\xc3", {QString::fromLatin1("ab\xc3")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextLines, NoLimitKeepsLongLines) {
    EXPECT_EQ(TextLines::Split(QByteArray(300, 'y') + "\nb"),
              QStringList({QString(300, 'y'), "b"}));
}

TEST(TextLines, WriterEndsEveryLineWithCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.dat");
    const QStringList lines = {"10.0.0.1\tRouter\tYes", "", QString::fromUtf8("M\xc3\xbcnchen")};
    ASSERT_TRUE(TextLines::WriteFile(path, lines));
    EXPECT_EQ(ReadTestFile(path), "10.0.0.1\tRouter\tYes\r\n\r\nM\xc3\xbcnchen\r\n");
    QStringList back;
    ASSERT_TRUE(TextLines::ReadFile(path, back));
    EXPECT_EQ(back, lines);

    ASSERT_TRUE(TextLines::WriteFile(path, {}));
    EXPECT_EQ(ReadTestFile(path), "");
}

TEST(TextLines, ReadMissingFileFails) {
    QTemporaryDir dir;
    QStringList lines{"stale"};
    EXPECT_FALSE(TextLines::ReadFile(dir.filePath("missing"), lines));
}

TEST(TextLines, FailedWriteLeavesOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.dat");
    ASSERT_TRUE(TextLines::WriteFile(path, {"old"}));

    // Parent is a regular file: nothing can be created there.
    EXPECT_FALSE(TextLines::WriteFile(path + "/x", {"new"}));

    // A full disk, simulated by a file-size limit that binds root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = TextLines::WriteFile(path, {QString(4096, 'n')});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadTestFile(path), "old\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.dat"});
}

} // namespace
