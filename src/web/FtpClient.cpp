#include "FtpClient.h"

#include "net/SocketErrors.h"
#include "platform/Addresses.h"
#include "web/FtpRules.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QTimer>

using namespace ftp;

namespace {

Q_LOGGING_CATEGORY(lcFtp, "velmora.ftp", QtWarningMsg)

// In the order of TNMFTP::TState.
const char* const kStateNames[] = {
    "idle", "resolving",        "connecting", "greeting",     "USER",
    "PASS", "QUIT after login", "logged in",  "command",      "PORT",
    "STOR", "accepting",        "sending",    "closing data", "closing reply",
    "QUIT"};
static_assert(std::size(kStateNames) == size_t(TNMFTP::TState::Quit) + 1);

const char* StateName(TNMFTP::TState s) {
    return kStateNames[size_t(s)];
}

} // namespace

TNMFTP::TNMFTP(QObject* parent) : QObject(parent), pingPong(socket, this) {
    qRegisterMetaType<TFtpError>();
    socket.setObjectName(QStringLiteral("NMFTP1"));
    connect(&socket, &QAbstractSocket::connected, this, &TNMFTP::socketConnected);
    connect(&socket, &QAbstractSocket::errorOccurred, this, &TNMFTP::socketError);
    // Queued: the reply engine aborts the socket when a reply is too long,
    // and that must be told as such, not as a close by the server.
    connect(&socket, &QAbstractSocket::disconnected, this, &TNMFTP::socketDisconnected,
            Qt::QueuedConnection);
    connect(&pingPong, &TReplyEngine::ReplyReceived, this, &TNMFTP::replyReceived);
    connect(&pingPong, &TReplyEngine::StepTimedOut, this, &TNMFTP::stepTimedOut);
    connect(&pingPong, &TReplyEngine::ReplyTooLong, this, &TNMFTP::replyTooLong);
    connect(&lookup, &TNameLookup::Found, this, &TNMFTP::resolved);
}

TNMFTP::~TNMFTP() {
    // Nobody is left to hear about the close.
    lookup.Abort();
    if (data)
        data->disconnect(this);
    if (listener)
        listener->disconnect(this);
    pingPong.Shutdown(this);
}

void TNMFTP::setState(TState next) {
    qCDebug(lcFtp) << StateName(state) << "->" << StateName(next);
    state = next;
}

TNMFTP::TCmdType TNMFTP::CommandKind(const QString& line) {
    if (line == QLatin1String("PWD"))
        return cmdCurrentDir;
    const QString word = line.section(QLatin1Char(' '), 0, 0);
    if (word == QLatin1String("CWD"))
        return cmdChangeDir;
    if (word == QLatin1String("DELE"))
        return cmdDelete;
    if (word == QLatin1String("MKD"))
        return cmdMakeDir;
    if (word == QLatin1String("RMD"))
        return cmdRemoveDir;
    return cmdDoCommand;
}

QString TNMFTP::CmdTypeName(int kind) {
    static const char* const names[] = {
        "cmdChangeDir", "cmdMakeDir",     "cmdDelete",    "cmdRemoveDir", "cmdList",   "cmdRename",
        "cmdUpRestore", "cmdDownRestore", "cmdDownload",  "cmdUpload",    "cmdAppend", "cmdreInit",
        "cmdAllocate",  "cmdNList",       "cmdDoCommand", "cmdCurrentDir"};
    if (kind < 0 || kind >= int(std::size(names)))
        return QStringLiteral("Other Command");
    return QLatin1String(names[kind]);
}

// Every operation begins from the event loop, so that its events and its
// Done never come before the call that started it has returned.
bool TNMFTP::start(TOperation op, std::function<void()> begin) {
    if (Busy())
        return false;
    operation = op;
    const quint64 current = ++epoch;
    QTimer::singleShot(0, this, [this, current, begin = std::move(begin)] {
        if (current == epoch)
            begin();
    });
    return true;
}

void TNMFTP::complete(const TFtpError& error) {
    pingPong.StopStepTimer();
    const TOperation op = operation;
    operation = TOperation::None;
    ++epoch;
    if (state != TState::Idle)
        setState(connected ? TState::LoggedIn : TState::Idle);
    if (!error.text.isEmpty())
        qCDebug(lcFtp) << "failed:" << error.text;
    emit Done(op, error);
}

QString TNMFTP::timeOutText() const {
    if (TimeOut % 1000 == 0)
        return QStringLiteral("%1 s").arg(TimeOut / 1000);
    return QStringLiteral("%1 ms").arg(TimeOut);
}

void TNMFTP::waitStep() {
    pingPong.StepTimer.setInterval(TimeOut);
    pingPong.StartStepTimer();
}

