#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class QAbstractSocket;

// One complete server reply of a text protocol (SMTP, FTP): every line of
// it, and the code of its final line, which is the one that counts.
struct TReply {
    int code = 0; // 0 when the final line does not begin with three digits
    QStringList lines;
    QString Text() const { return lines.join(QStringLiteral("\r\n")); }
};

// Cuts received bytes into whole replies. A reply may arrive in any number
// of pieces; a line "ddd-..." opens a multi-line reply that ends with the
// first line beginning "ddd " (or just "ddd") with the same code.
//
// Every reply is bounded: a line longer than kMaxLine, or a reply of more
// than kMaxReplyLines lines or kMaxReplyBytes bytes, is a protocol error.
// The reader then reports Overflowed() and takes nothing more until Clear.
class TReplyReader {
public:
    void Feed(const QByteArray& bytes);
    // The next complete reply, if one has arrived.
    std::optional<TReply> TakeReply();
    void Clear();

    bool Overflowed() const { return overflowed; }
    // Bytes held for replies not yet taken: unread input and the lines of
    // an unfinished multi-line reply.
    qsizetype Buffered() const { return buffer.size() - pos + pendingBytes; }

    static constexpr int kMaxLine = 4096;
    static constexpr int kMaxReplyLines = 512;
    static constexpr int kMaxReplyBytes = 64 * 1024;

private:
    std::optional<QString> takeLine();
    void overflow();

    QByteArray buffer;
    qsizetype pos = 0;     // bytes of buffer already taken; compacted now and then
    qsizetype scanned = 0; // searched for a line end up to here
    QStringList pending;   // lines of a multi-line reply so far
    qsizetype pendingBytes = 0;
    QString pendingCode;
    bool overflowed = false;
};

// Whether a text holds CR or LF, which would end a command line early and
// start another.
bool HasLineBreak(const QString& text);
bool HasLineBreak(const QByteArray& text);

// The part of a command/reply dialogue that SMTP and FTP share, on one
// socket: the connection, whole replies in (the greeting is one like any
// other), command lines out, a connection time-out (ConnectTimer) and a
// step time-out (StepTimer) that the protocol starts and stops, and a
// transcript of every line each way. The protocol adds its states, codes
// and data.
class TReplyEngine : public QObject {
    Q_OBJECT
public:
    enum class TDirection { Sent, Received };
    // Gets every line sent or received, without its line end; a secret
    // command arrives redacted.
    using TTranscript = std::function<void(TDirection, const QString&)>;

    explicit TReplyEngine(QAbstractSocket& socket, QObject* parent = nullptr);

    // Connects to host:port, forgetting anything received before.
    void Open(const QString& host, quint16 port);
    // Ends the connection at once, with its timers and anything received.
    void Abort();
    // The same, for the protocol's destructor: neither the socket nor this
    // engine tells `owner` anything more, the close included.
    void Shutdown(QObject* owner);

    // Sends one command line, adding CR LF. A command that holds a line
    // break is refused: false, and nothing sent. Anything received before
    // it cannot be its reply and is dropped, so a reply that came unasked
    // never answers this command.
    bool Send(const QByteArray& command);
    // The same, for a command that carries a credential: the transcript
    // shows its first `shownWords` words and "****" for the rest, which is
    // also what this returns; nothing when refused.
    std::optional<QByteArray> SendSecret(const QByteArray& command, int shownWords);
    // Sends lines that are not a command (a message and its end) as they
    // are, with their own line ends.
    void SendText(const QByteArray& text);
    // Forgets what arrived so far, also in the middle of handling a reply.
    void DropInput();

    void StartStepTimer();
    void StopStepTimer();

    void SetTranscript(TTranscript hook) { transcript = std::move(hook); }
    qsizetype BufferedBytes() const { return reader.Buffered(); }

    // Started by the protocol after Open and stopped when its greeting has
    // come; when it fires, the connection is aborted (ConnectTimedOut).
    QTimer ConnectTimer;
    QTimer StepTimer;

signals:
    void ConnectTimedOut();
    void ReplyReceived(const TReply& reply);
    void StepTimedOut();
    // A reply passed the reader's bounds; the connection has been aborted.
    void ReplyTooLong();

private:
    void readAvailable();
    void write(const QByteArray& bytes, const QByteArray& shown);
    void record(TDirection direction, const QString& text);

    QAbstractSocket& socket;
    TReplyReader reader;
    TTranscript transcript;
    quint64 epoch = 0; // moves on with every Send and DropInput
};
