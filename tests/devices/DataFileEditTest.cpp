// The data-file edits: the address rule, the rewrite under the delete and
// the edit rule, appending, and that a failed write loses nothing.
#include "devices/DataFileEdit.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TEST(DataFileEditTest, AddressRule) {
    const struct {
        const char* address;
        bool valid;
    } cases[] = {
        {"10.1.1.1", true},         {"10.1.1.01", true},
        {"0x0a.1.1.1", true},       {"255.255.255.254", true},
        {"255.255.255.255", false}, {"10.1.1", false},
        {"10.1.1.1.1", false},      {"", false},
        {"10.1.1.256", false},      {"10.1..1", false},
        {"host.example", false},    {"10.1.1.1.", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressRuleHolds(QString::fromLatin1(c.address)), c.valid) << c.address;
}

// Comments, short lines, duplicates, an empty first field, a line of 300
// characters, a hex address in capitals, a Latin-1 line and an LF-only end.
QByteArray fixture() {
    return "; devices 10.0.0.1\r\n"
           "short\r\n"
           "10.0.0.1\talpha\tYes\r\n"
           "10.0.0.2\tbeta\n"
           "10.0.0.1\talpha again\tNo\r\n"
           "\t10.0.0.9\tno address\r\n"
           "10.0.0.3\t" +
           QByteArray(291, 'x') +
           "\r\n"
           "0XA.0.0.5\thex\r\n"
           "10.0.0.10\tK\xf6ln\r\n"
           "10.0.0.4\tgone\r\n";
}

struct RewriteTest : ::testing::Test {
    QTemporaryDir dir;
    QString dat() const { return dir.filePath("net.dat"); }
    QStringList others() const {
        QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll("net.dat");
        return names;
    }
};

TEST_F(RewriteTest, DeleteRuleDropsTheLinesOfThatDeviceOnly) {
    const QByteArray kept = "; devices 10.0.0.1\r\n"
                            "short\r\n";
    WriteTestFile(dat(), fixture());
    ASSERT_TRUE(RewriteDataFile(dat(), TDeleteRule{{"10.0.0.1", "alpha", {}}}));
    QByteArray expected = fixture();
    expected.replace("10.0.0.1\talpha\tYes\r\n", "").replace("beta\n", "beta\r\n");
    EXPECT_EQ(ReadTestFile(dat()), expected) << "the line of another location stays";
    // A line longer than the load reads is matched as the load cut it.
    ASSERT_TRUE(RewriteDataFile(dat(), TDeleteRule{{"10.0.0.3", QString(245, 'x'), {}}}));
    EXPECT_FALSE(ReadTestFile(dat()).contains("10.0.0.3"));
    // The address as written: 0xa.0.0.5 is not the line's text.
    ASSERT_TRUE(RewriteDataFile(dat(), TDeleteRule{{"0xa.0.0.5", "hex", {}}}));
    EXPECT_TRUE(ReadTestFile(dat()).contains("0XA.0.0.5\thex\r\n"));
    EXPECT_TRUE(ReadTestFile(dat()).startsWith(kept));
    EXPECT_TRUE(others().isEmpty()) << others().join(' ').toStdString();
}

// Rows alike in address and location keep a line each, the one with their
// flag first.
TEST_F(RewriteTest, LikeRowsKeepALineEach) {
    const QByteArray three = "10.0.0.1\tsame\r\n"
                             "10.0.0.1\tsame\tYes\r\n"
                             "10.0.0.1\tsame\tyes\r\n";
    const struct {
        QStringList others;
        QByteArray after;
    } cases[] = {
        {{}, ""},
        {{"No"}, "10.0.0.1\tsame\r\n"},
        {{"Yes"}, "10.0.0.1\tsame\tYes\r\n"},
        {{"Yes", "Yes"}, "10.0.0.1\tsame\tYes\r\n10.0.0.1\tsame\tyes\r\n"},
        {{"Yes", "Yes", "Yes"}, three},
    };
    for (const auto& c : cases) {
        WriteTestFile(dat(), three);
        ASSERT_TRUE(RewriteDataFile(dat(), TDeleteRule{{"10.0.0.1", "same", c.others}}));
        EXPECT_EQ(ReadTestFile(dat()), c.after) << c.others.join(',').toStdString();
    }
    WriteTestFile(dat(), three);
    ASSERT_TRUE(RewriteDataFile(
        dat(), TEditRule{{"10.0.0.1", "same", {"No", "Yes"}}, "10.0.0.2", "moved", "No"}));
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tsame\r\n10.0.0.1\tsame\tYes\r\n"
                                   "10.0.0.2\tmoved\tNo\r\n");
}

