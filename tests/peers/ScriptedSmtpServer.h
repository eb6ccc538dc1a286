#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QSslServer>
#include <QString>
#include <QTcpServer>
#include <optional>

// An SMTP peer of our own that misbehaves on purpose. It replies to each
// command as its script says (or stays silent), can split a reply across
// two writes, and records every byte it receives, so a test can state the
// whole transcript.
class TScriptedSmtpServer : public QObject {
    Q_OBJECT
public:
    struct Script {
        // Nothing: the server accepts the connection and never greets.
        std::optional<QByteArray> greeting = QByteArray("220 scripted ESMTP\r\n");
        // Reply by command word ("HELO", "MAIL", "RCPT", "DATA", "QUIT"), and
        // "." for the end of the message. An empty reply: stay silent.
        QMap<QByteArray, QByteArray> replies{
            {"HELO", "250 scripted\r\n"}, {"MAIL", "250 OK\r\n"},
            {"RCPT", "250 OK\r\n"},       {"DATA", "354 End data with <CR><LF>.<CR><LF>\r\n"},
            {".", "250 OK queued\r\n"},   {"QUIT", "221 Bye\r\n"}};
        // Every reply goes out in two writes this far apart, cut this many
        // bytes in.
        int splitDelayMs = 0;
        int splitAt = 2;
        // A reply that never ends, by command word ("" for the greeting, in
        // place of it): `head`, then `unit` `count` times, a few hundred
        // each millisecond, and then nothing more.
        struct Stream {
            QByteArray head, unit;
            int count = 0;
        };
        QMap<QByteArray, Stream> streams;
        // With both set, TLS from the first byte (as on port 465) with this
        // certificate and key; Connections() then counts handshakes done.
        QString tlsCertificate, tlsKey;
    };

    TScriptedSmtpServer(const QString& address, quint16 port, Script script);

    bool Listening() const { return server->isListening(); }
    quint16 Port() const { return server->serverPort(); }
    // From the next command on, `verb` gets `text`.
    void SetReply(const QByteArray& verb, const QByteArray& text) { script.replies[verb] = text; }
    QByteArray Received() const { return received; }
    int Connections() const { return connections; }
    // The client's end of the last connection, as this server sees it.
    QHostAddress PeerAddress() const { return peerAddress; }
    // Stream units written so far, over all connections.
    int Streamed() const { return streamed; }

private:
    void accepted();
    void reply(QTcpSocket* socket, const QByteArray& text);
    void respond(QTcpSocket* socket, const QByteArray& verb, const QByteArray& text);
    void stream(QTcpSocket* socket, const Script::Stream& s);

    QTcpServer plain;
    QSslServer tls;
    QTcpServer* server = &plain;
    Script script;
    QByteArray received;
    int connections = 0;
    QHostAddress peerAddress;
    int streamed = 0;
};
