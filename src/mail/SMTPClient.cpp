#include "SMTPClient.h"

#include "mail/MailLookup.h"
#include "mail/SMTPMessage.h"
#include "platform/Addresses.h"
#include "platform/TextRules.h"

#include <QHostAddress>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcSmtp, "velmora.smtp", QtWarningMsg)

// In the order of TSMTPClient::TState.
const char* const kStateNames[] = {"idle",
                                   "lookup",
                                   "greeting",
                                   "HELO",
                                   "EHLO",
                                   "STARTTLS",
                                   "TLS handshake",
                                   "AUTH PLAIN",
                                   "AUTH LOGIN",
                                   "AUTH LOGIN user",
                                   "AUTH LOGIN password",
                                   "MAIL",
                                   "RCPT",
                                   "DATA",
                                   "message",
                                   "QUIT"};
static_assert(std::size(kStateNames) == size_t(TSMTPClient::TState::Quit) + 1);

const char* StateName(TSMTPClient::TState s) {
    return kStateNames[size_t(s)];
}

constexpr int kGreetingCode = 220;

// The static server's name waits no longer than a DNS query would.
constexpr int kHostLookupMs = 5000;

// What an operator can act on, for each way a certificate is refused.
QString CertificateReason(const QSslError& error) {
    using E = QSslError;
    static const std::pair<E::SslError, const char*> kReasons[] = {
        {E::CertificateExpired, "expired"},
        {E::CertificateNotYetValid, "not yet valid"},
        {E::UnableToGetIssuerCertificate, "unknown issuer"},
        {E::UnableToGetLocalIssuerCertificate, "unknown issuer"},
        {E::UnableToVerifyFirstCertificate, "unknown issuer"},
        {E::SelfSignedCertificate, "unknown issuer"},
        {E::SelfSignedCertificateInChain, "unknown issuer"},
        {E::CertificateUntrusted, "unknown issuer"},
        {E::HostNameMismatch, "name mismatch"},
    };
    for (const auto& [kind, reason] : kReasons)
        if (error.error() == kind)
            return QLatin1String(reason);
    return error.errorString();
}

QString CertificateReasons(const QList<QSslError>& errors) {
    QStringList reasons;
    for (const QSslError& e : errors) {
        const QString reason = CertificateReason(e);
        if (!reasons.contains(reason))
            reasons << reason;
    }
    return reasons.join(QStringLiteral(", "));
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
    connect(&hostLookup, &TNameLookup::Found, this, &TSMTPClient::staticLookupEnded);
    connect(&hostLookup, &TNameLookup::TimedOut, this, [this] { staticLookupEnded({}); });
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
    pingPong.Shutdown(this);
}

void TSMTPClient::setState(TState next) {
    qCDebug(lcSmtp) << StateName(state) << "->" << StateName(next);
    state = next;
}

void TSMTPClient::debug(const QString& line) {
    if (email.debugEMAIL && hooks.log)
        hooks.log(line);
}

bool TSMTPClient::DeliverMail(const QString& to, const QString& subj, const QString& body) {
    if (Busy())
        return false;
    recipient = to.trimmed();
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
    hostLookup.Abort();
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

    const quint64 id = ++lookupId;
    if (useStatic) {
        setState(TState::Lookup);
        // The inet_addr forms ("127.1") are addresses here too, as they
        // are everywhere else an operator types one.
        const std::optional<quint32> direct = InetAddr(staticServer);
        hostLookup.Start(direct ? DottedText(*direct) : staticServer, kHostLookupMs);
        return;
    }
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
    TMailLookupThread* lookup = TMailLookupThread::ForExchangers(server, dnsPort, domain);
    connect(lookup, &TMailLookupThread::Found, this,
            [this, id](bool resolved, const QStringList& addresses) {
                if (id == lookupId && state == TState::Lookup)
                    exchangersFound(resolved, addresses);
            });
    setState(TState::Lookup);
    lookup->start();
}

void TSMTPClient::staticLookupEnded(const QList<QHostAddress>& addresses) {
    if (state != TState::Lookup)
        return;
    const std::optional<QHostAddress> address = TNameLookup::FirstIPv4(addresses);
    if (!address) {
        debug(QStringLiteral(":::MX Server IP Address or NAME is NOT valid."));
        finish(false);
        return;
    }
    staticServerFound(address->toString());
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
    pingPong.Open(address, ownPort ? quint16(email.mxPort) : smtpPort);
    TimerSMTP.start();
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
    sendStep(TState::Ehlo, "EHLO [" + heloName + "]");
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

// The greeting ends the connection phase: the dialogue begins, or this
// server is given up.
void TSMTPClient::greeted(const TReply& reply) {
    TimerSMTP.stop();
    debug(reply.Text().trimmed());
    const bool expected = reply.code == kGreetingCode;
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
