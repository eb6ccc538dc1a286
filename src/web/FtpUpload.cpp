#include "FtpClient.h"

#include "net/SocketErrors.h"
#include "web/FtpRules.h"

#include <QFileInfo>
#include <QHostAddress>

// The upload half of the client: PORT, STOR and the data connection.

using namespace ftp;

namespace {

// Files go out in blocks of this size, each taken whole by the socket
// before the next is read.
constexpr qint64 kBlock = 64 * 1024;

} // namespace

// Upload ---------------------------------------------------------------------

bool TNMFTP::Upload(const QString& localPath, const QString& remote) {
    return start(TOperation::Upload, [this, localPath, remote] {
        failureReported = false;
        earlyReply.reset();
        if (!requireConnection()) {
            uploadFailed(Error(TFtpError::TKind::NotConnected, QStringLiteral("Not Connected")));
            return;
        }
        remoteName = remote.isEmpty() ? QFileInfo(localPath).fileName() : remote;
        if (HasLineBreak(remoteName)) {
            uploadFailed(
                Error(TFtpError::TKind::BadArgument, QStringLiteral("Line break in file name")));
            return;
        }
        file.setFileName(localPath);
        if (!file.open(QIODevice::ReadOnly)) {
            uploadFailed(
                Error(TFtpError::TKind::File,
                      QStringLiteral("Cannot open %1: %2").arg(localPath, file.errorString())));
            return;
        }
        listener = std::make_unique<QTcpServer>();
        listener->setMaxPendingConnections(1);
        if (!listener->listen(QHostAddress::AnyIPv4, 0)) {
            const int number = SocketErrorNumber(listener->serverError());
            const QString text = number ? SocketErrorText(number) : listener->errorString();
            emit OnError(number, text);
            uploadFailed(Error(TFtpError::TKind::Socket, text));
            return;
        }
        connect(listener.get(), &QTcpServer::newConnection, this, &TNMFTP::acceptData);
        // The address the server reaches us on is the one it sees the
        // control connection come from.
        const quint32 local = socket.localAddress().toIPv4Address();
        const quint16 port = listener->serverPort();
        const QByteArray argument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                        .arg(local >> 24)
                                        .arg((local >> 16) & 0xff)
                                        .arg((local >> 8) & 0xff)
                                        .arg(local & 0xff)
                                        .arg(port >> 8)
                                        .arg(port & 0xff)
                                        .toLatin1();
        sendCommand(TState::Port, "PORT " + argument);
    });
}

void TNMFTP::uploadReply(const TReply& reply) {
    switch (state) {
    case TState::Port:
    case TState::Stor:
        if (Between(reply.code, 301, 599)) {
            bool handled = false;
            failureReported = true;
            emit OnFailure(&handled, cmdUpload);
            endUpload();
            complete(handled ? TFtpError{} : Error(TFtpError::TKind::Reply, ReplyLine(reply)));
            return;
        }
        if (state == TState::Port) {
            sendCommand(TState::Stor, "STOR " + remoteName.toUtf8());
            return;
        }
        setState(TState::Accepting);
        waitStep();
        acceptData();
        return;
    case TState::Accepting:
    case TState::Sending:
    case TState::Closing:
        // A failure reply before the file is out (425, 426, 451, 552...):
        // the server will not keep what it got.
        if (Between(reply.code, 400, 599)) {
            uploadFailed(Error(TFtpError::TKind::Reply, ReplyLine(reply)));
            return;
        }
        // A final reply before the file is out ends the transfer as far as
        // the server is concerned: it is the closing reply. A preliminary
        // one says nothing.
        if (reply.code >= 200)
            earlyReply = reply;
        return;
    case TState::ClosingReply:
        closingReply(reply);
        return;
    default:
        return;
    }
}

