#include "ScriptedFtpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <memory>

TScriptedFtpServer::TScriptedFtpServer(const QString& address, quint16 port, Script s)
    : script(std::move(s)) {
    connect(&server, &QTcpServer::newConnection, this, &TScriptedFtpServer::accepted);
    server.listen(QHostAddress(address), port);
}

void TScriptedFtpServer::accepted() {
    while (QTcpSocket* control = server.nextPendingConnection()) {
        ++connections;
        peerAddress = control->peerAddress();
        connect(control, &QTcpSocket::disconnected, control, &QObject::deleteLater);
        if (script.greeting)
            control->write(*script.greeting);
        auto buffer = std::make_shared<QByteArray>();
        connect(control, &QTcpSocket::readyRead, this, [this, control, buffer] {
            const QByteArray bytes = control->readAll();
            received += bytes;
            *buffer += bytes;
            for (;;) {
                const qsizetype eol = buffer->indexOf("\r\n");
                if (eol < 0)
                    return;
                const QByteArray line = buffer->left(eol);
                buffer->remove(0, eol + 2);
                command(control, line);
            }
        });
    }
}

void TScriptedFtpServer::command(QTcpSocket* control, const QByteArray& line) {
    const QByteArray verb = line.split(' ').value(0).toUpper();
    const QByteArray argument = line.mid(verb.size() + 1);
    if (verb == "PORT") {
        const QList<QByteArray> parts = argument.split(',');
        if (parts.size() == 6) {
            const QHostAddress address(QString::fromLatin1(parts.mid(0, 4).join('.')));
            portTargets << std::pair{address, quint16(parts[4].toInt() * 256 + parts[5].toInt())};
        }
    }
    const QByteArray reply = script.replies.value(verb);
    if (!reply.isEmpty())
        control->write(reply);
    if (verb == "STOR" && !reply.isEmpty() && !reply.startsWith('4') && !reply.startsWith('5'))
        openData(control, argument);
    if (verb == "QUIT" && script.closeAfterQuit) {
        control->flush();
        control->disconnectFromHost();
    }
}

void TScriptedFtpServer::openData(QTcpSocket* control, const QByteArray& name) {
    if (script.data == TData::NeverConnect || portTargets.isEmpty())
        return;
    auto* data = new QTcpSocket(this);
    if (script.data == TData::NeverRead)
        data->setReadBufferSize(1);
    auto bytes = std::make_shared<QByteArray>();
    QPointer<QTcpSocket> guard(control);
    connect(data, &QTcpSocket::connected, this, [this] { ++dataConnections; });
    connect(data, &QTcpSocket::readyRead, this, [this, data, bytes] {
        if (script.data == TData::NeverRead)
            return;
        *bytes += data->readAll();
        if (script.data == TData::Reset)
            data->abort();
    });
    connect(data, &QTcpSocket::disconnected, this, [this, data, bytes, guard, name] {
        // A server that never reads takes nothing at the end either.
        if (data->isOpen() && script.data != TData::NeverRead)
            *bytes += data->readAll();
        files << TFile{name, *bytes};
        data->deleteLater();
        if (guard && script.data == TData::Receive)
            guard->write(script.closingReply);
    });
    // From the address the client reached us on, as servers do.
    data->bind(control->localAddress());
    data->connectToHost(portTargets.last().first, portTargets.last().second);
}

void TScriptedFtpServer::CloseConnections() {
    for (QTcpSocket* control : server.findChildren<QTcpSocket*>())
        control->disconnectFromHost();
}