// The connection check of commands and uploads: the handler may claim the
// event, but with nothing connected by the second ask the call fails.
bool TNMFTP::requireConnection() {
    for (int ask = 0; ask < 2 && !connected; ++ask) {
        bool handled = false;
        emit OnConnectionRequired(&handled);
        if (!handled)
            break;
    }
    return connected;
}

// Control connection ---------------------------------------------------------

bool TNMFTP::Connect() {
    return start(TOperation::Connect, [this] {
        if (connected) {
            complete();
            return;
        }
        if (HasLineBreak(Host) || HasLineBreak(UserID) || HasLineBreak(Password)) {
            complete(Error(TFtpError::TKind::BadArgument,
                           QStringLiteral("Line break in the host, user or password")));
            return;
        }
        pingPong.DropInput();
        // A dotted address needs no lookup.
        if (const std::optional<quint32> address = InetAddr(Host.trimmed())) {
            openTcp(DottedText(*address));
            return;
        }
        setState(TState::Resolving);
        waitStep();
        lookup.Start(Host.trimmed());
    });
}

void TNMFTP::resolved(const QList<QHostAddress>& addresses) {
    if (state != TState::Resolving)
        return;
    if (const std::optional<QHostAddress> address = TNameLookup::FirstIPv4(addresses)) {
        openTcp(address->toString());
        return;
    }
    setState(TState::Idle);
    complete(Error(TFtpError::TKind::Socket, QStringLiteral("Null Remote Address")));
}

void TNMFTP::openTcp(const QString& address) {
    setState(TState::Connecting);
    waitStep();
    pingPong.Open(address, Port);
}

void TNMFTP::socketConnected() {
    if (state != TState::Connecting)
        return;
    connected = true;
    setState(TState::Greeting);
    waitStep();
}

void TNMFTP::socketError(QAbstractSocket::SocketError error) {
    if (closing)
        return;
    if (state == TState::Connecting) {
        closing = true;
        socket.abort();
        closing = false;
        setState(TState::Idle);
        emit OnConnectionFailed();
        complete(Error(TFtpError::TKind::Socket, QStringLiteral("Connection Failed")));
        return;
    }
    // A close by the server comes as disconnected, after its last data.
    if (error == QAbstractSocket::RemoteHostClosedError || !connected)
        return;
    const int number = SocketErrorNumber(error);
    const QString text = number ? SocketErrorText(number) : socket.errorString();
    emit OnError(number, text);
    closeControl();
    const TFtpError e = Error(TFtpError::TKind::Socket, text);
    if (operation == TOperation::Upload)
        uploadFailed(e);
    else if (operation != TOperation::None)
        complete(e);
}

void TNMFTP::socketDisconnected() {
    if (closing || !connected)
        return;
    // The server closed the connection; anything it sent has been read.
    const TState was = state;
    closeControl();
    switch (operation) {
    case TOperation::None:
        return;
    case TOperation::Disconnect:
        complete(); // gone without a reply to QUIT: nothing refused
        return;
    case TOperation::Connect:
        if (was == TState::LoginQuit) {
            complete(pendingError);
            return;
        }
        break;
    default:
        break;
    }
    const TFtpError e =
        Error(TFtpError::TKind::Socket, QStringLiteral("Connection closed by the FTP server"));
    if (operation == TOperation::Upload)
        uploadFailed(e);
    else
        complete(e);
}

void TNMFTP::closeControl() {
    pingPong.StopStepTimer();
    if (!connected) {
        closing = true;
        pingPong.Abort();
        closing = false;
        return;
    }
    connected = false;
    closing = true;
    pingPong.Abort();
    closing = false;
    setState(TState::Idle);
    emit OnDisconnect();
}

bool TNMFTP::sendCommand(TState next, const QByteArray& line) {
    setState(next);
    if (!pingPong.Send(line))
        return false;
    waitStep();
    return true;
}

void TNMFTP::sendQuit(TState next) {
    sendCommand(next, "QUIT");
}

void TNMFTP::replyReceived(const TReply& reply) {
    switch (state) {
    case TState::Greeting:
        if (reply.code > 400) {
            emit OnConnectionFailed();
            loginRefused(reply);
            return;
        }
        sendCommand(TState::User, "USER " + UserID.toUtf8());
        return;
    case TState::User:
    case TState::Pass:
        loginReply(reply);
        return;
    case TState::LoginQuit:
        closeControl();
        complete(pendingError);
        return;
    case TState::Command: {
        if (Between(reply.code, 400, 599)) {
            bool handled = false;
            emit OnFailure(&handled, commandKind);
            complete(handled ? TFtpError{} : Error(TFtpError::TKind::Reply, ReplyLine(reply)));
            return;
        }
        emit OnSuccess(commandKind);
        complete();
        return;
    }
    case TState::Port:
    case TState::Stor:
    case TState::Accepting:
    case TState::Sending:
    case TState::Closing:
    case TState::ClosingReply:
        uploadReply(reply);
        return;
    case TState::Quit: {
        closeControl();
        complete(Between(reply.code, 301, 599) ? Error(TFtpError::TKind::Reply, ReplyLine(reply))
                                               : TFtpError{});
        return;
    }
    default:
        return; // nothing asked: a stray reply is dropped with the next command
    }
}