void TNMFTP::acceptData() {
    if (state != TState::Accepting || !listener)
        return;
    while (QTcpSocket* incoming = listener->nextPendingConnection()) {
        // Only the server we talk to may hand us a data connection.
        if (incoming->peerAddress().toIPv4Address() != socket.peerAddress().toIPv4Address()) {
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        incoming->setParent(nullptr);
        data.reset(incoming);
        listener->disconnect(this);
        listener->close();
        connect(data.get(), &QAbstractSocket::bytesWritten, this, &TNMFTP::dataWritten);
        connect(data.get(), &QAbstractSocket::errorOccurred, this, &TNMFTP::dataError);
        connect(data.get(), &QAbstractSocket::disconnected, this, &TNMFTP::dataClosed);
        // Nothing is expected from the server on a store; what comes is
        // dropped rather than kept.
        connect(data.get(), &QIODevice::readyRead, this, [this] {
            if (data)
                data->readAll();
        });
        setState(TState::Sending);
        sendBlock();
        return;
    }
}

void TNMFTP::sendBlock() {
    const QByteArray block = file.read(kBlock);
    if (block.isEmpty()) {
        if (file.error() != QFileDevice::NoError) {
            uploadFailed(Error(
                TFtpError::TKind::File,
                QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString())));
            return;
        }
        closeData();
        return;
    }
    waitStep();
    if (data->write(block) != block.size()) {
        dataError(data->error());
    }
}

void TNMFTP::dataWritten() {
    // The next block goes once the socket has taken the whole last one.
    if (state == TState::Sending && data && data->bytesToWrite() == 0)
        sendBlock();
}

void TNMFTP::dataError(QAbstractSocket::SocketError error) {
    if (state != TState::Sending && state != TState::Closing)
        return;
    // Once the file is out, the server closing its end is no error.
    if (state == TState::Closing && error == QAbstractSocket::RemoteHostClosedError)
        return;
    const int number = SocketErrorNumber(error);
    const QString text = number ? SocketErrorText(number) : data->errorString();
    emit OnError(number, text);
    uploadFailed(Error(TFtpError::TKind::Socket, text));
}

void TNMFTP::closeData() {
    file.close();
    setState(TState::Closing);
    waitStep();
    // A graceful close: what is still queued goes out before the FIN.
    data->disconnectFromHost();
    // With nothing left to send the socket may have closed (and reported
    // it) already.
    if (data && data->state() == QAbstractSocket::UnconnectedState)
        dataClosed();
}

void TNMFTP::dataClosed() {
    if (state == TState::Sending) {
        // The server went away before the whole file was sent.
        dataError(QAbstractSocket::RemoteHostClosedError);
        return;
    }
    if (state != TState::Closing)
        return;
    data->disconnect(this);
    data.release()->deleteLater();
    if (earlyReply) {
        const TReply reply = *earlyReply; // the upload's end clears it
        closingReply(reply);
        return;
    }
    setState(TState::ClosingReply);
    waitStep();
}

// The server's word on the file it got: a 4xx or 5xx (426 aborted, 451
// local error, 552 storage exceeded) means it did not keep it, so the
// upload failed as a refused STOR does.
void TNMFTP::closingReply(const TReply& reply) {
    if (Between(reply.code, 400, 599)) {
        uploadFailed(Error(TFtpError::TKind::Reply, ReplyLine(reply)));
        return;
    }
    endUpload();
    emit OnSuccess(cmdUpload);
    complete();
}

// Every other failure of an upload: OnFailure once, then the error goes on
// unless the handler took it.
void TNMFTP::uploadFailed(const TFtpError& error) {
    endUpload();
    bool handled = false;
    if (!failureReported) {
        failureReported = true;
        emit OnFailure(&handled, cmdUpload);
    }
    complete(handled ? TFtpError{} : error);
}

void TNMFTP::endUpload() {
    if (data) {
        data->disconnect(this);
        data->abort();
        data.release()->deleteLater();
    }
    if (listener) {
        listener->disconnect(this);
        listener->close();
        listener.release()->deleteLater();
    }
    file.close();
    earlyReply.reset();
}
