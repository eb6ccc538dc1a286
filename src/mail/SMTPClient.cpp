#include "SMTPClient.h"

#include "mail/MailLookup.h"
#include "mail/SMTPMessage.h"
#include "platform/TextRules.h"

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
    case TSMTPClient::TState::Ehlo:
        return "EHLO";
    case TSMTPClient::TState::StartTls:
        return "STARTTLS";
    case TSMTPClient::TState::TlsHandshake:
        return "TLS handshake";
    case TSMTPClient::TState::AuthPlain:
        return "AUTH PLAIN";
    case TSMTPClient::TState::AuthLogin:
        return "AUTH LOGIN";
    case TSMTPClient::TState::AuthLoginUser:
        return "AUTH LOGIN user";
    case TSMTPClient::TState::AuthLoginPassword:
        return "AUTH LOGIN password";
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
    case TSMTPClient::TState::Ehlo:
    case TSMTPClient::TState::MailFrom:
    case TSMTPClient::TState::Message:
        return QStringLiteral("250");
    case TSMTPClient::TState::StartTls:
        return QStringLiteral("220");
    case TSMTPClient::TState::AuthPlain:
    case TSMTPClient::TState::AuthLoginPassword:
        return QStringLiteral("235");
    case TSMTPClient::TState::AuthLogin:
    case TSMTPClient::TState::AuthLoginUser:
        return QStringLiteral("334");
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

// The keywords of an EHLO reply, upper case, each with its arguments; the
// first line is the server's greeting, not a keyword.
QStringList Capabilities(const TReply& reply) {
    QStringList out;
    for (qsizetype i = 1; i < reply.lines.size(); ++i)
        out << reply.lines[i].mid(4).trimmed().toUpper();
    return out;
}

// The mechanisms after "AUTH" (or the older "AUTH=").
QStringList AuthMechanisms(const QStringList& capabilities) {
    QStringList out;
    for (const QString& c : capabilities)
        if (c.startsWith(QLatin1String("AUTH ")) || c.startsWith(QLatin1String("AUTH=")))
            out += c.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return out;
}

// What an operator can act on, for each way a certificate is refused.
QString CertificateReasons(const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& e : errors) {
        QString reason;
        switch (e.error()) {
        case QSslError::CertificateExpired:
            reason = QStringLiteral("expired");
            break;
        case QSslError::CertificateNotYetValid:
            reason = QStringLiteral("not yet valid");
            break;
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::CertificateUntrusted:
            reason = QStringLiteral("unknown issuer");
            break;
        case QSslError::HostNameMismatch:
            reason = QStringLiteral("name mismatch");
            break;
        default:
            reason = e.errorString();
            break;
        }
        if (!reasons.contains(reason))
            reasons << reason;
    }
    return reasons.join(QStringLiteral(", "));
}

QString LastLine(const TReply& reply) {
    return reply.lines.isEmpty() ? QString() : reply.lines.last().trimmed();
}

} // namespace

