#include "platform/TextLines.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

// A file bigger than the blocks it is read in: a CR LF split between two
// blocks, a line longer than a block, odd bytes past the first block, and a
// Ctrl-Z after several blocks. Read whole or line by line, it gives the lines
// it was made of.
TEST(TextLines, LargeFileReadsAcrossBlocks) {
    constexpr int kBlock = 256 * 1024;
    QByteArray bytes;
    QStringList expected;
    const auto add = [&](const QByteArray& raw, const char* end, const QString& line) {
        bytes += raw;
        bytes += end;
        expected << line;
    };
    add(QByteArray(kBlock - 12, 'a'), "\n", QString(254, 'a'));
    add("0123456789", "\r\n", "0123456789"); // CR ends the first block, LF starts the next
    ASSERT_EQ(bytes.at(kBlock - 1), '\r');
    for (int i = 0; bytes.size() < 2 * kBlock - 40; ++i)
        add(QByteArray::number(i), i % 2 ? "\r\n" : "\n", QString::number(i));
    add(QByteArray(3 * kBlock, 'b'), "\n", QString(254, 'b'));
    add(QByteArray("n\0ul", 5), "\r\n", "nul");
    add("M\xfcnchen", "\r\n", QString::fromUtf8("M\xc3\xbcnchen"));
    add("K\xc3\xb6ln", "\r\n", QString::fromUtf8("K\xc3\xb6ln"));
    add("last\r", "", "last");
    bytes += "\x1a" + QByteArray(kBlock, 'z') + "\r\nafter\r\n";

    QTemporaryDir dir;
    const QString path = dir.filePath("big.dat");
    WriteTestFile(path, bytes);
    QStringList lines;
    ASSERT_TRUE(TextLines::ReadFile(path, lines, TextLines::kMaxDataLine));
    EXPECT_EQ(lines, expected);
    QStringList taken;
    ASSERT_TRUE(TextLines::ForEachLine(path, TextLines::kMaxDataLine,
                                       [&](QString&& line) { taken << line; }));
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(TextLines::Split(bytes, TextLines::kMaxDataLine), expected);
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
    EXPECT_EQ(lines, QStringList{"stale"});
    EXPECT_FALSE(
        TextLines::ForEachLine(dir.filePath("missing"), 0, [&](QString&& line) { lines << line; }));
    EXPECT_EQ(lines, QStringList{"stale"});
}

TEST(TextLines, FailedWriteLeavesOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.dat");
    ASSERT_TRUE(TextLines::WriteFile(path, {"old"}));

    // Parent is a regular file: nothing can be created there.
    EXPECT_FALSE(TextLines::WriteFile(path + "/x", {"new"}));

    bool written = true;
    {
        TFileSizeLimit full(1024);
        ASSERT_TRUE(full.Set());
        written = TextLines::WriteFile(path, {QString(4096, 'n')});
    }

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadTestFile(path), "old\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.dat"});
}

} // namespace
