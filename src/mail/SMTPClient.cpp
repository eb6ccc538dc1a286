#include "SMTPClient.h"

#include "mail/MailLookup.h"
#include "mail/SMTPMessage.h"
#include "platform/Helpers.h"

#include <QHostAddress>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcSmtp, "velmora.smtp", QtWarningMsg)

const char* StateName(TSMTPClient::TState s) {
    switch (s) {
    case TSMTPClient::TState::Idle:
        return "idle";
    case TSMTPClient::TState::Lookup:
        return "lookup";
    case TSMTPClient::TState::Greeting:
        return "greeting";
    case TSMTPClient::TState::Helo:
        return "HELO";
    case TSMTPClient::TState::MailFrom:
        return "MAIL";
    case TSMTPClient::TState::RcptTo:
        return "RCPT";
    case TSMTPClient::TState::Data:
        return "DATA";
    case TSMTPClient::TState::Message:
        return "message";
    case TSMTPClient::TState::Quit:
        return "QUIT";
    }
    return "?";
}

// The codes that acknowledge each step. The message needs 250: any other
// reply means the server did not take it.
QString ExpectedCodes(TSMTPClient::TState s) {
    switch (s) {
    case TSMTPClient::TState::Helo:
    case TSMTPClient::TState::MailFrom:
    case TSMTPClient::TState::Message:
        return QStringLiteral("250");
    case TSMTPClient::TState::RcptTo:
        return QStringLiteral("250,251");
    case TSMTPClient::TState::Data:
        return QStringLiteral("354");
    case TSMTPClient::TState::Quit:
        return QStringLiteral("221");
    default:
        return QString();
    }
}

constexpr int kGreetingCode = 220;

// The address HELO names. A loopback address (a host name that resolves to
// 127.0.1.1 on many systems) or none tells the server nothing, so the local
// end of the connection is named instead.
QString HeloAddress(const QString& configured, const QAbstractSocket& socket) {
    const QString text = configured.trimmed();
    if (!text.isEmpty() && !QHostAddress(text).isLoopback())
        return text;
    const QHostAddress local = socket.localAddress();
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    return local.isNull() ? QString() : QStringLiteral("IPv6:") + local.toString();
}

} // namespace

TSMTPClient::TSMTPClient(const TEmailSettings& email, TSMTPHooks hooks, QObject* parent)
    : QObject(parent), pingPong(ClientSocket1, this), email(email), hooks(std::move(hooks)) {
    ClientSocket1.setObjectName(QStringLiteral("ClientSocket1"));
    for (auto [timer, name] : {std::pair{&TimerSMTP, "TimerSMTP"}, {&TimerSMTP2, "TimerSMTP2"}}) {
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(15000);
    }
    connect(&pingPong, &TPingPong::ConnectTimedOut, this, &TSMTPClient::TimerSMTPTimer);
    connect(&pingPong, &TPingPong::Greeted, this, &TSMTPClient::greeted);
    connect(&pingPong, &TPingPong::ReplyReceived, this, &TSMTPClient::replyReceived);
    connect(&pingPong, &TPingPong::StepTimedOut, this, &TSMTPClient::stepTimedOut);
    connect(&pingPong, &TPingPong::ReplyTooLong, this, &TSMTPClient::replyTooLong);
    connect(&ClientSocket1, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState s) {
                if (s == QAbstractSocket::ConnectingState)
                    ClientSocket1Connecting();
            });
    connect(&ClientSocket1, &QAbstractSocket::connected, this, &TSMTPClient::ClientSocket1Connect);
    connect(&ClientSocket1, &QAbstractSocket::disconnected, this,
            &TSMTPClient::ClientSocket1Disconnect);
    // Socket errors are not reported: the attempt ends by its time-out.
}

TSMTPClient::~TSMTPClient() {
    // The socket reports its own closing; nobody is left to hear it.
    ClientSocket1.disconnect(this);
    pingPong.disconnect(this);
    ClientSocket1.abort();
}

void TSMTPClient::setState(TState next) {
    qCDebug(lcSmtp) << StateName(state) << "->" << StateName(next);
    state = next;
    expectedCodes = ExpectedCodes(next);
}

void TSMTPClient::debug(const QString& line) {
    if (email.debugEMAIL && hooks.log)
        hooks.log(line);
}

bool TSMTPClient::DeliverMail(const QString& to, const QString& subj, const QString& body) {
    if (Busy())
        return false;
    recipient = SingleLine(to).trimmed();
    subject = subj;
    details = body;
    messageAccepted = false;
    candidates.clear();
    candidate = -1;
    ConnectMailServer();
    return true;
}

