#include "FreeTcpPort.h"
#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"

#include "StallMeter.h"
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

using TData = TScriptedFtpServer::TData;

const QString kConnected = QStringLiteral("FTP Connected to Host: 127.0.0.1");
const QString kDisconnected = QStringLiteral("FTP Disconnected from Host: 127.0.0.1");
const QString kConnectionFailure =
    QStringLiteral("FTP Connection Failure.\nThe FTP->Connect() method failed to connect to Host");
const QString kBox = QStringLiteral("[FTP Error: FTP Login Failure]");

class FtpStepTest : public ::testing::Test {
public:
    TFtpRig rig;

    QString Initiated() const { return "FTP Transfer Initiated on: " + rig.clock; }
    QString Uploaded() const {
        return "Success: cmdUpload  - Velmora HTML File Copied to 127.0.0.1:" + rig.boxes.ftpPort +
               rig.boxes.ftpFolder;
    }
    QStringList Unsuccessful() const {
        return {"FTP Connect Unsuccessful.",
                "  - Connection to 127.0.0.1:" + rig.boxes.ftpPort + " failed."};
    }
    // An upload the server refused: the failure line after the disconnect,
    // and nothing after it.
    QStringList UploadRefused() const {
        return {
            Initiated(),   kConnected,          "Success: cmdChangeDir", "Success: cmdDoCommand",
            kDisconnected, "Failure: cmdUpload"};
    }
    QStringList Successful() const {
        return {Initiated(),
                kConnected,
                "Success: cmdChangeDir",
                "Success: cmdDoCommand",
                Uploaded(),
                Uploaded(),
                Uploaded(),
                kDisconnected};
    }
    void Use(const TScriptedFtpServer& server) {
        ASSERT_TRUE(server.Listening());
        rig.boxes.ftpPort = QString::number(server.Port());
    }
};

QByteArray LoginBytes() {
    return "USER velmora\r\nPASS s3cret\r\n";
}

// The control bytes up to the first page's STOR, and the QUIT after it.
QByteArray FirstStor() {
    return LoginBytes() + "CWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nQUIT\r\n";
}

// The PORT lines of a control transcript.
QList<QByteArray> PortLines(const QByteArray& received) {
    QList<QByteArray> out;
    for (const QByteArray& line : received.split('\n'))
        if (line.startsWith("PORT "))
            out << line.trimmed();
    return out;
}

TEST_F(FtpStepTest, SuccessfulRunSendsEachPageExactlyAndLogsTheSequence) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    Use(server);
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log, Successful());
    const QList<TScriptedFtpServer::TFile> files = server.Files();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0].name, "index.htm");
    EXPECT_EQ(files[0].bytes, TFtpRig::IndexBytes());
    EXPECT_EQ(files[1].name, "velmora.htm");
    EXPECT_EQ(files[1].bytes, TFtpRig::GridBytes());
    EXPECT_EQ(files[2].name, "velmoralog.htm");
    EXPECT_EQ(files[2].bytes, ReadTestFile(rig.pages.log));

    QList<QByteArray> ports = PortLines(server.Received());
    ASSERT_EQ(ports.size(), 3);
    QByteArray expected = LoginBytes() + "CWD /pages\r\nTYPE A\r\n";
    for (const char* name : {"index.htm", "velmora.htm", "velmoralog.htm"}) {
        expected += ports.takeFirst() + "\r\n";
        expected += QByteArray("STOR ") + name + "\r\n";
    }
    expected += "QUIT\r\n";
    EXPECT_EQ(server.Received(), expected);
    EXPECT_FALSE(rig.step.Running());
}

// The PORT argument is the control connection's local address as the
// server sees it, and the port the client listens on: the server reached
// the client there for each page.
TEST_F(FtpStepTest, PortArgumentIsTheControlConnectionsLocalAddressAndListeningPort) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    Use(server);
    EXPECT_EQ(rig.Run(), Ended(false));
    const auto targets = server.PortTargets();
    ASSERT_EQ(targets.size(), 3);
    const QList<QByteArray> lines = PortLines(server.Received());
    for (int i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i].first, server.PeerAddress());
        EXPECT_NE(targets[i].second, 0);
        EXPECT_EQ(lines[i], "PORT 127,0,0,1," + QByteArray::number(targets[i].second >> 8) + "," +
                                QByteArray::number(targets[i].second & 0xff));
    }
    EXPECT_EQ(server.DataConnections(), 3);
    EXPECT_EQ(server.Files().size(), 3);
}

