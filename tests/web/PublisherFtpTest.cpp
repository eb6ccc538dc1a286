// Whole publication runs ("Create Now") against scripted FTP peers: pages
// that cannot be rewritten, a page path taken by a folder, and a server
// slow enough to hold a run for minutes.
#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "devices/DeviceGrid.h"
#include "platform/LogModel.h"
#include "web/Publisher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace {

// Root passes every permission bit, so as root this thread's file calls are
// checked as `nobody` for the guard's life: a read-only folder is read-only.
class TFileAccessAsNobody {
public:
    TFileAccessAsNobody() {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
            active = true;
        }
    }
    ~TFileAccessAsNobody() {
        if (active) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }

private:
    bool active = false;
};

struct PublisherFtpTest : ::testing::Test {
    QTemporaryDir dir;
    QString pages = dir.filePath("pages");
    QString copies = dir.filePath("copies");
    TDeviceGrid grid;
    QString clock = QStringLiteral("Fri Dec 11, 2026 10:00:00");
    TFtpPrompts prompts;
    QStringList boxes; // the error boxes shown, "[caption: text]"
    TPublisher publisher{{[this]() -> const TDeviceGrid& { return grid; },
                          [] { return QStringList{QStringLiteral("DOWN\t10.0.0.1\tnow\tCore")}; },
                          [] { return 0xFF0000u; },
                          [] { return 0x0000FFu; },
                          [this] { return clock; },
                          [this] { return pages + "/velmora"; },
                          {}}};
    std::optional<QString> failed; // RunFailed's text

    void SetUp() override {
        prompts.log = &boxes;
        grid.SetGridHeader();
        // Readable and writable for `nobody` too, but for what a test locks.
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadOther |
                                                          QFile::ExeOther));
        ASSERT_TRUE(QDir().mkpath(pages));
        ASSERT_TRUE(QDir().mkpath(copies));
        ASSERT_TRUE(QFile::setPermissions(copies, QFile::Permissions(0x7777)));
        QObject::connect(&publisher, &TPublisher::RunFailed,
                         [this](const QString& text) { failed = text; });
        TWebPageSettings& b = publisher.Boxes();
        b.useFtp = true;
        b.ftpHost = QStringLiteral("127.0.0.1");
        b.ftpUser = QStringLiteral("velmora");
        b.ftpPassword = QStringLiteral("s3cret");
        b.copyToDrive = true;
        b.drivePath = copies;
    }
    void use(const TScriptedFtpServer& server) {
        ASSERT_TRUE(server.Listening());
        publisher.Boxes().ftpPort = QString::number(server.Port());
    }
    QStringList log() const { return publisher.TransferLog().Lines(); }
    void createNow(int waitMs = 10000) {
        QSignalSpy ended(&publisher, &TPublisher::RunEnded);
        failed.reset();
        ASSERT_TRUE(publisher.ButtonWebPageTransferFileClick());
        ASSERT_TRUE(ended.wait(waitMs));
    }
    QString page(const char* name) const { return pages + "/" + name; }
};

// The pages' folder turns read-only after a first run: the next run says
// which pages it could not write and publishes none of the old ones.
TEST_F(PublisherFtpTest, PagesThatCannotBeRewrittenAreNotPublished) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    use(server);
    createNow();
    ASSERT_EQ(server.Files().size(), 3);
    ASSERT_EQ(QDir(copies).entryList(QDir::Files).size(), 3);
    const QByteArray oldGrid = ReadTestFile(page("velmora.htm"));
    for (const QString& f : QDir(copies).entryList(QDir::Files))
        ASSERT_TRUE(QFile::remove(copies + "/" + f));

    ASSERT_TRUE(QFile::setPermissions(pages, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                 QFile::ExeOther));
    clock = QStringLiteral("Fri Dec 11, 2026 10:05:00");
    {
        TFileAccessAsNobody nobody;
        createNow();
    }
    EXPECT_EQ(
        log(),
        QStringList({page("index.htm") + " could not be written.",
                     page("velmora.htm") + " could not be written.",
                     page("velmoralog.htm") + " could not be written.",
                     "FTP Transfer Initiated on: " + clock, "FTP Transfer Unsuccessful.",
                     "  - Velmora Index HTML File could not be written.",
                     "  - Velmora Grid HTML File could not be written.",
                     "  - Velmora Log HTML File could not be written.",
                     "Local/Network drive Transfer Initiated on: " + clock,
                     "Local Copy Unsucessful.", "  - Velmora Index HTML file could not be written.",
                     "  - Velmora Grid HTML file could not be written.",
                     "  - Velmora Log HTML file could not be written."}));
    EXPECT_EQ(server.Connections(), 1) << "the second run reached the server";
    EXPECT_EQ(server.Files().size(), 3);
    EXPECT_EQ(QDir(copies).entryList(QDir::Files), QStringList{});
    EXPECT_EQ(ReadTestFile(page("velmora.htm")), oldGrid);
    EXPECT_FALSE(failed);
}

