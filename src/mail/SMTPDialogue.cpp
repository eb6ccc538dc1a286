#include "SMTPClient.h"

#include "mail/SMTPMessage.h"

#include <QHostAddress>

// The dialogue half of the client: from HELO or EHLO, once the server has
// greeted, to the reply to QUIT.

namespace {

// The codes that acknowledge each step. The message needs 250: any other
// reply means the server did not take it.
QList<int> ExpectedCodes(TSMTPClient::TState s) {
    switch (s) {
    case TSMTPClient::TState::Helo:
    case TSMTPClient::TState::Ehlo:
    case TSMTPClient::TState::MailFrom:
    case TSMTPClient::TState::Message:
        return {250};
    case TSMTPClient::TState::StartTls:
        return {220};
    case TSMTPClient::TState::AuthPlain:
    case TSMTPClient::TState::AuthLoginPassword:
        return {235};
    case TSMTPClient::TState::AuthLogin:
    case TSMTPClient::TState::AuthLoginUser:
        return {334};
    case TSMTPClient::TState::RcptTo:
        return {250, 251};
    case TSMTPClient::TState::Data:
        return {354};
    case TSMTPClient::TState::Quit:
        return {221};
    default:
        return {};
    }
}

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

QString LastLine(const TReply& reply) {
    return reply.lines.isEmpty() ? QString() : reply.lines.last().trimmed();
}

} // namespace

void TSMTPClient::replyReceived(const TReply& reply) {
    if (state == TState::Idle || state == TState::Lookup || state == TState::TlsHandshake)
        return;
    if (state == TState::Greeting) {
        greeted(reply);
        return;
    }
    debug(reply.Text().trimmed());
    const bool acknowledged = reply.code != 0 && expectedCodes.contains(reply.code);
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

void TSMTPClient::sendStep(TState step, const QByteArray& command) {
    setState(step);
    expectedCodes = ExpectedCodes(step);
    if (!pingPong.Send(command)) {
        lineBreakRefused(command);
        return;
    }
    debug(QStringLiteral("--"));
    debug(QStringLiteral(">>>") + QString::fromUtf8(command) + QStringLiteral("\r\n"));
}

void TSMTPClient::sendSecretStep(TState step, const QByteArray& command, int shownWords) {
    setState(step);
    expectedCodes = ExpectedCodes(step);
    const std::optional<QByteArray> shown = pingPong.SendSecret(command, shownWords);
    if (!shown) {
        lineBreakRefused("AUTH");
        return;
    }
    debug(QStringLiteral("--"));
    debug(QStringLiteral(">>>") + QString::fromUtf8(*shown) + QStringLiteral("\r\n"));
}

void TSMTPClient::sendMessage(const QByteArray& text) {
    setState(TState::Message);
    expectedCodes = ExpectedCodes(TState::Message);
    pingPong.SendText(text);
    debug(QStringLiteral("--"));
    debug(QStringLiteral(">>>") + QString::fromUtf8(text));
}

// A value that reaches a command (the sender, the recipient) may not end
// it early and start another; the delivery ends, whatever the debug switch
// says, so that the operator learns which value to mend.
void TSMTPClient::lineBreakRefused(const QByteArray& command) {
    const QByteArray word = command.left(command.indexOf(' '));
    refused(QStringLiteral(":::Line break in the %1 command for the MAIL Server at address %2; "
                           "nothing sent.")
                .arg(QString::fromUtf8(word.left(16)), serverAddress));
    pingPong.Abort();
    finish(false);
}

void TSMTPClient::startDialogue() {
    pingPong.StartStepTimer();
    const QString localIP =
        HeloAddress(hooks.localHostIP ? hooks.localHostIP() : QString(), ClientSocket1);
    if (localIP.isEmpty()) {
        // Without HELO no server goes on; give up now rather than later.
        debug(QStringLiteral(":::Your IP address is NULL."));
        pingPong.Abort();
        finish(false);
        return;
    }
    heloName = localIP.toUtf8();
    if (extended)
        sendStep(TState::Ehlo, "EHLO [" + heloName + "]");
    else
        sendStep(TState::Helo, "HELO [" + heloName + "]");
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
        sendStep(TState::StartTls, "STARTTLS");
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
        sendSecretStep(TState::AuthPlain, "AUTH PLAIN " + credentials.toBase64(), 2);
    } else if (mechanisms.contains(QStringLiteral("LOGIN"))) {
        sendStep(TState::AuthLogin, "AUTH LOGIN");
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
    const QString sender = email.yourAddress.trimmed();
    if (sender.isEmpty()) {
        debug(QStringLiteral(":::Your EMAIL Address is missing."));
        pingPong.Abort();
        finish(false);
        return;
    }
    sendStep(TState::MailFrom, "MAIL FROM:" + Bracketed(sender).toUtf8());
}

void TSMTPClient::stepDone() {
    pingPong.StartStepTimer();
    const QString sender = email.yourAddress.trimmed();
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
        sendSecretStep(TState::AuthLoginUser, user.toUtf8().toBase64(), 0);
        return;
    case TState::AuthLoginUser:
        sendSecretStep(TState::AuthLoginPassword, password.toUtf8().toBase64(), 0);
        return;
    case TState::MailFrom:
        sendStep(TState::RcptTo, "RCPT TO:" + Bracketed(recipient).toUtf8());
        return;
    case TState::RcptTo:
        sendStep(TState::Data, "DATA");
        return;
    case TState::Data:
        sendMessage(SMTPMessageText(hooks.clockText ? hooks.clockText() : QString(), sender,
                                    subject, recipient, details));
        return;
    case TState::Message:
        sendStep(TState::Quit, "QUIT");
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
