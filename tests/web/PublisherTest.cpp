#include "web/Publisher.h"
#include "devices/DeviceGrid.h"
#include "platform/LogModel.h"
#include "web/FtpStep.h"
#include "web/WebPages.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A publisher over a one-device grid, writing beside an executable in a
// temporary folder.
struct PublisherFixture : ::testing::Test {
    QTemporaryDir dir;
    TDeviceGrid grid;
    QStringList logLines{QStringLiteral("DOWN\t10.0.0.1\tnow\tCore")};
    QString exe = dir.path() + QStringLiteral("/velmora");
    TPublisher publisher{{[this]() -> const TDeviceGrid& { return grid; },
                          [this] { return logLines; },
                          [] { return 0xFF0000u; },
                          [] { return 0x0000FFu; },
                          [] { return QStringLiteral("Thu"); },
                          [this] { return exe; },
                          {}}};

    PublisherFixture() {
        grid.SetGridHeader();
        std::array<QString, Col::Count> r;
        r[0] = QStringLiteral("10.0.0.1");
        r[3] = QStringLiteral("Up");
        grid.AppendRow(r);
    }
    QStringList log() const { return publisher.TransferLog().Lines(); }
    // "Create Now", waiting for the run to end.
    void createNow() {
        QSignalSpy ended(&publisher, &TPublisher::RunEnded);
        ASSERT_TRUE(publisher.ButtonWebPageTransferFileClick());
        ASSERT_TRUE(ended.wait(5000));
    }
    // Runs the schedule for `ticks` clock ticks, each run to its end, and
    // counts the runs.
    int tick(int ticks) {
        int runs = 0;
        for (int i = 0; i < ticks; ++i) {
            publisher.TimerTimeTick();
            if (publisher.Running()) {
                QSignalSpy ended(&publisher, &TPublisher::RunEnded);
                EXPECT_TRUE(ended.wait(5000));
                ++runs;
            }
        }
        return runs;
    }
};

} // namespace

TEST_F(PublisherFixture, CreateNowWritesThreePagesWithThreeLines) {
    publisher.TransferLog().Append(QStringLiteral("from the run before"));
    createNow();
    const QString d = dir.path() + QLatin1Char('/');
    EXPECT_EQ(log(), QStringList({d + "index.htm created.  This is the page you should start with.",
                                  d + "velmora.htm created.", d + "velmoralog.htm created."}));
    EXPECT_EQ(readAll(d + "index.htm"), WebPages::IndexPage());
    EXPECT_EQ(readAll(d + "velmora.htm"), WebPages::GridPage(grid, 0xFF0000, 0xFF, "Thu"));
    EXPECT_EQ(readAll(d + "velmoralog.htm"), WebPages::LogPage(logLines, "Thu"));
    EXPECT_FALSE(publisher.Running());
}

// An older copy of a page may lie where it could not be written: the run
// says which pages it could not write.
TEST_F(PublisherFixture, PageThatCannotBeWrittenIsNamed) {
    exe = dir.path() + QStringLiteral("/missing/velmora");
    createNow();
    const QString d = dir.path() + QStringLiteral("/missing/");
    EXPECT_EQ(log(), QStringList({d + "index.htm could not be written.",
                                  d + "velmora.htm could not be written.",
                                  d + "velmoralog.htm could not be written."}));
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/missing")));
}

TEST_F(PublisherFixture, CopyStepWithAndWithoutTrailingSlash) {
    for (const QString& suffix : {QString(), QStringLiteral("/")}) {
        QTemporaryDir target;
        publisher.Boxes().copyToDrive = true;
        publisher.Boxes().drivePath = QStringLiteral("  ") + target.path() + suffix + "  ";
        createNow();
        const QString t = target.path() + QLatin1Char('/');
        EXPECT_EQ(publisher.Boxes().drivePath, target.path() + suffix); // trimmed in place
        EXPECT_EQ(
            log().mid(3),
            QStringList({"Local/Network drive Transfer Initiated on: Thu", "Local Copy Successful",
                         "  - Velmora Index HTML File Copied to " + t + "index.htm",
                         "Local Copy Successful",
                         "  - Velmora Grid HTML File Copied to " + t + "velmora.htm",
                         "Local Copy Successful",
                         "  - Velmora Log HTML File Copied to " + t + "velmoralog.htm"}))
            << suffix.toStdString();
        for (const char* name : {"index.htm", "velmora.htm", "velmoralog.htm"})
            EXPECT_EQ(readAll(t + name), readAll(dir.path() + "/" + name)) << name;
    }
}