void TSMTPClient::finish(bool delivered) {
    TimerSMTP.stop();
    pingPong.StopStepTimer();
    // Whatever the server sent last goes with the attempt.
    pingPong.DropInput();
    setState(TState::Idle);
    emit Finished(delivered);
}

void TSMTPClient::ConnectMailServer() {
    TimerSMTP.stop();
    if (recipient.isEmpty()) {
        debug(QStringLiteral(":::Empty Notification EMAIL Address."));
        finish(false);
        return;
    }
    const bool useStatic = email.useMXAddress;
    const QString staticServer = SingleLine(email.mxAddress).trimmed();
    if (useStatic && staticServer.isEmpty()) {
        debug(QStringLiteral(":::Address required for Static MX Server."));
        finish(false);
        return;
    }
    const QStringList pieces = SplitText(recipient, QStringLiteral("@"));
    if (pieces.size() != 2) {
        debug(QStringLiteral(":::Invalid EMAIL Address Specified."));
        finish(false);
        return;
    }
    domain = pieces[1];

    TMailLookupThread* lookup = nullptr;
    const quint64 id = ++lookupId;
    if (useStatic) {
        lookup = TMailLookupThread::ForHost(staticServer);
        connect(lookup, &TMailLookupThread::Found, this,
                [this, id](bool resolved, const QStringList& addresses) {
                    if (id != lookupId || state != TState::Lookup)
                        return;
                    if (!resolved || addresses.isEmpty()) {
                        debug(QStringLiteral(":::MX Server IP Address or NAME is NOT valid."));
                        finish(false);
                        return;
                    }
                    staticServerFound(addresses.first());
                });
    } else {
        if (!hooks.dnsServers || hooks.dnsServers().isEmpty()) {
            debug(QStringLiteral(":::No DNS Server Address Specified."));
            finish(false);
            return;
        }
        if (hooks.closePending && hooks.closePending()) {
            finish(false);
            return;
        }
        const QString server = hooks.shownDnsServer ? hooks.shownDnsServer() : QString();
        lookup = TMailLookupThread::ForExchangers(server, dnsPort, domain);
        connect(lookup, &TMailLookupThread::Found, this,
                [this, id](bool resolved, const QStringList& addresses) {
                    if (id == lookupId && state == TState::Lookup)
                        exchangersFound(resolved, addresses);
                });
    }
    setState(TState::Lookup);
    lookup->start();
}

void TSMTPClient::staticServerFound(const QString& dotted) {
    setState(TState::Greeting);
    pingPong.Abort();
    if (hooks.closePending && hooks.closePending()) {
        finish(false);
        return;
    }
    candidate = -1;
    openConnection(dotted);
}

void TSMTPClient::exchangersFound(bool resolved, const QStringList& found) {
    if (!resolved) {
        debug(QStringLiteral(":::Error Resolving MX host: ") + domain);
        finish(false);
        return;
    }
    if (hooks.closePending && hooks.closePending()) {
        finish(false);
        return;
    }
    candidates = found;
    if (candidates.isEmpty()) {
        debug(QStringLiteral(":::No MX Records to work with."));
        finish(false);
        return;
    }
    setState(TState::Greeting);
    tryCandidate(0);
}

void TSMTPClient::tryCandidate(int index) {
    if (index >= candidates.size() || (hooks.closePending && hooks.closePending())) {
        connectFailed();
        return;
    }
    debug(QStringLiteral(":::Attempt to connect to MAIL Server %1/%2")
              .arg(index + 1)
              .arg(candidates.size()));
    pingPong.Abort();
    candidate = index;
    openConnection(candidates[index]);
}

void TSMTPClient::openConnection(const QString& address) {
    serverAddress = address;
    pingPong.Open(address, smtpPort, kGreetingCode);
}

void TSMTPClient::connectFailed() {
    TimerSMTP.stop();
    pingPong.Abort();
    debug(QStringLiteral(":::Could NOT connect to a MAIL Server at: ") +
          (candidate < 0 ? serverAddress : domain));
    finish(false);
}

void TSMTPClient::TimerSMTPTimer() {
    // The engine has aborted the connection already.
    if (state != TState::Greeting)
        return;
    debug(QStringLiteral(":::Timeout occurred trying to connect to MAIL server at address: ") +
          serverAddress);
    if (candidate >= 0)
        tryCandidate(candidate + 1);
    else
        connectFailed();
}

void TSMTPClient::ClientSocket1Connecting() {
    debug(QStringLiteral(":::Attempting to connect to MAIL Server at address: ") + serverAddress);
}

void TSMTPClient::ClientSocket1Connect() {
    debug(QStringLiteral(":::Connected to MAIL Server at address: ") + serverAddress);
}

void TSMTPClient::ClientSocket1Disconnect() {
    debug(QStringLiteral(":::Disconnecting from Mail Server at address: ") + serverAddress);
}