TEST_F(FtpStepTest, HostNameIsLookedUp) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    Use(server);
    rig.boxes.ftpHost = QStringLiteral("localhost");
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log.value(1), "FTP Connected to Host: localhost");
    EXPECT_EQ(server.Files().size(), 3);
}

// Each misbehaviour with the exact Transfer Log and outcome.
TEST_F(FtpStepTest, MisbehavingServers) {
    struct Case {
        const char* name;
        std::function<void(TScriptedFtpServer::Script&)> script;
        std::function<QStringList(const FtpStepTest&)> log;
        TOutcome outcome;
        QByteArray received; // the control bytes, PORT lines left out
        int files;
        bool bigPage = false; // an index page far larger than the socket buffers
    };
    const QString up = "Success: cmdUpload  - Velmora HTML File Copied to 127.0.0.1:";
    const std::vector<Case> cases{
        {"greeting 421", [](auto& s) { s.greeting = "421 Too many users\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(), kConnectionFailure, kDisconnected, kBox} +
                    t.Unsuccessful();
         },
         Ended(false), "QUIT\r\n", 0},
        {"multi-line greeting",
         [](auto& s) {
             s.greeting = "220-Welcome to the scripted server\r\n  a line that begins with blanks"
                          "\r\n220-one more\r\n220 ready\r\n";
         },
         [](const FtpStepTest& t) { return t.Successful(); }, Ended(false),
         LoginBytes() + "CWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nSTOR velmora.htm\r\n"
                        "STOR velmoralog.htm\r\nQUIT\r\n",
         3},
        {"USER answered 230", [](auto& s) { s.replies["USER"] = "230 No password needed\r\n"; },
         [](const FtpStepTest& t) { return t.Successful(); }, Ended(false),
         "USER velmora\r\nCWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nSTOR velmora.htm\r\n"
         "STOR velmoralog.htm\r\nQUIT\r\n",
         3},
        {"USER answered 530", [](auto& s) { s.replies["USER"] = "530 Not logged in\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(), kConnectionFailure, kDisconnected, kBox} +
                    t.Unsuccessful();
         },
         Ended(false), "USER velmora\r\nQUIT\r\n", 0},
        {"PASS answered 530", [](auto& s) { s.replies["PASS"] = "530 Login incorrect\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(), kConnectionFailure, kDisconnected, kBox} +
                    t.Unsuccessful();
         },
         Ended(false), LoginBytes() + "QUIT\r\n", 0},
        {"CWD answered 550", [](auto& s) { s.replies["CWD"] = "550 No such folder\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(), kConnected, kDisconnected, "Failure: cmdChangeDir"};
         },
         Ended(true, "550 No such folder"), LoginBytes() + "CWD /pages\r\nQUIT\r\n", 0},
        {"TYPE answered 504", [](auto& s) { s.replies["TYPE"] = "504 Type not implemented\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(), kConnected, "Success: cmdChangeDir", kDisconnected,
                                "Failure: cmdDoCommand"};
         },
         Ended(true, "504 Type not implemented"), LoginBytes() + "CWD /pages\r\nTYPE A\r\nQUIT\r\n",
         0},
        // The remaining uploads are skipped.
        {"STOR answered 553", [](auto& s) { s.replies["STOR"] = "553 Could not create file\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(),           kConnected,    "Success: cmdChangeDir",
                                "Success: cmdDoCommand", kDisconnected, "Failure: cmdUpload"};
         },
         Ended(true, "553 Could not create file"),
         LoginBytes() + "CWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nQUIT\r\n", 0},
        {"PORT answered 500", [](auto& s) { s.replies["PORT"] = "500 Illegal PORT command\r\n"; },
         [](const FtpStepTest& t) {
             return QStringList{t.Initiated(),           kConnected,    "Success: cmdChangeDir",
                                "Success: cmdDoCommand", kDisconnected, "Failure: cmdUpload"};
         },
         Ended(true, "500 Illegal PORT command"), LoginBytes() + "CWD /pages\r\nTYPE A\r\nQUIT\r\n",
         0},
        // A failure reply after the data: the server did not keep the file,
        // and the run ends as for a refused STOR.
        {"closing reply 426",
         [](auto& s) { s.closingReply = "426 Connection closed; transfer aborted\r\n"; },
         [](const FtpStepTest& t) { return t.UploadRefused(); },
         Ended(true, "426 Connection closed; transfer aborted"), FirstStor(), 1},
        {"closing reply 451", [](auto& s) { s.closingReply = "451 Local error in processing\r\n"; },
         [](const FtpStepTest& t) { return t.UploadRefused(); },
         Ended(true, "451 Local error in processing"), FirstStor(), 1},
        {"closing reply 552",
         [](auto& s) { s.closingReply = "552 Storage allocation exceeded\r\n"; },
         [](const FtpStepTest& t) { return t.UploadRefused(); },
         Ended(true, "552 Storage allocation exceeded"), FirstStor(), 1},
        // The page is out and the client's end closed when the server resets
        // the data connection; only the closing reply tells.
        {"data connection reset, then 426",
         [](auto& s) {
             s.data = TData::ResetAtEnd;
             s.closingReply = "426 Connection reset; transfer aborted\r\n";
         },
         [](const FtpStepTest& t) { return t.UploadRefused(); },
         Ended(true, "426 Connection reset; transfer aborted"), FirstStor(), 1},
        {"multi-line closing reply 552",
         [](auto& s) { s.closingReply = "552-Quota exceeded\r\n552 File not kept\r\n"; },
         [](const FtpStepTest& t) { return t.UploadRefused(); }, Ended(true, "552-Quota exceeded"),
         FirstStor(), 1},
        // Said while the page is still going out: the rest is not sent.
        {"552 during the transfer",
         [](auto& s) {
             s.data = TData::ReplyAtOnce;
             s.closingReply = "552 Storage allocation exceeded\r\n";
         },
         [](const FtpStepTest& t) { return t.UploadRefused(); },
         Ended(true, "552 Storage allocation exceeded"), FirstStor(), 0, true},
        // A positive closing reply other than 226 is still success.
        {"closing reply 250", [](auto& s) { s.closingReply = "250 File stored\r\n"; },
         [](const FtpStepTest& t) { return t.Successful(); }, Ended(false),
         LoginBytes() + "CWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nSTOR velmora.htm\r\n"
                        "STOR velmoralog.htm\r\nQUIT\r\n",
         3},
        {"QUIT answered 500", [](auto& s) { s.replies["QUIT"] = "500 Unknown command\r\n"; },
         [](const FtpStepTest& t) { return t.Successful(); }, Ended(true, "500 Unknown command"),
         LoginBytes() + "CWD /pages\r\nTYPE A\r\nSTOR index.htm\r\nSTOR velmora.htm\r\n"
                        "STOR velmoralog.htm\r\nQUIT\r\n",
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.log.clear();
        TScriptedFtpServer::Script script;
        c.script(script);
        TScriptedFtpServer server("127.0.0.1", 0, script);
        Use(server);
        TFtpRig::WritePage(rig.pages.index,
                           c.bigPage ? QByteArray(16 * 1024 * 1024, 'x') : TFtpRig::IndexBytes());
        EXPECT_EQ(rig.Run(), c.outcome);
        EXPECT_EQ(rig.log, c.log(*this));
        QByteArray received;
        for (const QByteArray& line : server.Received().split('\n'))
            if (!line.isEmpty() && !line.startsWith("PORT "))
                received += line + "\n";
        EXPECT_EQ(received, c.received);
        EXPECT_EQ(server.Files().size(), c.files);
        EXPECT_FALSE(rig.step.Running());
    }
}

