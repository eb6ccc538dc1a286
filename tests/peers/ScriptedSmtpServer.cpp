#include "ScriptedSmtpServer.h"

#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

TScriptedSmtpServer::TScriptedSmtpServer(const QString& address, quint16 port, Script s)
    : script(std::move(s)) {
    connect(&plain, &QTcpServer::newConnection, this, &TScriptedSmtpServer::accepted);
    if (!script.tlsCertificate.isEmpty() && !script.tlsKey.isEmpty()) {
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setLocalCertificateChain(QSslCertificate::fromPath(script.tlsCertificate));
        QFile file(script.tlsKey);
        const QByteArray pem = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QSslKey key(pem, QSsl::Ec);
        if (key.isNull())
            key = QSslKey(pem, QSsl::Rsa);
        conf.setPrivateKey(key);
        tls.setSslConfiguration(conf);
        // A connection is handed over once its handshake is done.
        connect(&tls, &QTcpServer::pendingConnectionAvailable, this,
                &TScriptedSmtpServer::accepted);
        server = &tls;
    }
    server->listen(QHostAddress(address), port);
}

void TScriptedSmtpServer::reply(QTcpSocket* socket, const QByteArray& text) {
    if (text.isEmpty())
        return;
    if (script.splitDelayMs <= 0 || text.size() <= script.splitAt) {
        socket->write(text);
        return;
    }
    socket->write(text.left(script.splitAt));
    socket->flush();
    QPointer<QTcpSocket> guard(socket);
    const QByteArray rest = text.mid(script.splitAt);
    QTimer::singleShot(script.splitDelayMs, this, [guard, rest] {
        if (guard)
            guard->write(rest);
    });
}

void TScriptedSmtpServer::respond(QTcpSocket* socket, const QByteArray& verb,
                                  const QByteArray& text) {
    if (script.streams.contains(verb))
        stream(socket, script.streams.value(verb));
    else
        reply(socket, text);
}

void TScriptedSmtpServer::stream(QTcpSocket* socket, const Script::Stream& s) {
    socket->write(s.head);
    auto left = std::make_shared<int>(s.count);
    auto* pump = new QTimer(socket);
    pump->setInterval(1);
    connect(pump, &QTimer::timeout, this, [this, socket, pump, left, unit = s.unit] {
        // Ends with its count or with the connection, whichever comes first.
        if (*left <= 0 || socket->state() != QAbstractSocket::ConnectedState) {
            pump->stop();
            return;
        }
        const int n = std::min(*left, 256);
        socket->write(unit.repeated(n));
        *left -= n;
        streamed += n;
    });
    pump->start();
}

void TScriptedSmtpServer::accepted() {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++connections;
        peerAddress = socket->peerAddress();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (script.streams.contains(""))
            stream(socket, script.streams.value(""));
        else if (script.greeting)
            reply(socket, *script.greeting);
        auto buffer = std::make_shared<QByteArray>();
        auto inData = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, inData] {
            const QByteArray bytes = socket->readAll();
            received += bytes;
            *buffer += bytes;
            for (;;) {
                if (*inData) {
                    const qsizetype end = buffer->indexOf("\r\n.\r\n");
                    if (end < 0 && !buffer->startsWith(".\r\n"))
                        return;
                    buffer->remove(0, end < 0 ? 3 : end + 5);
                    *inData = false;
                    respond(socket, ".", script.replies.value("."));
                    continue;
                }
                const qsizetype eol = buffer->indexOf("\r\n");
                if (eol < 0)
                    return;
                const QByteArray line = buffer->left(eol);
                buffer->remove(0, eol + 2);
                QByteArray verb = line.left(4).toUpper();
                if (verb == "DATA")
                    *inData = true;
                respond(socket, verb, script.replies.value(verb));
            }
        });
    }
}