void TNMFTP::loginReply(const TReply& reply) {
    if (Between(reply.code, 401, 599)) {
        emit OnConnectionFailed();
        loginRefused(reply);
        return;
    }
    if (state == TState::User && reply.code == 331) {
        setState(TState::Pass);
        pingPong.SendSecret("PASS " + Password.toUtf8(), 1);
        waitStep();
        return;
    }
    setState(TState::LoggedIn);
    emit OnConnect();
    complete();
}

// A refused greeting or login ends with QUIT, since the connection is up.
void TNMFTP::loginRefused(const TReply& reply) {
    pendingError = Error(TFtpError::TKind::Reply, ReplyLine(reply));
    sendQuit(TState::LoginQuit);
}

void TNMFTP::stepTimedOut() {
    QString what;
    switch (state) {
    case TState::Resolving:
        what = QStringLiteral("Host lookup of %1").arg(Host.trimmed());
        break;
    case TState::Connecting:
        what = QStringLiteral("Connection to %1:%2").arg(Host.trimmed()).arg(Port);
        break;
    case TState::Greeting:
        what = QStringLiteral("Greeting");
        break;
    case TState::User:
        what = QStringLiteral("Reply to USER");
        break;
    case TState::Pass:
        what = QStringLiteral("Reply to PASS");
        break;
    case TState::LoginQuit:
    case TState::Quit:
        what = QStringLiteral("Reply to QUIT");
        break;
    case TState::Command:
        what = QStringLiteral("Reply to ") + commandWord;
        break;
    case TState::Port:
        what = QStringLiteral("Reply to PORT");
        break;
    case TState::Stor:
        what = QStringLiteral("Reply to STOR");
        break;
    case TState::Accepting:
        what = QStringLiteral("Data connection from the server");
        break;
    case TState::Sending:
        what = QStringLiteral("Sending %1").arg(remoteName);
        break;
    case TState::Closing:
        what = QStringLiteral("Closing the data connection");
        break;
    case TState::ClosingReply:
        what = QStringLiteral("Reply after the transfer of %1").arg(remoteName);
        break;
    case TState::Idle:
    case TState::LoggedIn:
        return;
    }
    giveUp(what + QStringLiteral(" timed out after ") + timeOutText());
}

bool TNMFTP::GiveUp(const QString& text) {
    if (operation == TOperation::None)
        return false;
    giveUp(text);
    return true;
}

// A wait that has lasted too long: the dialogue is out of step, so the
// control connection goes at once.
void TNMFTP::giveUp(const QString& text) {
    if (state == TState::Resolving)
        lookup.Abort();
    const TState was = state;
    const bool wasConnected = connected;
    closeControl();
    if (was == TState::Connecting && !wasConnected)
        emit OnConnectionFailed();
    if (was == TState::LoginQuit) {
        complete(pendingError);
        return;
    }
    const TFtpError e = Error(TFtpError::TKind::TimedOut, text);
    if (operation == TOperation::Upload)
        uploadFailed(e);
    else
        complete(e);
}

void TNMFTP::replyTooLong() {
    // The engine has aborted the connection already.
    const TFtpError e =
        Error(TFtpError::TKind::Socket, QStringLiteral("Reply from the FTP server too long"));
    closeControl();
    if (operation == TOperation::Upload)
        uploadFailed(e);
    else if (operation != TOperation::None)
        complete(e);
}

// Commands -------------------------------------------------------------------

bool TNMFTP::DoCommand(const QString& line) {
    return start(TOperation::Command, [this, line] {
        commandKind = CommandKind(line);
        if (!requireConnection()) {
            complete(Error(TFtpError::TKind::NotConnected, QStringLiteral("Not Connected")));
            return;
        }
        commandWord = line.section(QLatin1Char(' '), 0, 0);
        if (!sendCommand(TState::Command, line.toUtf8()))
            complete(Error(TFtpError::TKind::BadArgument, QStringLiteral("Line break in command")));
    });
}

bool TNMFTP::ChangeDir(const QString& folder) {
    return DoCommand(QStringLiteral("CWD ") + folder);
}

bool TNMFTP::Mode(int kind) {
    switch (kind) {
    case 1:
        return DoCommand(QStringLiteral("TYPE A"));
    case 2:
        return DoCommand(QStringLiteral("TYPE I"));
    case 3:
        return DoCommand(QStringLiteral("TYPE L 8"));
    default:
        return start(TOperation::Command, [this] { complete(); });
    }
}

bool TNMFTP::Disconnect() {
    return start(TOperation::Disconnect, [this] {
        if (!connected) {
            complete();
            return;
        }
        sendQuit(TState::Quit);
    });
}