TEST_F(PublisherFixture, FailedCopyIsReportedAndTheNextPageStillCopied) {
    QTemporaryDir target;
    // A folder where the index page should go: even root cannot replace it.
    ASSERT_TRUE(QDir(target.path()).mkdir(QStringLiteral("index.htm")));
    publisher.Boxes().copyToDrive = true;
    publisher.Boxes().drivePath = target.path();
    createNow();
    const QString t = target.path() + QLatin1Char('/');
    EXPECT_EQ(
        log().mid(4),
        QStringList({"Local Copy of Velmora Index HTML file Unsuccessful.", "Local Copy Successful",
                     "  - Velmora Grid HTML File Copied to " + t + "velmora.htm",
                     "Local Copy Successful",
                     "  - Velmora Log HTML File Copied to " + t + "velmoralog.htm"}));
    EXPECT_TRUE(QFileInfo(t + "index.htm").isDir());
}

TEST_F(PublisherFixture, CopyStepRefusals) {
    publisher.Boxes().copyToDrive = true;
    publisher.Boxes().drivePath = QStringLiteral("   ");
    createNow();
    EXPECT_EQ(log().mid(3),
              QStringList({"Local/Network drive Transfer Initiated on: Thu",
                           "Local Copy Unsucessful.", "  - Destination drive:path is empty."}));
    EXPECT_EQ(publisher.Boxes().drivePath, QString());

    // No pages written: the step says so and copies nothing.
    QTemporaryDir target;
    exe = dir.path() + QStringLiteral("/missing/velmora");
    publisher.Boxes().drivePath = target.path();
    createNow();
    EXPECT_EQ(log().mid(3), QStringList({"Local/Network drive Transfer Initiated on: Thu",
                                         "Local Copy Unsucessful.",
                                         "  - Velmora Index HTML file could not be written.",
                                         "  - Velmora Grid HTML file could not be written.",
                                         "  - Velmora Log HTML file could not be written."}));
    EXPECT_TRUE(QDir(target.path()).isEmpty());
}

TEST_F(PublisherFixture, ScheduleRunsOnTheIntervalsTickAndCountsAgainAfterTheRun) {
    publisher.Boxes().hours = QStringLiteral("1");
    publisher.Boxes().minutes = QStringLiteral("0");
    EXPECT_EQ(tick(5000), 0) << "not ticked: no run, no count";
    EXPECT_EQ(publisher.PublishCounter(), 0);

    publisher.CheckBoxVelmoraWebPageClick(true);
    EXPECT_EQ(tick(3599), 0);
    EXPECT_EQ(tick(1), 1);
    EXPECT_EQ(publisher.PublishCounter(), 0);
    EXPECT_EQ(tick(3599), 0);
    EXPECT_EQ(tick(1), 1);

    // Clearing and ticking the box again starts the count afresh.
    EXPECT_EQ(tick(1800), 0);
    publisher.CheckBoxVelmoraWebPageClick(false);
    EXPECT_EQ(tick(10), 0);
    publisher.CheckBoxVelmoraWebPageClick(true);
    EXPECT_EQ(tick(3599), 0);
    EXPECT_EQ(tick(1), 1);

    // The boxes are read on every tick; 0 and 0 runs on every tick.
    publisher.Boxes().hours = QStringLiteral("0");
    EXPECT_EQ(tick(3), 3);
    EXPECT_TRUE(QFile::exists(dir.path() + QStringLiteral("/velmora.htm")));
}

// A run waiting on the network holds the schedule: ticks meanwhile neither
// count nor start a run, and the count starts again when the run has ended.
TEST_F(PublisherFixture, TicksDuringARunStartNothing) {
    QTcpServer silent; // accepts and never greets
    ASSERT_TRUE(silent.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    publisher.Ftp().SetTimeOut(1500);
    TWebPageSettings& b = publisher.Boxes();
    b.useFtp = true;
    b.ftpHost = QStringLiteral("127.0.0.1");
    b.ftpPort = QString::number(silent.serverPort());
    b.ftpUser = QStringLiteral("user");
    b.ftpPassword = QStringLiteral("pw");
    b.minutes = QStringLiteral("1");
    b.hours = QStringLiteral("0");
    publisher.CheckBoxVelmoraWebPageClick(true);

    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    for (int i = 0; i < 60; ++i)
        publisher.TimerTimeTick();
    ASSERT_TRUE(publisher.Running());
    for (int i = 0; i < 100; ++i) {
        publisher.TimerTimeTick();
        QTest::qWait(5);
    }
    EXPECT_TRUE(publisher.Running());
    EXPECT_EQ(ended.count(), 0);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(publisher.PublishCounter(), 0);
    EXPECT_EQ(log().mid(log().size() - 2),
              QStringList({"FTP Connect Unsuccessful.",
                           "  - Connection to 127.0.0.1:" + b.ftpPort + " failed."}));
    EXPECT_EQ(tick(59), 0);
    publisher.Ftp().SetTimeOut(100);
    EXPECT_EQ(tick(1), 1);
}