// Each wait ends within its bound, with a line that names it.
TEST_F(FtpStepTest, ServersThatHoldAWaitEndWithinTheBound) {
    struct Case {
        const char* name;
        std::function<void(TScriptedFtpServer::Script&)> script;
        bool bigPage;
        QStringList tail; // after the "FTP Transfer Initiated on: " line
        TOutcome outcome;
    };
    const QStringList loggedIn{kConnected, "Success: cmdChangeDir", "Success: cmdDoCommand"};
    const QString failure = QStringLiteral("Failure: cmdUpload");
    const std::vector<Case> cases{
        {"never greets",
         [](auto& s) { s.greeting.reset(); },
         false,
         {kDisconnected, "FTP Time-out: Greeting timed out after 300 ms.", kBox},
         Ended(false)},
        {"never answers USER",
         [](auto& s) { s.replies["USER"] = ""; },
         false,
         {kDisconnected, "FTP Time-out: Reply to USER timed out after 300 ms.", kBox},
         Ended(false)},
        {"never answers CWD",
         [](auto& s) { s.replies["CWD"] = ""; },
         false,
         {kConnected, kDisconnected, "FTP Time-out: Reply to CWD timed out after 300 ms."},
         Ended(true, "Reply to CWD timed out after 300 ms")},
        {"never answers STOR", [](auto& s) { s.replies["STOR"] = ""; }, false,
         loggedIn + QStringList{kDisconnected,
                                "FTP Time-out: Reply to STOR timed out after 300 ms.", failure},
         Ended(true, "Reply to STOR timed out after 300 ms")},
        {"never opens the data connection", [](auto& s) { s.data = TData::NeverConnect; }, false,
         loggedIn + QStringList{kDisconnected,
                                "FTP Time-out: Data connection from the server timed out after "
                                "300 ms.",
                                failure},
         Ended(true, "Data connection from the server timed out after 300 ms")},
        {"never reads the data connection", [](auto& s) { s.data = TData::NeverRead; }, true,
         loggedIn + QStringList{kDisconnected,
                                "FTP Time-out: Sending index.htm timed out after 300 ms.", failure},
         Ended(true, "Sending index.htm timed out after 300 ms")},
        {"never sends the closing reply", [](auto& s) { s.data = TData::NoClosingReply; }, false,
         loggedIn + QStringList{kDisconnected,
                                "FTP Time-out: Reply after the transfer of index.htm timed out "
                                "after 300 ms.",
                                failure},
         Ended(true, "Reply after the transfer of index.htm timed out after 300 ms")},
    };
    rig.step.SetTimeOut(300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.log.clear();
        if (c.bigPage)
            TFtpRig::WritePage(rig.pages.index, QByteArray(16 * 1024 * 1024, 'x'));
        TScriptedFtpServer::Script script;
        c.script(script);
        TScriptedFtpServer server("127.0.0.1", 0, script);
        Use(server);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(rig.Run(3000), c.outcome);
        EXPECT_LT(t.elapsed(), 2000);
        QStringList expected = QStringList{Initiated()} + c.tail;
        if (c.tail.last() == kBox)
            expected += Unsuccessful();
        EXPECT_EQ(rig.log, expected);
        if (c.bigPage)
            TFtpRig::WritePage(rig.pages.index, TFtpRig::IndexBytes());
    }
}