TEST_F(RewriteTest, EditRuleReplacesTheLinesOfThatDeviceOnly) {
    WriteTestFile(dat(), fixture());
    ASSERT_TRUE(
        RewriteDataFile(dat(), TEditRule{{"10.0.0.1", "alpha", {}}, "10.0.0.11", "renamed", "No"}));
    const QByteArray expected = "; devices 10.0.0.1\r\n"
                                "short\r\n"
                                "10.0.0.11\trenamed\tNo\r\n"
                                "10.0.0.2\tbeta\r\n"
                                "10.0.0.1\talpha again\tNo\r\n"
                                "\t10.0.0.9\tno address\r\n"
                                "10.0.0.3\t" +
                                QByteArray(291, 'x') +
                                "\r\n"
                                "0XA.0.0.5\thex\r\n"
                                "10.0.0.10\tK\xf6ln\r\n"
                                "10.0.0.4\tgone\r\n";
    EXPECT_EQ(ReadTestFile(dat()), expected);
    // Rewritten again, the file keeps its lines.
    ASSERT_TRUE(RewriteDataFile(
        dat(), TEditRule{{"10.0.0.11", "renamed", {}}, "10.0.0.11", "renamed", "No"}));
    EXPECT_EQ(ReadTestFile(dat()), expected);
    EXPECT_TRUE(others().isEmpty());
}

// The file holds a Latin-1 line: the new line is Latin-1 too, unless it
// holds a character Latin-1 lacks.
TEST_F(RewriteTest, NewLinesInTheFilesEncoding) {
    const QByteArray latin1 = "10.0.0.1\tK\xf6ln\r\n10.0.0.2\tplain\r\n";
    WriteTestFile(dat(), latin1);
    ASSERT_TRUE(RewriteDataFile(
        dat(), TEditRule{{"10.0.0.2", "plain", {}}, "10.0.0.2", "D\u00fcsseldorf", "No"}));
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tK\xf6ln\r\n10.0.0.2\tD\xfcsseldorf\tNo\r\n");
    ASSERT_TRUE(AppendDataFileLines(dat(), {"10.0.0.3\t\u00c5rhus\tNo", "10.0.0.4\t\u20ac\tNo"}));
    EXPECT_TRUE(ReadTestFile(dat()).endsWith("10.0.0.3\t\xc5rhus\tNo\r\n"
                                             "10.0.0.4\t\xe2\x82\xac\tNo\r\n"));
    const QByteArray utf8 = "10.0.0.1\tK\xc3\xb6ln\r\n";
    WriteTestFile(dat(), utf8);
    ASSERT_TRUE(AppendDataFileLines(dat(), {"10.0.0.3\t\u00c5rhus\tNo"}));
    EXPECT_EQ(ReadTestFile(dat()), utf8 + "10.0.0.3\t\xc3\x85rhus\tNo\r\n");
}

TEST_F(RewriteTest, MissingDataFileIsNotCreated) {
    EXPECT_FALSE(RewriteDataFile(dat(), TDeleteRule{{"10.0.0.1", "alpha", {}}}));
    EXPECT_FALSE(QFile::exists(dat()));
    EXPECT_TRUE(others().isEmpty());
}

TEST_F(RewriteTest, AppendAddsALineEndAfterAnUnendedLastLine) {
    const struct {
        QByteArray before, after;
    } cases[] = {
        {"10.0.0.1\talpha", "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tNo\r\n"},
        {"10.0.0.1\talpha\r\n", "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tNo\r\n"},
        {"10.0.0.1\talpha\n", "10.0.0.1\talpha\n10.0.0.2\tbeta\tNo\r\n"},
        {"", "10.0.0.2\tbeta\tNo\r\n"},
        // Nothing after a Ctrl-Z is read: the device goes before it.
        {"10.0.0.1\talpha\x1a", "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tNo\r\n\x1a"},
    };
    for (const auto& c : cases) {
        WriteTestFile(dat(), c.before);
        ASSERT_TRUE(AppendDataFileLines(dat(), {"10.0.0.2\tbeta\tNo"}));
        EXPECT_EQ(ReadTestFile(dat()), c.after) << c.before.toStdString();
    }
    QFile::remove(dat());
    ASSERT_TRUE(AppendDataFileLines(dat(), {"10.0.0.2\tbeta\tNo", "10.0.0.3\tgamma\tYes"}));
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.2\tbeta\tNo\r\n10.0.0.3\tgamma\tYes\r\n");
    EXPECT_TRUE(others().isEmpty());
}

