#include "web/FtpClient.h"
#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"
#include "net/SocketErrors.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The client with every event it raises, in order, as one text each.
class TClientRig {
public:
    TNMFTP ftp;
    QStringList events;
    QStringList transcript;

    TClientRig() {
        QObject::connect(&ftp, &TNMFTP::OnConnect, [this] { events << "OnConnect"; });
        QObject::connect(&ftp, &TNMFTP::OnDisconnect, [this] { events << "OnDisconnect"; });
        QObject::connect(&ftp, &TNMFTP::OnConnectionFailed,
                         [this] { events << "OnConnectionFailed"; });
        QObject::connect(&ftp, &TNMFTP::OnConnectionRequired,
                         [this](bool*) { events << "OnConnectionRequired"; });
        QObject::connect(&ftp, &TNMFTP::OnError, [this](int n, const QString& text) {
            events << QStringLiteral("OnError %1 %2").arg(n).arg(text);
        });
        QObject::connect(&ftp, &TNMFTP::OnSuccess, [this](TCmdType kind) {
            events << "OnSuccess " + TNMFTP::CmdTypeName(kind);
        });
        QObject::connect(&ftp, &TNMFTP::OnFailure, [this](bool*, TCmdType kind) {
            events << "OnFailure " + TNMFTP::CmdTypeName(kind);
        });
        ftp.SetTranscript([this](TReplyEngine::TDirection d, const QString& line) {
            transcript << (d == TReplyEngine::TDirection::Sent ? "> " : "< ") + line;
        });
        ftp.Host = "127.0.0.1";
        ftp.UserID = "velmora";
        ftp.Password = "s3cret";
    }

    // Runs one operation to its Done; its error, or "<no Done>".
    template <class F> TFtpError Run(F start) {
        QSignalSpy done(&ftp, &TNMFTP::Done);
        if (!start())
            return {TFtpError::TKind::BadArgument, "<refused>"};
        // Never before the call has returned.
        EXPECT_TRUE(done.isEmpty());
        if (!done.wait(5000))
            return {TFtpError::TKind::BadArgument, "<no Done>"};
        return done.first().at(1).value<TFtpError>();
    }
};

TEST(SocketErrorsTest, TextsAndNumbers) {
    struct Case {
        int linuxErrno;
        const char* text;
    };
    const std::vector<Case> cases{
        {ECONNREFUSED, "10061:Connection refused"},
        {ECONNRESET, "10054:Connection reset by peer"},
        {ETIMEDOUT, "10060:Connection timed out"},
        {EHOSTUNREACH, "10065:No route to Host"},
        {ENETUNREACH, "10051:Network is unreachable"},
        {EADDRINUSE, "10048:Address already in use"},
        {EADDRNOTAVAIL, "10049:Can't assign requested address"},
        {EACCES, "10013:Permission denied"},
        {EINTR, "10004:Interrupted system call"},
        {EMFILE, "10024:Too many open files"},
        {ENOTCONN, "10057:Socket is not connected"},
        {EWOULDBLOCK, "10035:Operation would block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SocketErrorText(SocketErrorNumber(c.linuxErrno)), QString(c.text));
    }
    EXPECT_EQ(SocketErrorNumber(ENOENT), 0);
    EXPECT_EQ(SocketErrorText(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(SocketErrorText(10093), "10093:Successful WSAStartup not yet performed");
    EXPECT_EQ(SocketErrorText(10001), "Unknown Error No. 10001");
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::RemoteHostClosedError), 10054);
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::HostNotFoundError), 11001);
    EXPECT_EQ(SocketErrorNumber(QAbstractSocket::UnknownSocketError), 0);
}

TEST(FtpCommandKindTest, KindsAndNames) {
    struct Case {
        const char* line;
        TCmdType kind;
    };
    const std::vector<Case> cases{
        {"CWD /pages", TNMFTP::cmdChangeDir}, {"MKD new", TNMFTP::cmdMakeDir},
        {"DELE a.htm", TNMFTP::cmdDelete},    {"RMD old", TNMFTP::cmdRemoveDir},
        {"PWD", TNMFTP::cmdCurrentDir},       {"PWD x", TNMFTP::cmdDoCommand},
        {"TYPE A", TNMFTP::cmdDoCommand},     {"CWDX a", TNMFTP::cmdDoCommand},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TNMFTP::CommandKind(c.line), c.kind) << c.line;
    const char* names[] = {"cmdChangeDir", "cmdMakeDir", "cmdDelete",    "cmdRemoveDir",
                           "cmdList",      "cmdRename",  "cmdUpRestore", "cmdDownRestore",
                           "cmdDownload",  "cmdUpload",  "cmdAppend",    "cmdreInit",
                           "cmdAllocate",  "cmdNList",   "cmdDoCommand", "cmdCurrentDir"};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(TNMFTP::CmdTypeName(i), QString(names[i]));
    EXPECT_EQ(TNMFTP::CmdTypeName(16), "Other Command");
    EXPECT_EQ(TNMFTP::CmdTypeName(-1), "Other Command");
}