void TSMTPClient::replyReceived(const TReply& reply) {
    if (state == TState::Idle || state == TState::Lookup)
        return;
    if (state == TState::Greeting)
        return;
    debug(reply.Text().trimmed());
    const bool acknowledged =
        reply.code != 0 &&
        expectedCodes.split(QLatin1Char(',')).contains(QString::number(reply.code));
    if (state == TState::Quit) {
        // The message was taken already; the reply to QUIT changes nothing.
        stepDone();
        return;
    }
    if (!acknowledged) {
        // A definite refusal ends the delivery at once; waiting for the
        // step's time-out would only hold the queue and the close up.
        if (state == TState::Message)
            debug(QStringLiteral(":::MAIL Server did not accept the message."));
        pingPong.StopStepTimer();
        pingPong.Abort();
        finish(false);
        return;
    }
    if (state == TState::Message)
        messageAccepted = true;
    stepDone();
}

void TSMTPClient::greeted(const TReply& reply, bool expected) {
    if (state != TState::Greeting)
        return;
    debug(reply.Text().trimmed());
    if (expected && !(candidate >= 0 && hooks.closePending && hooks.closePending())) {
        startDialogue();
        return;
    }
    // A refusing greeting (or a close asked for meanwhile) ends this server
    // as a time-out would, only sooner.
    nextAfterGreeting();
}

void TSMTPClient::nextAfterGreeting() {
    pingPong.Abort();
    if (candidate >= 0 && !(hooks.closePending && hooks.closePending()))
        tryCandidate(candidate + 1);
    else
        connectFailed();
}

void TSMTPClient::replyTooLong() {
    if (state == TState::Idle || state == TState::Lookup)
        return;
    // Written whether or not EMAIL debugging is on: otherwise the entry
    // would stay queued with nobody told why.
    if (hooks.log)
        hooks.log(QStringLiteral(":::Reply from the MAIL Server at address %1 too long; attempt "
                                 "ended.")
                      .arg(serverAddress));
    if (state == TState::Greeting)
        nextAfterGreeting();
    else
        finish(false);
}

void TSMTPClient::sendStep(TState step, const QByteArray& command) {
    setState(step);
    pingPong.Send(command);
    debug(QStringLiteral("--"));
    debug(QStringLiteral(">>>") + QString::fromUtf8(command));
}

void TSMTPClient::startDialogue() {
    pingPong.StartStepTimer();
    const QString localIP =
        HeloAddress(SingleLine(hooks.localHostIP ? hooks.localHostIP() : QString()), ClientSocket1);
    if (localIP.isEmpty()) {
        // Without HELO no server goes on; give up now rather than later.
        debug(QStringLiteral(":::Your IP address is NULL."));
        pingPong.Abort();
        finish(false);
        return;
    }
    sendStep(TState::Helo, "HELO [" + localIP.toUtf8() + "]\r\n");
}

void TSMTPClient::stepDone() {
    pingPong.StartStepTimer();
    const QString sender = SingleLine(email.yourAddress).trimmed();
    switch (state) {
    case TState::Helo:
        if (sender.isEmpty()) {
            debug(QStringLiteral(":::Your EMAIL Address is missing."));
            pingPong.Abort();
            finish(false);
            return;
        }
        sendStep(TState::MailFrom, "MAIL FROM:" + Bracketed(sender).toUtf8() + "\r\n");
        return;
    case TState::MailFrom:
        sendStep(TState::RcptTo, "RCPT TO:" + Bracketed(recipient).toUtf8() + "\r\n");
        return;
    case TState::RcptTo:
        sendStep(TState::Data, "DATA\r\n");
        return;
    case TState::Data:
        sendStep(TState::Message, SMTPMessageText(hooks.clockText ? hooks.clockText() : QString(),
                                                  sender, subject, recipient, details));
        return;
    case TState::Message:
        sendStep(TState::Quit, "QUIT\r\n");
        debug(QString());
        return;
    case TState::Quit: {
        pingPong.StopStepTimer();
        pingPong.Abort();
        const QString clock = hooks.clockText ? hooks.clockText() : QString();
        if (hooks.log) {
            hooks.log(QStringLiteral("EMAIL sent to: ") + recipient + QStringLiteral(", ") + clock);
            hooks.log(QStringLiteral("Message Body: ") + SingleLine(details));
        }
        finish(true);
        return;
    }
    default:
        return;
    }
}

void TSMTPClient::stepTimedOut() {
    if (state == TState::Quit && messageAccepted) {
        debug(QStringLiteral(":::No reply to QUIT; the message had been accepted."));
        stepDone();
        return;
    }
    if (state == TState::Idle || state == TState::Lookup || state == TState::Greeting)
        return;
    pingPong.Abort();
    finish(false);
}
