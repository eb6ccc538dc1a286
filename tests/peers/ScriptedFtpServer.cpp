#include "ScriptedFtpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <sys/socket.h>

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
            reply(control, *script.greeting);
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
    const QByteArray answer = script.replies.value(verb);
    QPointer<QTcpSocket> guard(control);
    const bool quit = verb == "QUIT" && script.closeAfterQuit;
    if (answer.isEmpty()) {
        if (quit)
            control->disconnectFromHost();
        return;
    }
    reply(control, answer, [this, guard, verb, argument, answer, quit] {
        if (!guard)
            return;
        if (verb == "STOR" && !answer.startsWith('4') && !answer.startsWith('5'))
            openData(guard, argument);
        if (quit) {
            guard->flush();
            guard->disconnectFromHost();
        }
    });
}

void TScriptedFtpServer::reply(QTcpSocket* control, const QByteArray& bytes,
                               std::function<void()> then) {
    QPointer<QTcpSocket> guard(control);
    auto send = [guard, bytes, then = std::move(then)] {
        if (!guard)
            return;
        guard->write(bytes);
        if (then)
            then();
    };
    if (script.replyDelayMs > 0)
        QTimer::singleShot(script.replyDelayMs, this, std::move(send));
    else
        send();
}

// A close without lingering makes the kernel send RST.
void TScriptedFtpServer::resetOnClose(QTcpSocket& socket) {
    const linger off{1, 0};
    ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &off, sizeof off);
}

void TScriptedFtpServer::openData(QTcpSocket* control, const QByteArray& name) {
    if (script.data == TData::NeverConnect || portTargets.isEmpty())
        return;
    auto* data = new QTcpSocket(this);
    const bool reads = script.data != TData::NeverRead && script.data != TData::ReplyAtOnce;
    if (!reads)
        data->setReadBufferSize(1);
    auto bytes = std::make_shared<QByteArray>();
    QPointer<QTcpSocket> guard(control);
    connect(data, &QTcpSocket::connected, this, [this, data, guard] {
        ++dataConnections;
        // No lingering: the close at the end is a reset, not a FIN.
        if (script.data == TData::ResetAtEnd)
            resetOnClose(*data);
        if (guard && script.data == TData::ReplyAtOnce)
            reply(guard, script.closingReply);
    });
    connect(data, &QTcpSocket::readyRead, this, [this, data, bytes, reads] {
        if (!reads)
            return;
        *bytes += data->readAll();
        if (script.data == TData::Reset) {
            resetOnClose(*data);
            data->abort();
        }
    });
    connect(data, &QTcpSocket::disconnected, this, [this, data, bytes, guard, name, reads] {
        // A server that never reads takes nothing at the end either.
        if (data->isOpen() && reads)
            *bytes += data->readAll();
        // A server that refused the file at once keeps none.
        if (script.data != TData::ReplyAtOnce)
            files << TFile{name, *bytes};
        data->deleteLater();
        if (guard && (script.data == TData::Receive || script.data == TData::ResetAtEnd))
            reply(guard, script.closingReply);
    });
    // From the address the client reached us on, as servers do.
    data->bind(control->localAddress());
    data->connectToHost(portTargets.last().first, portTargets.last().second);
}

void TScriptedFtpServer::CloseConnections() {
    for (QTcpSocket* control : server.findChildren<QTcpSocket*>())
        control->disconnectFromHost();
}