// The password goes to the server and nowhere else: not in the transcript,
// not in the debug output.
TEST(FtpClientTest, PasswordOnlyReachesTheServer) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    ASSERT_TRUE(server.Listening());
    static QStringList debugLines;
    debugLines.clear();
    QLoggingCategory::setFilterRules("velmora.ftp.debug=true");
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& m) { debugLines << m; });
    TClientRig rig;
    rig.ftp.Port = server.Port();
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Connect(); }).Failed());
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Disconnect(); }).Failed());
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("velmora.ftp.debug=false");

    EXPECT_EQ(server.Received(), "USER velmora\r\nPASS s3cret\r\nQUIT\r\n");
    EXPECT_EQ(rig.transcript,
              (QStringList{"< 220 scripted FTP", "> USER velmora", "< 331 Password required",
                           "> PASS ****", "< 230 Logged in", "> QUIT", "< 221 Goodbye"}));
    EXPECT_FALSE(debugLines.isEmpty());
    for (const QString& line : debugLines + rig.transcript)
        EXPECT_FALSE(line.contains("s3cret")) << line.toStdString();
    EXPECT_EQ(rig.events, (QStringList{"OnConnect", "OnDisconnect"}));
}

TEST(FtpClientTest, OperationsWithoutAConnection) {
    TClientRig rig;
    const TFtpError command = rig.Run([&] { return rig.ftp.ChangeDir("/pages"); });
    EXPECT_EQ(command.kind, TFtpError::TKind::NotConnected);
    EXPECT_EQ(command.text, "Not Connected");
    EXPECT_EQ(rig.events, QStringList{"OnConnectionRequired"});

    rig.events.clear();
    QTemporaryDir dir;
    const TFtpError upload = rig.Run([&] { return rig.ftp.Upload(dir.filePath("x"), "x"); });
    EXPECT_EQ(upload.text, "Not Connected");
    EXPECT_EQ(rig.events, (QStringList{"OnConnectionRequired", "OnFailure cmdUpload"}));

    // Disconnect sends nothing and raises nothing; other modes do nothing.
    rig.events.clear();
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Disconnect(); }).Failed());
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Mode(7); }).Failed());
    EXPECT_TRUE(rig.events.isEmpty());
    EXPECT_TRUE(rig.transcript.isEmpty());
}

TEST(FtpClientTest, OneOperationAtATime) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    TClientRig rig;
    rig.ftp.Port = server.Port();
    QSignalSpy done(&rig.ftp, &TNMFTP::Done);
    ASSERT_TRUE(rig.ftp.Connect());
    EXPECT_FALSE(rig.ftp.Mode(1));
    EXPECT_FALSE(rig.ftp.Disconnect());
    ASSERT_TRUE(done.wait(5000));
    QTest::qWait(50);
    EXPECT_EQ(done.size(), 1);
    EXPECT_TRUE(rig.ftp.Connected());
    // TYPE A answered 200 is cmdDoCommand.
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Mode(1); }).Failed());
    EXPECT_EQ(rig.events, (QStringList{"OnConnect", "OnSuccess cmdDoCommand"}));
}

// A command or file name with a line break never reaches the server.
TEST(FtpClientTest, LineBreaksAreRefused) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    TClientRig rig;
    rig.ftp.Port = server.Port();
    rig.ftp.Password = "s3cret\r\nDELE index.htm";
    EXPECT_EQ(rig.Run([&] { return rig.ftp.Connect(); }).kind, TFtpError::TKind::BadArgument);
    QTest::qWait(20);
    EXPECT_EQ(server.Connections(), 0);

    rig.ftp.Password = "s3cret";
    ASSERT_FALSE(rig.Run([&] { return rig.ftp.Connect(); }).Failed());
    EXPECT_EQ(rig.Run([&] { return rig.ftp.ChangeDir("/pages\r\nDELE index.htm"); }).kind,
              TFtpError::TKind::BadArgument);
    QTemporaryDir dir;
    WriteTestFile(dir.filePath("a.htm"), "a");
    EXPECT_EQ(rig.Run([&] { return rig.ftp.Upload(dir.filePath("a.htm"), "a\nDELE b"); }).kind,
              TFtpError::TKind::BadArgument);
    EXPECT_FALSE(rig.Run([&] { return rig.ftp.Disconnect(); }).Failed());
    EXPECT_EQ(server.Received(), "USER velmora\r\nPASS s3cret\r\nQUIT\r\n");
}

