#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

// A webhook receiver that misbehaves on purpose, on loopback: each request
// is answered by the next status of its script (the last one repeats), 0
// meaning take the request and never answer. Records every request whole.
class TScriptedHttpServer : public QObject {
public:
    explicit TScriptedHttpServer(std::vector<int> script) : script(std::move(script)) {
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] { accept(); });
        clock.start();
    }
    bool Listen() { return server.listen(QHostAddress(QStringLiteral("127.0.0.1"))); }
    quint16 Port() const { return server.serverPort(); }
    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/hook").arg(Port()); }
    // Requests complete with their body, in order of arrival.
    QList<QByteArray> requests;
    QList<qint64> arrivals; // ms since construction, one per request
    int connections = 0;
    // Sent with a 3xx answer.
    QByteArray location = "http://127.0.0.1:1/elsewhere";

private:
    void accept() {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++connections;
            auto* buffer = new QByteArray;
            QObject::connect(s, &QTcpSocket::disconnected, s, [s, buffer] {
                delete buffer;
                s->deleteLater();
            });
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer] {
                *buffer += s->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                qsizetype length = 0;
                for (const QByteArray& line : buffer->left(end).split('\n'))
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                if (buffer->size() < end + 4 + length)
                    return;
                requests << buffer->left(end + 4 + length);
                arrivals << clock.elapsed();
                buffer->remove(0, end + 4 + length);
                const int code = script[std::min(size_t(requests.size() - 1), script.size() - 1)];
                if (code == 0)
                    return; // silent
                QByteArray answer = "HTTP/1.1 " + QByteArray::number(code) + " Scripted\r\n";
                if (code >= 300 && code <= 399)
                    answer += "Location: " + location + "\r\n";
                answer += "Content-Length: 0\r\nConnection: close\r\n\r\n";
                s->write(answer);
                s->disconnectFromHost();
            });
        }
    }

    QTcpServer server;
    std::vector<int> script;
    QElapsedTimer clock;
};
