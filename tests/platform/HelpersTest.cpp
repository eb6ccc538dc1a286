#include "TestFiles.h"
#include "platform/Addresses.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "platform/Launcher.h"
#include "platform/ProgramFolder.h"
#include "platform/TextOrder.h"
#include "platform/TextRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

struct SplitCase {
    QString text;
    QString separator;
    QStringList pieces;
};

class SplitTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, Pieces) {
    EXPECT_EQ(SplitText(GetParam().text, GetParam().separator), GetParam().pieces)
        << "text: " << GetParam().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTextTest,
    ::testing::Values(SplitCase{"", "\t", {}}, SplitCase{"a", "\t", {"a"}},
                      SplitCase{"a\tb", "\t", {"a", "b"}},
                      SplitCase{"a\t\tb", "\t", {"a", "", "b"}}, SplitCase{"a\t", "\t", {"a"}},
                      SplitCase{"a\t\t", "\t", {"a", ""}}, SplitCase{"\ta", "\t", {"", "a"}},
                      SplitCase{"\t", "\t", {""}}, SplitCase{" a \t b ", "\t", {" a ", " b "}},
                      SplitCase{"1.2.3.4", ".", {"1", "2", "3", "4"}},
                      SplitCase{"1.2.3.", ".", {"1", "2", "3"}},
                      SplitCase{"user@host", "@", {"user", "host"}},
                      SplitCase{"a::b::", "::", {"a", "b"}}, SplitCase{"a:b", "::", {"a:b"}}));

struct RecentCase {
    const char* name;
    QStringList before;
    QString text;
    int maximum;
    bool changed;
    QStringList after;
};

class RecentListTest : public ::testing::TestWithParam<RecentCase> {};