// A server that closes the control connection is noticed at once, and a
// command waiting on it fails.
TEST(FtpClientTest, PeerCloseEndsTheConnection) {
    TScriptedFtpServer::Script script;
    script.replies["CWD"] = "";
    TScriptedFtpServer server("127.0.0.1", 0, script);
    TClientRig rig;
    rig.ftp.Port = server.Port();
    ASSERT_FALSE(rig.Run([&] { return rig.ftp.Connect(); }).Failed());
    QSignalSpy done(&rig.ftp, &TNMFTP::Done);
    ASSERT_TRUE(rig.ftp.ChangeDir("/pages"));
    QTest::qWait(50);
    // The server goes away without a reply.
    server.CloseConnections();
    ASSERT_TRUE(done.wait(5000));
    const TFtpError e = done.first().at(1).value<TFtpError>();
    EXPECT_EQ(e.kind, TFtpError::TKind::Socket);
    EXPECT_EQ(e.text, "Connection closed by the FTP server");
    EXPECT_FALSE(rig.ftp.Connected());
    EXPECT_EQ(rig.events, (QStringList{"OnConnect", "OnDisconnect"}));
}

TEST(FtpClientTest, UploadOfAMissingFileFailsOnce) {
    TScriptedFtpServer server("127.0.0.1", 0, {});
    TClientRig rig;
    rig.ftp.Port = server.Port();
    ASSERT_FALSE(rig.Run([&] { return rig.ftp.Connect(); }).Failed());
    QTemporaryDir dir;
    const TFtpError e = rig.Run([&] { return rig.ftp.Upload(dir.filePath("none.htm"), {}); });
    EXPECT_EQ(e.kind, TFtpError::TKind::File);
    EXPECT_TRUE(e.text.startsWith("Cannot open " + dir.filePath("none.htm")));
    EXPECT_EQ(rig.events, (QStringList{"OnConnect", "OnFailure cmdUpload"}));
    EXPECT_TRUE(rig.ftp.Connected());
}

} // namespace

namespace {

// A reply longer than the reply engine takes ends the connection, and the
// error says why.
TEST(FtpClientTest, OverlongReplyEndsTheConnection) {
    TScriptedFtpServer::Script script;
    script.replies["CWD"] = QByteArray(8000, 'x');
    TScriptedFtpServer server("127.0.0.1", 0, script);
    TClientRig rig;
    rig.ftp.Port = server.Port();
    ASSERT_FALSE(rig.Run([&] { return rig.ftp.Connect(); }).Failed());
    const TFtpError e = rig.Run([&] { return rig.ftp.ChangeDir("/pages"); });
    EXPECT_EQ(e.kind, TFtpError::TKind::Socket);
    EXPECT_EQ(e.text, "Reply from the FTP server too long");
    EXPECT_FALSE(rig.ftp.Connected());
    EXPECT_EQ(rig.events, (QStringList{"OnConnect", "OnDisconnect"}));
}

// A listener whose accept queue is full drops further connection attempts,
// so the connect itself waits: it ends at the bound with OnConnectionFailed.
TEST(FtpClientTest, ConnectThatNeverCompletesEndsAtTheBound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const quint16 port = ntohs(address.sin_port);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost("127.0.0.1", port);
    }
    QTest::qWait(200);

    TClientRig rig;
    rig.ftp.Port = port;
    rig.ftp.TimeOut = 300;
    QElapsedTimer t;
    t.start();
    const TFtpError e = rig.Run([&] { return rig.ftp.Connect(); });
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(e.kind, TFtpError::TKind::TimedOut);
    EXPECT_EQ(e.text,
              QStringLiteral("Connection to 127.0.0.1:%1 timed out after 300 ms").arg(port));
    EXPECT_EQ(rig.events, QStringList{"OnConnectionFailed"});
    EXPECT_FALSE(rig.ftp.Connected());
    ::close(fd);
}

} // namespace