TSMTPClient::TSMTPClient(const TEmailSettings& email, TSMTPHooks hooks, QObject* parent)
    : QObject(parent), pingPong(ClientSocket1, this), email(email), hooks(std::move(hooks)) {
    ClientSocket1.setObjectName(QStringLiteral("ClientSocket1"));
    for (auto [timer, name] : {std::pair{&TimerSMTP, "TimerSMTP"}, {&TimerSMTP2, "TimerSMTP2"}}) {
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(15000);
    }
    connect(&pingPong, &TReplyEngine::ConnectTimedOut, this, &TSMTPClient::TimerSMTPTimer);
    connect(&pingPong, &TReplyEngine::Greeted, this, &TSMTPClient::greeted);
    connect(&pingPong, &TReplyEngine::ReplyReceived, this, &TSMTPClient::replyReceived);
    connect(&pingPong, &TReplyEngine::StepTimedOut, this, &TSMTPClient::stepTimedOut);
    connect(&pingPong, &TReplyEngine::ReplyTooLong, this, &TSMTPClient::replyTooLong);
    connect(&ClientSocket1, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState s) {
                if (s == QAbstractSocket::ConnectingState)
                    ClientSocket1Connecting();
            });
    connect(&ClientSocket1, &QAbstractSocket::connected, this, &TSMTPClient::ClientSocket1Connect);
    connect(&ClientSocket1, &QAbstractSocket::disconnected, this,
            &TSMTPClient::ClientSocket1Disconnect);
    connect(&ClientSocket1, &QSslSocket::sslErrors, this, &TSMTPClient::ClientSocket1SslErrors);
    connect(&ClientSocket1, &QSslSocket::encrypted, this, &TSMTPClient::ClientSocket1Encrypted);
    // A handshake that fails without a certificate error (the peer does
    // not speak TLS) ends the attempt too, rather than by its time-out.
    connect(&ClientSocket1, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::SslHandshakeFailedError)
                    QMetaObject::invokeMethod(
                        this, [this, a = attempt] { tlsFailed(a); }, Qt::QueuedConnection);
            });
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
    loginRefused = false;
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
    // The exchangers of a domain take mail on port 25 without a login; the
    // protection and the login belong to the static server.
    security = useStatic ? email.mxSecurity : TMailSecurity::None;
    user = useStatic ? SingleLine(email.mxUser).trimmed() : QString();
    password = useStatic ? email.mxPassword : QString();
    verifyName = useStatic ? staticServer : QString();
    extended = security != TMailSecurity::None || !user.isEmpty();
    if (!user.isEmpty() && security == TMailSecurity::None) {
        refused(QStringLiteral(":::A user is set for the MAIL Server %1 but Security is None: the "
                               "password goes only over TLS. Nothing sent.")
                    .arg(staticServer));
        finish(false);
        return;
    }
    if (security != TMailSecurity::None && !QSslSocket::supportsSsl()) {
        refused(QStringLiteral(":::Security %1 asked for, but this system's Qt has no TLS "
                               "backend. Nothing sent.")
                    .arg(MailSecurityText(security)));
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
    ++attempt;
    tlsActive = false;
    tlsReason.clear();
    capabilities.clear();
    const bool ownPort = candidate < 0 && email.mxPort != 25;
    pingPong.Open(address, ownPort ? quint16(email.mxPort) : smtpPort, kGreetingCode);
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
    if (state == TState::Greeting && security == TMailSecurity::Tls) {
        // TLS from the first byte; the greeting comes inside it, and the
        // connection's time-out bounds the handshake as well.
        ClientSocket1.setPeerVerifyName(verifyName);
        ClientSocket1.startClientEncryption();
    }
}

void TSMTPClient::ClientSocket1SslErrors(const QList<QSslError>& errors) {
    // Never ignored: the socket drops the connection after this signal.
    tlsReason = CertificateReasons(errors);
    QMetaObject::invokeMethod(
        this, [this, a = attempt] { tlsFailed(a); }, Qt::QueuedConnection);
}

void TSMTPClient::ClientSocket1Encrypted() {
    const bool handshaking = state == TState::TlsHandshake ||
                             (state == TState::Greeting && security == TMailSecurity::Tls);
    if (!handshaking)
        return;
    tlsActive = true;
    debug(QStringLiteral(":::TLS established with MAIL Server at address: ") + serverAddress);
    if (state != TState::TlsHandshake)
        return;
    // What the server said before TLS counts no more (RFC 3207).
    capabilities.clear();
    pingPong.StartStepTimer();
    sendStep(TState::Ehlo, "EHLO [" + heloName + "]\r\n");
}

void TSMTPClient::tlsFailed(quint64 failedAttempt) {
    const bool handshaking = state == TState::TlsHandshake ||
                             (state == TState::Greeting && security == TMailSecurity::Tls);
    if (failedAttempt != attempt || !handshaking || tlsActive)
        return;
    if (!tlsReason.isEmpty())
        refused(QStringLiteral(":::Certificate of the MAIL Server %1 at address %2 refused: %3.")
                    .arg(verifyName, serverAddress, tlsReason));
    else
        refused(QStringLiteral(":::TLS with the MAIL Server %1 at address %2 failed: %3.")
                    .arg(verifyName, serverAddress, ClientSocket1.errorString()));
    pingPong.Abort();
    finish(false);
}

void TSMTPClient::refused(const QString& line) {
    if (hooks.log)
        hooks.log(line);
}

void TSMTPClient::ClientSocket1Disconnect() {
    debug(QStringLiteral(":::Disconnecting from Mail Server at address: ") + serverAddress);
}

void TSMTPClient::replyReceived(const TReply& reply) {
    if (state == TState::Idle || state == TState::Lookup)
        return;
    if (state == TState::Greeting || state == TState::TlsHandshake)
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
        switch (state) {
        case TState::Message:
            debug(QStringLiteral(":::MAIL Server did not accept the message."));
            break;
        case TState::Ehlo:
            refused(QStringLiteral(":::MAIL Server at address %1 did not accept EHLO: %2")
                        .arg(serverAddress, LastLine(reply)));
            break;
        case TState::StartTls:
            refused(QStringLiteral(":::MAIL Server at address %1 refused STARTTLS: %2")
                        .arg(serverAddress, LastLine(reply)));
            break;
        case TState::AuthPlain:
        case TState::AuthLogin:
        case TState::AuthLoginUser:
        case TState::AuthLoginPassword:
            refused(QStringLiteral(":::MAIL Server at address %1 refused the login of user %2: %3")
                        .arg(serverAddress, user, LastLine(reply)));
            loginRefused = reply.code >= 500 && reply.code < 600;
            break;
        default:
            break;
        }
        pingPong.StopStepTimer();
        pingPong.Abort();
        finish(false);
        return;
    }
    if (state == TState::Message)
        messageAccepted = true;
    if (state == TState::Ehlo)
        capabilities = Capabilities(reply);
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