TEST_P(RecentListTest, Rule) {
    const RecentCase& c = GetParam();
    QStringList list = c.before;
    EXPECT_EQ(AddToRecentList(list, c.text, c.maximum), c.changed);
    EXPECT_EQ(list, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecentListTest,
    ::testing::Values(
        RecentCase{"EmptyList", {}, "a", 10, true, {"a"}},
        RecentCase{"AppendsWhileRoom", {"a", "b"}, "c", 3, true, {"a", "b", "c"}},
        RecentCase{"ExactMatchChangesNothing", {"a", "b", "c"}, "b", 3, false, {"a", "b", "c"}},
        RecentCase{"MatchIsCaseSensitive", {"a", "b"}, "B", 10, true, {"a", "b", "B"}},
        RecentCase{"FullListShiftsDown", {"a", "b", "c"}, "d", 3, true, {"d", "a", "b"}},
        RecentCase{"FullOfTen",
                   {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"},
                   "new",
                   10,
                   true,
                   {"new", "0", "1", "2", "3", "4", "5", "6", "7", "8"}},
        RecentCase{"EmptyTextIsAnEntryToo", {"a"}, "", 10, true, {"a", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DottedText, NetworkOrderBytes) {
    EXPECT_EQ(DottedText(htonl(0x0A000001)), "10.0.0.1");
    EXPECT_EQ(DottedText(htonl(0xC0A8000A)), "192.168.0.10");
    EXPECT_EQ(DottedText(0), "0.0.0.0");
    EXPECT_EQ(DottedText(0xFFFFFFFF), "255.255.255.255");
}

struct AddrCase {
    QString text;
    const char* dotted; // nullptr: refused
};

class InetAddrTest : public ::testing::TestWithParam<AddrCase> {};

TEST_P(InetAddrTest, Rule) {
    const AddrCase& c = GetParam();
    const auto a = InetAddr(c.text);
    if (!c.dotted) {
        EXPECT_FALSE(a.has_value())
            << c.text.toStdString() << " -> " << DottedText(*a).toStdString();
        EXPECT_FALSE(IsValidAddress(c.text));
        return;
    }
    ASSERT_TRUE(a.has_value()) << c.text.toStdString();
    EXPECT_EQ(DottedText(*a), c.dotted) << c.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InetAddrTest,
    ::testing::Values(AddrCase{"10.1.2.3", "10.1.2.3"}, AddrCase{"0.0.0.0", "0.0.0.0"},
                      AddrCase{"255.255.255.254", "255.255.255.254"},
                      AddrCase{"127.1", "127.0.0.1"}, AddrCase{"10.1.2", "10.1.0.2"},
                      AddrCase{"10.65536", "10.1.0.0"}, AddrCase{"16777217", "1.0.0.1"},
                      AddrCase{"010.0.0.012", "8.0.0.10"}, AddrCase{"0x7f.1", "127.0.0.1"},
                      AddrCase{"0XC0A80001", "192.168.0.1"}, AddrCase{"255.255.255.255", nullptr},
                      AddrCase{"0xffffffff", nullptr}, AddrCase{"4294967295", nullptr},
                      AddrCase{"256.1.1.1", nullptr}, AddrCase{"1.2.3.256", nullptr},
                      AddrCase{"10.16777216", nullptr}, AddrCase{"1.2.3.4.5", nullptr},
                      AddrCase{"1.2.3.", nullptr}, AddrCase{"1..2.3", nullptr},
                      AddrCase{"1.2.3.08", nullptr}, AddrCase{"", nullptr},
                      AddrCase{"host", nullptr}, AddrCase{" 1.2.3.4", nullptr},
                      AddrCase{"-1", nullptr},
                      AddrCase{QString("1.2.3.4") + QChar(0) + "junk", nullptr},
                      AddrCase{QString::fromUtf8("\xef\xbc\x91.2.3.4"), nullptr}));

TEST(ClockText, PatternInEnglishLocale) {
    TLocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(ClockText(QDateTime(QDate(2006, 9, 5), QTime(19, 33, 31))),
              "Tue Sep 05, 2006 19:33:31");
    EXPECT_EQ(ClockText(QDateTime(QDate(2006, 1, 1), QTime(0, 5, 9))), "Sun Jan 01, 2006 00:05:09");
    EXPECT_EQ(ClockText(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))),
              "Tue Dec 31, 2024 23:59:59");
}

TEST(SinceKey, RoundTripsToTheSecondAndKeepsOrder) {
    const QList<QDateTime> moments = {
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)),
        QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)), // midnight
        QDateTime(QDate(2006, 9, 5), QTime(9, 3, 1)),
        QDateTime(QDate(2006, 9, 5), QTime(19, 33, 31)),
        QDateTime(QDate(2024, 2, 29), QTime(12, 0, 0)),
        QDateTime(QDate(2024, 2, 29), QTime(12, 0, 1)),
    };
    qint64 previous = std::numeric_limits<qint64>::min();
    qint64 previousOrder = std::numeric_limits<qint64>::min();
    for (const QDateTime& m : moments) {
        const QString key = SinceKey(m);
        const auto back = ParseSinceKey(key);
        ASSERT_TRUE(back.has_value()) << key.toStdString();
        EXPECT_EQ(*back, m) << key.toStdString();
        EXPECT_GT(back->toSecsSinceEpoch(), previous) << key.toStdString();
        previous = back->toSecsSinceEpoch();
        // The sort's number agrees, also for a key in ISO form.
        const auto order = SinceKeyOrder(key);
        ASSERT_TRUE(order.has_value()) << key.toStdString();
        EXPECT_GT(*order, previousOrder) << key.toStdString();
        EXPECT_EQ(SinceKeyOrder(m.toString(Qt::ISODate)), order) << key.toStdString();
        previousOrder = *order;
    }
    EXPECT_FALSE(SinceKeyOrder("2006-02-30 10:00:00").has_value());
    EXPECT_FALSE(SinceKeyOrder("2006-13-05 10:00:00").has_value());
    EXPECT_FALSE(SinceKeyOrder("2006-09-05 1a:00:00").has_value());
    EXPECT_FALSE(SinceKeyOrder("").has_value());
    // Milliseconds are not part of the key.
    const QDateTime withMs(QDate(2006, 9, 5), QTime(19, 33, 31, 999));
    EXPECT_EQ(ParseSinceKey(SinceKey(withMs)), QDateTime(QDate(2006, 9, 5), QTime(19, 33, 31)));
    EXPECT_FALSE(ParseSinceKey("").has_value());
    EXPECT_FALSE(ParseSinceKey("Tue Sep 05, 2006").has_value());
}

TEST(TextOrder, CaseInsensitiveInCAndEnglishLocales) {
    for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        TLocaleScope scope(l);
        const TTextOrder order;
        SCOPED_TRACE(l.name().toStdString());
        EXPECT_LT(order.Compare("alpha", "Gamma"), 0);
        EXPECT_GT(order.Compare("B", "a"), 0);
        EXPECT_EQ(order.Compare("Router", "rOUTER"), 0);
        EXPECT_LT(order.Key("alpha").compare(order.Key("Gamma")), 0);
        EXPECT_GT(order.Key("B").compare(order.Key("a")), 0);
        EXPECT_LT(order.Key("Gamma").compare(order.Key("zulu")), 0);
        EXPECT_EQ(order.Key("Router").compare(order.Key("rOUTER")), 0);
    }
}

