#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class QAbstractSocket;
class QTimer;

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
class TReplyReader {
public:
    void Feed(const QByteArray& bytes) { buffer += bytes; }
    // The next complete reply, if one has arrived.
    std::optional<TReply> TakeReply();
    void Clear();

    // A line longer than this ends as it is, so a peer that never sends a
    // line break cannot make the buffer grow without end.
    static constexpr int kMaxLine = 4096;

private:
    std::optional<QString> takeLine();

    QByteArray buffer;
    QStringList pending; // lines of a multi-line reply so far
    QString pendingCode;
};

// The reply side of a command/reply dialogue on one socket: whole replies
// in, commands out, and a step time-out that the protocol restarts at each
// step. SMTP and FTP each add their states and expected codes on top.
class TPingPong : public QObject {
    Q_OBJECT
public:
    TPingPong(QAbstractSocket& socket, QTimer& stepTimer, QObject* parent = nullptr);

    // Sends a command. Anything received before it cannot be its reply and
    // is dropped, so a reply that came unasked never answers this command.
    void Send(const QByteArray& command);
    // Forgets what arrived so far, also in the middle of handling a reply.
    void DropInput();

    void StartStepTimer();
    void StopStepTimer();

signals:
    void ReplyReceived(const TReply& reply);
    void StepTimedOut();

private:
    void readAvailable();

    QAbstractSocket& socket;
    QTimer& stepTimer;
    TReplyReader reader;
    quint64 epoch = 0; // moves on with every Send and DropInput
};