void TSMTPClient::sendSecretStep(TState step, const QByteArray& command, int shownWords) {
    setState(step);
    const QByteArray shown = pingPong.SendSecret(command, shownWords);
    debug(QStringLiteral("--"));
    debug(QStringLiteral(">>>") + QString::fromUtf8(shown) + QStringLiteral("\r\n"));
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
    heloName = localIP.toUtf8();
    if (extended)
        sendStep(TState::Ehlo, "EHLO [" + heloName + "]\r\n");
    else
        sendStep(TState::Helo, "HELO [" + heloName + "]\r\n");
}

void TSMTPClient::afterCapabilities() {
    if (security == TMailSecurity::StartTls && !tlsActive) {
        if (!capabilities.contains(QStringLiteral("STARTTLS"))) {
            refused(QStringLiteral(":::MAIL Server at address %1 does not offer STARTTLS. Nothing "
                                   "more sent.")
                        .arg(serverAddress));
            pingPong.Abort();
            finish(false);
            return;
        }
        sendStep(TState::StartTls, "STARTTLS\r\n");
        return;
    }
    if (user.isEmpty()) {
        sendMailFrom();
        return;
    }
    if (!tlsActive) {
        // Only reached by a mistake of ours; the password stays here.
        refused(QStringLiteral(":::No TLS with the MAIL Server at address %1; login not sent.")
                    .arg(serverAddress));
        pingPong.Abort();
        finish(false);
        return;
    }
    const QStringList mechanisms = AuthMechanisms(capabilities);
    if (mechanisms.contains(QStringLiteral("PLAIN"))) {
        const QByteArray credentials = '\0' + user.toUtf8() + '\0' + password.toUtf8();
        sendSecretStep(TState::AuthPlain, "AUTH PLAIN " + credentials.toBase64() + "\r\n", 2);
    } else if (mechanisms.contains(QStringLiteral("LOGIN"))) {
        sendStep(TState::AuthLogin, "AUTH LOGIN\r\n");
    } else {
        refused(QStringLiteral(":::MAIL Server at address %1 offers no login method Velmora speaks "
                               "(PLAIN, LOGIN); it offers: %2")
                    .arg(serverAddress, mechanisms.isEmpty() ? QStringLiteral("none")
                                                             : mechanisms.join(QLatin1Char(' '))));
        pingPong.Abort();
        finish(false);
    }
}

void TSMTPClient::sendMailFrom() {
    const QString sender = SingleLine(email.yourAddress).trimmed();
    if (sender.isEmpty()) {
        debug(QStringLiteral(":::Your EMAIL Address is missing."));
        pingPong.Abort();
        finish(false);
        return;
    }
    sendStep(TState::MailFrom, "MAIL FROM:" + Bracketed(sender).toUtf8() + "\r\n");
}

void TSMTPClient::stepDone() {
    pingPong.StartStepTimer();
    const QString sender = SingleLine(email.yourAddress).trimmed();
    switch (state) {
    case TState::Helo:
    case TState::AuthPlain:
    case TState::AuthLoginPassword:
        sendMailFrom();
        return;
    case TState::Ehlo:
        afterCapabilities();
        return;
    case TState::StartTls:
        // Nothing that came in the clear may be read as if it came in TLS.
        setState(TState::TlsHandshake);
        ClientSocket1.readAll();
        pingPong.DropInput();
        ClientSocket1.setPeerVerifyName(verifyName);
        ClientSocket1.startClientEncryption();
        return;
    case TState::AuthLogin:
        sendSecretStep(TState::AuthLoginUser, user.toUtf8().toBase64() + "\r\n", 0);
        return;
    case TState::AuthLoginUser:
        sendSecretStep(TState::AuthLoginPassword, password.toUtf8().toBase64() + "\r\n", 0);
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
    if (state == TState::TlsHandshake)
        refused(QStringLiteral(":::TLS with the MAIL Server %1 at address %2 not set up in time.")
                    .arg(verifyName, serverAddress));
    pingPong.Abort();
    finish(false);
}
