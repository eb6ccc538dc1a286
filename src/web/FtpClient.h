#pragma once

#include "net/NameLookup.h"
#include "net/ReplyEngine.h"

#include <QFile>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <optional>

// How an FTP operation ended. The texts are the ones the operator sees in
// an error box.
struct TFtpError {
    enum class TKind {
        None,
        Socket,       // the socket layer; the texts of SocketErrors.h among them
        Reply,        // a failure reply; the text is its first line
        TimedOut,     // a wait passed TimeOut; the text names the wait
        NotConnected, // "Not Connected"
        File,         // the local file could not be read
        BadArgument,  // a line break in a text that goes into a command
    };
    TKind kind = TKind::None;
    QString text;
    bool Failed() const { return kind != TKind::None; }
};
Q_DECLARE_METATYPE(TFtpError)

// An FTP client over one control connection, for storing files in active
// mode: connect and log in, commands (CWD, TYPE), uploads and QUIT.
//
// Every operation is asynchronous: it returns at once and ends with Done,
// never before it has returned, and never in a nested event loop. Only one
// runs at a time; a call while one runs is refused (false, no signal). The
// events come on the way, as the dialogue reaches them. Each wait (lookup,
// connect, each reply, the data connection's accept, each block sent, the
// close of the data connection) is bounded by TimeOut; a wait that passes it
// gives up the control connection at once, since the dialogue is out of
// step by then.
class TNMFTP : public QObject {
    Q_OBJECT
public:
    // The command kinds of OnSuccess and OnFailure.
    enum TCmdType {
        cmdChangeDir = 0,
        cmdMakeDir = 1,
        cmdDelete = 2,
        cmdRemoveDir = 3,
        cmdList = 4,
        cmdRename = 5,
        cmdUpRestore = 6,
        cmdDownRestore = 7,
        cmdDownload = 8,
        cmdUpload = 9,
        cmdAppend = 10,
        cmdreInit = 11,
        cmdAllocate = 12,
        cmdNList = 13,
        cmdDoCommand = 14,
        cmdCurrentDir = 15,
    };
    Q_ENUM(TCmdType)

    enum class TState {
        Idle,
        Resolving,
        Connecting,
        Greeting,
        User,
        Pass,
        LoginQuit, // QUIT after a refused greeting or login
        LoggedIn,
        Command,
        Port,
        Stor,
        Accepting,
        Sending,
        Closing, // the data connection being closed
        ClosingReply,
        Quit,
    };
    enum class TOperation { None, Connect, Command, Upload, Disconnect };
    Q_ENUM(TOperation)

    explicit TNMFTP(QObject* parent = nullptr);
    ~TNMFTP() override;

    // Parameters of the next Connect.
    QString Host;
    quint16 Port = 21;
    QString UserID;
    QString Password;
    // Bound on each wait, in milliseconds.
    int TimeOut = 30000;

    bool Connected() const { return connected; }
    bool Busy() const { return operation != TOperation::None; }
    TState State() const { return state; }

    // Opens the control connection and logs in; nothing to do when connected.
    bool Connect();
    // A command line without its line end; its first word gives the kind.
    bool DoCommand(const QString& line);
    bool ChangeDir(const QString& folder);
    // 1: TYPE A, 2: TYPE I, 3: TYPE L 8; other kinds do nothing.
    bool Mode(int kind);
    // Stores the local file under `remoteName` (its own file name when
    // empty) in the server's current folder.
    bool Upload(const QString& localPath, const QString& remoteName);
    // QUIT and close; nothing to do (and no event) when not connected.
    bool Disconnect();
    // Ends the operation in progress as a wait that timed out, with `text`
    // as its error, closing the control connection; false when none runs.
    bool GiveUp(const QString& text);

    // Every control line each way; PASS shows "****" for the password.
    void SetTranscript(TReplyEngine::TTranscript hook) { pingPong.SetTranscript(std::move(hook)); }

    // The kind of a command line: CWD, MKD, DELE, RMD by their first word,
    // "PWD" exactly, anything else cmdDoCommand.
    static TCmdType CommandKind(const QString& line);
    // "cmdChangeDir" ... "cmdCurrentDir"; "Other Command" for other values.
    static QString CmdTypeName(int kind);

signals:
    void OnConnect();
    void OnDisconnect();
    void OnConnectionFailed();
    // `handled` is false on entry; a handler may set it.
    void OnConnectionRequired(bool* handled);
    void OnError(int number, const QString& text);
    void OnSuccess(TNMFTP::TCmdType kind);
    void OnFailure(bool* handled, TNMFTP::TCmdType kind);
    // The operation started last has ended.
    void Done(TNMFTP::TOperation operation, const TFtpError& error);

private:
    void setState(TState next);
    bool start(TOperation op, std::function<void()> begin);
    void complete(const TFtpError& error = {});
    bool requireConnection();
    void waitStep();
    QString timeOutText() const;

    // Control connection.
    void resolved(const QList<QHostAddress>& addresses);
    void openTcp(const QString& address);
    void socketConnected();
    void socketError(QAbstractSocket::SocketError error);
    void socketDisconnected();
    void replyReceived(const TReply& reply);
    void stepTimedOut();
    void giveUp(const QString& text);
    void replyTooLong();
    bool sendCommand(TState next, const QByteArray& line);
    void sendQuit(TState next);
    void closeControl();
    void loginReply(const TReply& reply);
    void loginRefused(const TReply& reply);

    // Upload.
    void uploadFailed(const TFtpError& error);
    void uploadReply(const TReply& reply);
    void acceptData();
    void sendBlock();
    void dataWritten();
    void dataError(QAbstractSocket::SocketError error);
    void closeData();
    void dataClosed();
    void closingReply(const TReply& reply);
    void endUpload();

    QTcpSocket socket;
    TReplyEngine pingPong;
    TNameLookup lookup;
    bool connected = false;
    bool closing = false; // our own close: its disconnected is no peer close
    TState state = TState::Idle;
    TOperation operation = TOperation::None;
    quint64 epoch = 0; // moves on with every operation; stale queued calls see it
    TCmdType commandKind = cmdDoCommand;
    QString commandWord;    // names the command in a time-out text
    TFtpError pendingError; // of a refused login, given once QUIT is done

    // The data connection of the upload in progress.
    std::unique_ptr<QTcpServer> listener;
    std::unique_ptr<QTcpSocket> data;
    QFile file;
    QString remoteName;
    bool failureReported = false;
    std::optional<TReply> earlyReply; // a control reply that came mid-transfer
};

using TCmdType = TNMFTP::TCmdType;
