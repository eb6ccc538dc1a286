#pragma once

#include "mail/MailSettings.h"
#include "net/NameLookup.h"
#include "net/ReplyEngine.h"

#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QSslSocket>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

// What the client reads from the session. Each is asked when it is needed,
// so it always sees the present value.
struct TSMTPHooks {
    std::function<void(const QString&)> log; // the EMAIL Log; a text may hold CR LF
    std::function<bool()> closePending;
    std::function<QStringList()> dnsServers; // the DNS Resolver page's list
    std::function<QString()> shownDnsServer; // the server that page shows
    std::function<QString()> localHostIP;
    std::function<QString()> clockText;
};

// Delivers one notification by SMTP: finds the mail server (the static one
// or the exchangers of the recipient's domain), greets, HELO, MAIL FROM,
// RCPT TO, DATA, the message, QUIT. With a security mode or a user set for
// the static server, EHLO takes HELO's place, followed by STARTTLS and EHLO
// again (or TLS from the first byte) and the login, before MAIL FROM. Asynchronous: DeliverMail
// starts the delivery and returns; Finished reports its outcome. The static server's name is looked
// up asynchronously, the exchangers' query runs on a thread of its own, every other step on the
// socket's events, so the event loop never waits.
class TSMTPClient : public QObject {
    Q_OBJECT
public:
    enum class TState {
        Idle,
        Lookup,   // server address or exchangers being looked up
        Greeting, // connected or connecting, "220" awaited
        Helo,
        Ehlo,         // capabilities awaited
        StartTls,     // "220" to STARTTLS awaited
        TlsHandshake, // TLS being set up on the open connection
        AuthPlain,
        AuthLogin,         // "334" to AUTH LOGIN awaited
        AuthLoginUser,     // "334" to the user name awaited
        AuthLoginPassword, // "235" to the password awaited
        MailFrom,
        RcptTo,
        Data,
        Message,
        Quit,
    };

    // `email` is read at every step (sender, static server).
    TSMTPClient(const TEmailSettings& email, TSMTPHooks hooks, QObject* parent = nullptr);
    ~TSMTPClient() override;

    // Starts a delivery; false, and no Finished, when one is running.
    bool DeliverMail(const QString& recipient, const QString& subject, const QString& details);
    bool Busy() const { return state != TState::Idle; }
    TState State() const { return state; }
    // The last delivery ended because the server refused the login for good
    // (a 5xx to AUTH): trying again with the same settings only counts
    // against the account.
    bool LoginRefused() const { return loginRefused; }

    // Tests talk to servers on ports of their own: `port` stands in for 25,
    // also for a static server whose port is left at 25.
    void SetPort(quint16 port) { smtpPort = port; }
    void SetDNSPort(quint16 port) { dnsPort = port; }

    // Every line of the dialogue each way, as TReplyEngine gives it.
    void SetTranscript(TReplyEngine::TTranscript hook) { pingPong.SetTranscript(std::move(hook)); }
    // Bytes of server replies held right now; none once a delivery ended.
    qsizetype BufferedReplyBytes() const { return pingPong.BufferedBytes(); }

    QSslSocket ClientSocket1;

private:
    TReplyEngine pingPong;

public:
    // TimerSMTP bounds one connection up to the greeting, TimerSMTP2 each
    // step of the dialogue. Both live in the dialogue engine.
    QTimer& TimerSMTP = pingPong.ConnectTimer;
    QTimer& TimerSMTP2 = pingPong.StepTimer;

signals:
    // The delivery ended; `delivered` when the server took the message.
    void Finished(bool delivered);

private:
    struct TLookupResult;

    void setState(TState next);
    void debug(const QString& line);
    void finish(bool delivered);

    // Connection phase.
    void ConnectMailServer();
    void staticServerFound(const QString& dotted);
    void exchangersFound(bool resolved, const QStringList& candidates);
    void tryCandidate(int index);
    void openConnection(const QString& address);
    void connectFailed();
    void TimerSMTPTimer();
    void staticLookupEnded(const QList<QHostAddress>& addresses);
    void greeted(const TReply& reply);
    void nextAfterGreeting();
    void replyTooLong();
    void ClientSocket1SslErrors(const QList<QSslError>& errors);
    void ClientSocket1Encrypted();
    void tlsFailed(quint64 attempt);
    // Written whatever the debug switch says: a refusal the operator must
    // be told of, or the entry stays queued with nobody knowing why.
    void refused(const QString& line);

    // Dialogue.
    void startDialogue();
    void sendStep(TState step, const QByteArray& command);
    void sendSecretStep(TState step, const QByteArray& command, int shownWords);
    void sendMessage(const QByteArray& text);
    void lineBreakRefused(const QByteArray& command);
    void afterCapabilities();
    void sendMailFrom();
    void replyReceived(const TReply& reply);
    void stepDone();
    void stepTimedOut();

    void ClientSocket1Connecting();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();

    const TEmailSettings& email;
    TSMTPHooks hooks;
    quint16 smtpPort = 25;
    quint16 dnsPort = 53;

    TState state = TState::Idle;
    QList<int> expectedCodes;
    TNameLookup hostLookup; // the static server's name
    quint64 lookupId = 0;   // results of an older exchangers' query are ignored
    // The entry being delivered, copied, so that the queue may change under it.
    QString recipient, subject, details;
    QString domain;
    QString serverAddress; // the address ClientSocket1 was last opened on
    QStringList candidates;
    int candidate = -1; // index into candidates; -1 for the static server
    bool messageAccepted = false;
    bool loginRefused = false;

    // This attempt's protection and login; plain HELO when neither is set.
    TMailSecurity security = TMailSecurity::None;
    QString user, password;
    QString verifyName; // the host name the certificate must carry
    QByteArray heloName;
    bool extended = false;
    bool tlsActive = false;
    QStringList capabilities; // EHLO keywords, upper case, with their arguments
    quint64 attempt = 0;      // moves on with every connection opened
    QString tlsReason;        // why the certificate was refused
};