TEST_F(FtpStepTest, DataConnectionResetEndsTheRunWithTheSocketError) {
    TScriptedFtpServer::Script script;
    script.data = TData::Reset;
    TScriptedFtpServer server("127.0.0.1", 0, script);
    Use(server);
    TFtpRig::WritePage(rig.pages.index, QByteArray(16 * 1024 * 1024, 'x'));
    EXPECT_EQ(rig.Run(), Ended(true, "10054:Connection reset by peer"));
    EXPECT_EQ(rig.log, (QStringList{Initiated(), kConnected, "Success: cmdChangeDir",
                                    "Success: cmdDoCommand",
                                    "Winsock Error.\nError Number: 10054\nError Message: "
                                    "10054:Connection reset by peer",
                                    kDisconnected, "Failure: cmdUpload"}));
}

TEST_F(FtpStepTest, RefusedConnection) {
    rig.boxes.ftpPort = QString::number(FreeTcpPort("127.0.0.1"));
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log, QStringList({Initiated(), kConnectionFailure, kBox}) + Unsuccessful());
}

// The run waits on the box: nothing more happens until it has been closed.
TEST_F(FtpStepTest, LoginFailureBoxHoldsTheStepUntilClosed) {
    TScriptedFtpServer::Script script;
    script.replies["PASS"] = "530 Login incorrect\r\n";
    TScriptedFtpServer server("127.0.0.1", 0, script);
    Use(server);
    rig.prompts.hold = true;
    QSignalSpy finished(&rig.step, &TFtpStep::Finished);
    rig.step.Run(rig.boxes, rig.pages, rig.clock);
    QElapsedTimer t;
    t.start();
    while (!rig.prompts.closeBox && t.elapsed() < 5000)
        QTest::qWait(10);
    ASSERT_TRUE(rig.prompts.closeBox);
    QTest::qWait(100);
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_TRUE(rig.step.Running());
    EXPECT_EQ(rig.log.last(), kBox);
    rig.prompts.closeBox();
    ASSERT_TRUE(finished.wait(2000));
    EXPECT_EQ(finished.first().at(0).toBool(), false);
    EXPECT_EQ(rig.log.mid(rig.log.size() - 2), Unsuccessful());
}