// A folder where the grid page goes: the page cannot be written, and both
// steps leave the run's pages out by the same rule and the same words.
TEST_F(PublisherFtpTest, BothStepsTakeAPageByOneRule) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    use(server);
    ASSERT_TRUE(QDir(pages).mkdir("velmora.htm"));
    createNow();
    EXPECT_EQ(log(),
              QStringList(
                  {page("index.htm") + " created.  This is the page you should start with.",
                   page("velmora.htm") + " could not be written.",
                   page("velmoralog.htm") + " created.", "FTP Transfer Initiated on: " + clock,
                   "FTP Transfer Unsuccessful.", "  - Velmora Grid HTML File could not be written.",
                   "Local/Network drive Transfer Initiated on: " + clock, "Local Copy Unsucessful.",
                   "  - Velmora Grid HTML file could not be written."}));
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(QDir(copies).entryList(QDir::Files), QStringList{});

    // Written, then gone before the steps look (as a folder, here): both
    // steps call the page missing.
    ASSERT_TRUE(QDir(pages).rmdir("velmora.htm"));
    QTcpServer silent; // accepts and never greets: time for the page to go
    ASSERT_TRUE(silent.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    publisher.Boxes().ftpPort = QString::number(silent.serverPort());
    publisher.Ftp().SetTimeOut(300);
    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    ASSERT_TRUE(publisher.ButtonWebPageTransferFileClick());
    ASSERT_TRUE(QFile::remove(page("velmoralog.htm")));
    ASSERT_TRUE(QDir(pages).mkdir("velmoralog.htm"));
    ASSERT_TRUE(ended.wait(5000));
    const QStringList l = log();
    ASSERT_GE(l.size(), 3);
    EXPECT_EQ(l.mid(l.size() - 3),
              QStringList({"Local/Network drive Transfer Initiated on: " + clock,
                           "Local Copy Unsucessful.",
                           "  - Velmora Index/Grid/Log HTML files do not "
                           "exist."}));
    EXPECT_EQ(QDir(copies).entryList(QDir::Files), QStringList{});
}

// A server that answers every command just inside the bound of each wait
// cannot hold the run past the bound of the whole dialogue: the run ends
// with "FTP Time-out", its error box, and no copy step. (The bounds are
// scaled down: 1 s a wait, replies after 0.5 s, 2.5 s the whole; the 15
// replies of a full run would take 7.5 s.)
TEST_F(PublisherFtpTest, ASlowServerCannotHoldTheRunPastItsBound) {
    TScriptedFtpServer::Script script;
    script.replyDelayMs = 500;
    TScriptedFtpServer server("127.0.0.1", 0, script);
    use(server);
    publisher.Ftp().SetTimeOut(1000);
    publisher.Ftp().SetRunBound(2500);
    QElapsedTimer t;
    t.start();
    createNow(20000);
    const qint64 took = t.elapsed();

    const QString timeOut = QStringLiteral("FTP transfer timed out after 2500 ms");
    EXPECT_EQ(failed, timeOut);
    EXPECT_GE(took, 2300); // a coarse timer may fire 5 % early
    EXPECT_LT(took, 4000) << "the run outlasted its bound";
    const QStringList l = log();
    ASSERT_GE(l.size(), 6);
    EXPECT_EQ(l.mid(3, 2), QStringList({"FTP Transfer Initiated on: " + clock,
                                        "FTP Connected to Host: 127.0.0.1"}));
    // The wait in progress is given up: the connection goes, then the line.
    const qsizetype at = l.indexOf("FTP Time-out: " + timeOut + ".");
    ASSERT_GT(at, 4) << l.join('\n').toStdString();
    EXPECT_EQ(l[at - 1], "FTP Disconnected from Host: 127.0.0.1");
    EXPECT_TRUE(l.mid(at + 1).isEmpty() || l.mid(at + 1) == QStringList{"Failure: cmdUpload"})
        << l.join('\n').toStdString();
    EXPECT_FALSE(l.contains("Local/Network drive Transfer Initiated on: " + clock));
    EXPECT_LT(server.Files().size(), 3);
    EXPECT_EQ(boxes, QStringList{"[Velmora: " + timeOut + "]"});
}

// While a run's error box is open, neither a later run's error nor its
// "FTP Login Failure" opens another: both are logged, and a refused login
// does not wait for a box that is not shown.
TEST_F(PublisherFtpTest, AnOpenErrorBoxKeepsLaterBoxesInTheLog) {
    TScriptedFtpServer::Script refusing;
    refusing.replies["STOR"] = "553 Could not create file\r\n";
    TScriptedFtpServer server("127.0.0.1", 0, refusing);
    use(server);
    publisher.Boxes().copyToDrive = false;
    prompts.hold = true;
    createNow();
    EXPECT_EQ(boxes, QStringList{"[Velmora: 553 Could not create file]"});

    createNow();
    EXPECT_EQ(failed, QStringLiteral("553 Could not create file"));
    EXPECT_EQ(log().last(), "553 Could not create file  (not shown: an error box is open)");

    TScriptedFtpServer::Script noLogin;
    noLogin.replies["PASS"] = "530 Login incorrect\r\n";
    TScriptedFtpServer refusingLogin("127.0.0.1", 0, noLogin);
    use(refusingLogin);
    createNow();
    const QStringList l = log();
    ASSERT_GE(l.size(), 3);
    EXPECT_EQ(
        l.mid(l.size() - 3),
        QStringList({"FTP Login Failure  (not shown: an error box is open)",
                     "FTP Connect Unsuccessful.",
                     "  - Connection to 127.0.0.1:" + publisher.Boxes().ftpPort + " failed."}));
    EXPECT_EQ(boxes.size(), 1);

    // Closed: the next refusal shows its box, and the run waits on it.
    prompts.closeBox();
    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    ASSERT_TRUE(publisher.ButtonWebPageTransferFileClick());
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == 2; }, 5000));
    EXPECT_EQ(boxes.last(), "[FTP Error: FTP Login Failure]");
    EXPECT_TRUE(publisher.Running());
    prompts.closeBox();
    ASSERT_TRUE(ended.wait(5000));
}

} // namespace