// A folder nobody may write: chmod does not stop root, a read-only mount
// does.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString& path) : path(path.toLocal8Bit()) {
        if (::geteuid() == 0) {
            mounted = ::mount("velmora-test", this->path.constData(), "tmpfs", 0, "size=1m") == 0;
            if (!mounted)
                return;
        }
        ok = true;
    }
    // Makes it read-only once the data file is in place.
    bool seal() {
        if (mounted)
            return ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) ==
                   0;
        return ::chmod(path.constData(), 0555) == 0;
    }
    ~TReadOnlyFolder() {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
        else
            ::chmod(path.constData(), 0755);
    }
    bool ok = false;

private:
    QByteArray path;
    bool mounted = false;
};

TEST_F(RewriteTest, UnwritableFolderLeavesTheDataFileAsItWas) {
    TReadOnlyFolder folder(dir.path());
    if (!folder.ok)
        GTEST_SKIP() << "no tmpfs could be mounted";
    WriteTestFile(dat(), fixture());
    ASSERT_TRUE(folder.seal());
    EXPECT_FALSE(RewriteDataFile(dat(), TDeleteRule{{"10.0.0.1", "alpha", {}}}));
    EXPECT_FALSE(
        RewriteDataFile(dat(), TEditRule{{"10.0.0.1", "alpha", {}}, "10.0.0.11", "renamed", "No"}));
    EXPECT_FALSE(AppendDataFileLines(dat(), {"10.0.0.2\tbeta\tNo"}));
    EXPECT_EQ(ReadTestFile(dat()), fixture());
    EXPECT_TRUE(others().isEmpty()) << others().join(' ').toStdString();
}

// The file size limit makes every write past it fail, as a full disk does.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit l = saved;
        l.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }

private:
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
};

TEST_F(RewriteTest, WriteFailingPartWayLeavesTheDataFileAsItWas) {
    // Enough lines that the new contents need several writes' worth.
    QByteArray big;
    for (int i = 0; i < 2000; ++i)
        big += "10.0.0.1\tsite " + QByteArray::number(i) + "\r\n";
    WriteTestFile(dat(), big);
    {
        TFileSizeLimit limit(4096);
        EXPECT_FALSE(
            RewriteDataFile(dat(), TEditRule{{"10.0.0.1", "site 0", {}}, "10.0.0.11", "x", "No"}));
        EXPECT_FALSE(AppendDataFileLines(dat(), {"10.0.0.2\tbeta\tNo"}));
    }
    EXPECT_EQ(ReadTestFile(dat()), big);
    // Just under the limit: the replacement cannot be written, and the
    // append in place that follows gets part of its line on the disk
    // only; that part is taken back.
    const QByteArray small(4000, ';');
    WriteTestFile(dat(), small + "\r\n");
    {
        TFileSizeLimit limit(4096);
        EXPECT_FALSE(AppendDataFileLines(dat(), {"10.0.0.2\t" + QString(200, 'b')}));
    }
    EXPECT_EQ(ReadTestFile(dat()), small + "\r\n");
    EXPECT_TRUE(others().isEmpty()) << others().join(' ').toStdString();
}

TEST_F(RewriteTest, FullFileSystemLeavesTheDataFileAsItWas) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QString mountPoint = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("velmora-test", mountPoint.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no tmpfs could be mounted";
    struct Unmount {
        QByteArray p;
        ~Unmount() { ::umount2(p.constData(), MNT_DETACH); }
    } unmount{mountPoint.toLocal8Bit()};
    const QString data = mountPoint + "/net.dat";
    QByteArray content;
    while (content.size() < 24 * 1024)
        content += "10.0.0.1\tsite " + QByteArray::number(content.size()) + "\r\n";
    WriteTestFile(data, content);
    // Fill what is left, so the new contents cannot be written.
    {
        QFile filler(mountPoint + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }
    EXPECT_FALSE(
        RewriteDataFile(data, TEditRule{{"10.0.0.1", "site 0", {}}, "10.0.0.11", "x", "No"}));
    EXPECT_EQ(ReadTestFile(data), content);
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"filler", "net.dat"}));
}

} // namespace