TEST_F(FtpStepTest, NoFolderSendsNoCwd) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    Use(server);
    rig.boxes.ftpFolder = QStringLiteral("   ");
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.boxes.ftpFolder, QString());
    EXPECT_EQ(rig.log, (QStringList{Initiated(), kConnected, "Success: cmdDoCommand", Uploaded(),
                                    Uploaded(), Uploaded(), kDisconnected}));
    EXPECT_FALSE(server.Received().contains("CWD"));
}

// Boxes the step refuses before any connection: two lines, and the copy
// step still runs (Finished(false)).
TEST_F(FtpStepTest, RefusedBoxesNeverReachTheServer) {
    struct Case {
        const char* name;
        std::function<void(TFtpRig&)> edit;
        QString why;
    };
    const std::vector<Case> cases{
        {"blank host", [](TFtpRig& r) { r.boxes.ftpHost = "   "; }, "  - FTP Host not Specified."},
        {"empty user", [](TFtpRig& r) { r.boxes.ftpUser = ""; }, "  - UserID not Specified."},
        {"blank password", [](TFtpRig& r) { r.boxes.ftpPassword = " \t "; },
         "  - Password not Specified."},
        {"missing page", [](TFtpRig& r) { QFile::remove(r.pages.grid); },
         "  - Velmora Index/Grid/Log HTML Files do not exist."},
        {"line break in host", [](TFtpRig& r) { r.boxes.ftpHost = "127.0.0.1\r\nSITE x"; },
         "  - FTP Host holds a line break."},
        {"line break in user", [](TFtpRig& r) { r.boxes.ftpUser = "velmora\r\nDELE index.htm"; },
         "  - UserID holds a line break."},
        {"line break in password",
         [](TFtpRig& r) { r.boxes.ftpPassword = "s3cret\nDELE index.htm"; },
         "  - Password holds a line break."},
        {"line break in folder", [](TFtpRig& r) { r.boxes.ftpFolder = "/pages\rDELE index.htm"; },
         "  - Host Folder holds a line break."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFtpRig local;
        TScriptedFtpServer server("127.0.0.1", 0, {});
        ASSERT_TRUE(server.Listening());
        local.boxes.ftpPort = QString::number(server.Port());
        c.edit(local);
        EXPECT_EQ(local.Run(), Ended(false));
        EXPECT_EQ(local.log, (QStringList{"FTP Transfer Initiated on: " + local.clock,
                                          "FTP Transfer Unsuccessful.", c.why}));
        QTest::qWait(20);
        EXPECT_EQ(server.Connections(), 0);
    }
    // Boxes are trimmed in place.
    rig.boxes.ftpHost = "   ";
    rig.Run();
    EXPECT_EQ(rig.boxes.ftpHost, QString());
}

// A run that falls due while one is in progress starts nothing.
TEST_F(FtpStepTest, SecondRunWhileRunningIsIgnored) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    Use(server);
    QSignalSpy finished(&rig.step, &TFtpStep::Finished);
    rig.step.Run(rig.boxes, rig.pages, rig.clock);
    EXPECT_TRUE(rig.step.Running());
    rig.step.Run(rig.boxes, rig.pages, rig.clock);
    ASSERT_TRUE(finished.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(rig.log, Successful());
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_FALSE(rig.step.Running());
}

TEST_F(FtpStepTest, UntickedBoxDoesNothing) {
    rig.boxes.useFtp = false;
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_TRUE(rig.log.isEmpty());
}

TEST_F(FtpStepTest, PortBox) {
    struct Case {
        QString text;
        TOutcome outcome; // nothing: connects and succeeds
    };
    const QString range = QStringLiteral(" is not a valid port number (1 to 65535).");
    const std::vector<Case> cases{
        {"abc", Ended(true, "'abc'" + range)},     {"0", Ended(true, "'0'" + range)},
        {"65536", Ended(true, "'65536'" + range)}, {"-21", Ended(true, "'-21'" + range)},
        {"21x", Ended(true, "'21x'" + range)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        rig.log.clear();
        rig.boxes.ftpPort = c.text;
        EXPECT_EQ(rig.Run(), c.outcome);
        EXPECT_EQ(rig.log, QStringList{Initiated()});
    }
    // Blanks around the number are trimmed off the box.
    TScriptedFtpServer server("127.0.0.1", 0, {});
    ASSERT_TRUE(server.Listening());
    rig.log.clear();
    rig.boxes.ftpPort = "  " + QString::number(server.Port()) + " ";
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.boxes.ftpPort, QString::number(server.Port()));
    EXPECT_EQ(rig.log, Successful());
}

// An empty port box connects to port 21 (a scripted server of ours on a
// loopback address of its own; binding port 21 needs root).
TEST_F(FtpStepTest, EmptyPortBoxConnectsToPort21) {
    TScriptedFtpServer server("127.66.4.2", 21, {});
    if (!server.Listening())
        GTEST_SKIP() << "cannot listen on 127.66.4.2:21 here";
    rig.boxes.ftpHost = "127.66.4.2";
    rig.boxes.ftpPort = "";
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log.last(), "FTP Disconnected from Host: 127.66.4.2");
    EXPECT_EQ(rig.log.value(4),
              "Success: cmdUpload  - Velmora HTML File Copied to 127.66.4.2:/pages");
    EXPECT_EQ(server.Files().size(), 3);
}