TEST(ProgramFolder, EndsInExactlyOneSlash) {
    SetProgramFolderForTesting(QString());
    const QString real = ProgramFolder();
    EXPECT_EQ(real, QCoreApplication::applicationDirPath() + "/");
    EXPECT_FALSE(real.endsWith("//"));

    for (const QString& given :
         {QString("/opt/velmora"), QString("/opt/velmora/"), QString("/opt/velmora//")}) {
        SetProgramFolderForTesting(given);
        EXPECT_EQ(ProgramFolder(), "/opt/velmora/") << given.toStdString();
    }
    SetProgramFolderForTesting("/");
    EXPECT_EQ(ProgramFolder(), "/");
    SetProgramFolderForTesting(QString());
    EXPECT_EQ(ProgramFolder(), real);
}

TEST(FindFileAnyCase, MatchesWhateverTheCase) {
    QTemporaryDir dir;
    QFile f(dir.filePath("VELMORA.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(FindFileAnyCase(dir.path(), "velmora.ini"), dir.filePath("VELMORA.INI"));
    EXPECT_EQ(FindFileAnyCase(dir.path(), "VELMORA.INI"), dir.filePath("VELMORA.INI"));
    EXPECT_EQ(FindFileAnyCase(dir.path(), "velmora.hlp"), dir.filePath("velmora.hlp"));
    // An exact match wins over another spelling.
    QFile exact(dir.filePath("velmora.ini"));
    ASSERT_TRUE(exact.open(QIODevice::WriteOnly));
    exact.close();
    EXPECT_EQ(FindFileAnyCase(dir.path(), "velmora.ini"), dir.filePath("velmora.ini"));
    // A folder of that name is not the file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Velmora.log"));
    EXPECT_EQ(FindFileAnyCase(dir.path(), "velmora.log"), dir.filePath("velmora.log"));
}

TEST(Clock, InjectedClockIsReadEverywhere) {
    const QDateTime start(QDate(2006, 9, 5), QTime(19, 33, 31));
    TManualClock manual(start);
    SetClock(&manual);
    EXPECT_EQ(Clock().now(), start);
    manual.advanceSecs(300);
    EXPECT_EQ(Clock().now(), start.addSecs(300));
    SetClock(nullptr);
    EXPECT_LE(qAbs(Clock().now().secsTo(QDateTime::currentDateTime())), 5);
}

// A stand-in editor first on PATH records the arguments it was started with.
class LauncherTest : public ::testing::Test {
protected:
    // Beside the test binary: /tmp may be mounted without exec rights.
    QTemporaryDir dir{QCoreApplication::applicationDirPath() + "/launcher-XXXXXX"};
    QByteArray savedPath = qgetenv("PATH");

    void SetUp() override {
        QFile script(dir.filePath("gnome-text-editor"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "out=$(dirname \"$0\")/args\n"
                     "printf '%s\\n' \"$#\" \"$@\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner));
        qputenv("PATH", dir.path().toLocal8Bit() + ':' + savedPath);
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    QByteArray recordedArgs() {
        QFile f(dir.filePath("args"));
        QElapsedTimer t;
        t.start();
        while (!f.exists() && t.elapsed() < 5000)
            QThread::msleep(20);
        if (!f.open(QIODevice::ReadOnly))
            return "<editor not started>";
        return f.readAll();
    }
};

TEST_F(LauncherTest, EditorGetsThePathAsOneArgument) {
    TDesktopLauncher launcher;
    EXPECT_TRUE(launcher.OpenTextEditor("/home/op/my devices.dat"));
    EXPECT_EQ(recordedArgs(), "1\n/home/op/my devices.dat\n");
}

TEST_F(LauncherTest, EditorWithoutPathOpensANewDocument) {
    TDesktopLauncher launcher;
    EXPECT_TRUE(launcher.OpenTextEditor(QString()));
    EXPECT_EQ(recordedArgs(), "0\n");
}

TEST(Launcher, MissingHelpFileIsReported) {
    QTemporaryDir dir;
    TDesktopLauncher launcher;
    EXPECT_FALSE(launcher.OpenHelp(dir.filePath("velmora.hlp"), 0));
}

} // namespace