// After every kind of failure the next run works on a fresh connection.
TEST_F(FtpStepTest, UsableAgainAfterFailures) {
    rig.step.SetTimeOut(300);
    const std::vector<std::function<void(TScriptedFtpServer::Script&)>> failing{
        [](auto& s) { s.replies["STOR"] = "553 Could not create file\r\n"; },
        [](auto& s) { s.data = TData::NeverConnect; },
        [](auto& s) { s.greeting.reset(); },
        [](auto& s) { s.replies["QUIT"] = "500 Unknown command\r\n"; },
    };
    TScriptedFtpServer good("127.0.0.1", 0, {});
    ASSERT_TRUE(good.Listening());
    for (std::size_t i = 0; i < failing.size(); ++i) {
        SCOPED_TRACE(i);
        TScriptedFtpServer::Script script;
        failing[i](script);
        TScriptedFtpServer bad("127.0.0.1", 0, script);
        Use(bad);
        ASSERT_TRUE(rig.Run(3000).has_value());
        rig.log.clear();
        Use(good);
        EXPECT_EQ(rig.Run(), Ended(false));
        EXPECT_EQ(rig.log, Successful());
    }
    EXPECT_EQ(good.Files().size(), 3 * int(failing.size()));
}

// The event loop keeps running while the step waits on a server that does
// not answer or does not read.
TEST_F(FtpStepTest, EventLoopNeverStallsDuringAnUpload) {
    const std::vector<std::function<void(TScriptedFtpServer::Script&)>> scripts{
        [](auto& s) { s.replies["STOR"] = ""; },
        [](auto& s) { s.data = TData::NeverRead; },
    };
    TFtpRig::WritePage(rig.pages.index, QByteArray(16 * 1024 * 1024, 'x'));
    rig.step.SetTimeOut(1000);
    for (const auto& edit : scripts) {
        TScriptedFtpServer::Script script;
        edit(script);
        TScriptedFtpServer server("127.0.0.1", 0, script);
        Use(server);
        TStallMeter meter;
        const TOutcome outcome = rig.Run(5000);
        meter.Stop();
        ASSERT_TRUE(outcome.has_value());
        EXPECT_TRUE(outcome->first);
        EXPECT_GT(meter.Ticks(), 50);
        EXPECT_LE(meter.WorstGap(), 50) << "longest gap between 10 ms ticks";
        RecordProperty(meter.Ticks() > 0 && script.data == TData::NeverRead
                           ? "worstGapNeverReadMs"
                           : "worstGapSilentStorMs",
                       int(meter.WorstGap()));
    }
}

} // namespace
