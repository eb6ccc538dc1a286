#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>
#include <optional>

class QTcpSocket;

// An FTP peer of our own that misbehaves on purpose. It answers each
// command as its script says (or stays silent), connects to the address a
// PORT command names after its STOR reply, and records every control byte
// it receives and every file it is sent, so a test can state the whole
// dialogue.
class TScriptedFtpServer : public QObject {
    Q_OBJECT
public:
    enum class TData {
        Receive,        // read the file to its end, then the closing reply
        NeverConnect,   // never open the data connection
        NeverRead,      // open it and read nothing
        NoClosingReply, // read the file, then say nothing
        Reset,          // reset the data connection at the first bytes
        ResetAtEnd,     // read the file, close by a reset, then the closing reply
        ReplyAtOnce,    // open it, read nothing, and send the closing reply at once
    };

    struct Script {
        // Nothing: the server accepts the connection and never greets.
        std::optional<QByteArray> greeting = QByteArray("220 scripted FTP\r\n");
        // Reply by command word; an empty reply: stay silent.
        QMap<QByteArray, QByteArray> replies{{"USER", "331 Password required\r\n"},
                                             {"PASS", "230 Logged in\r\n"},
                                             {"CWD", "250 Folder changed\r\n"},
                                             {"TYPE", "200 Type set to A\r\n"},
                                             {"PORT", "200 PORT command successful\r\n"},
                                             {"STOR", "150 Opening data connection\r\n"},
                                             {"QUIT", "221 Goodbye\r\n"}};
        TData data = TData::Receive;
        QByteArray closingReply = "226 Transfer complete\r\n";
        // Close the control connection once QUIT has been answered.
        bool closeAfterQuit = true;
        // Every reply (the greeting and the closing reply too) comes this
        // long after its cause: a slow server just inside each bound.
        int replyDelayMs = 0;
    };

    struct TFile {
        QByteArray name, bytes;
    };

    TScriptedFtpServer(const QString& address, quint16 port, Script script);

    bool Listening() const { return server.isListening(); }
    quint16 Port() const { return server.serverPort(); }
    QByteArray Received() const { return received; }
    QList<TFile> Files() const { return files; }
    int Connections() const { return connections; }
    // The client's end of the last control connection, as seen here.
    QHostAddress PeerAddress() const { return peerAddress; }
    // The addresses and ports the PORT commands named, and whether a data
    // connection to each came up.
    QList<std::pair<QHostAddress, quint16>> PortTargets() const { return portTargets; }
    int DataConnections() const { return dataConnections; }
    // Closes every control connection, as a server going away does.
    void CloseConnections();

private:
    void accepted();
    void command(QTcpSocket* control, const QByteArray& line);
    void openData(QTcpSocket* control, const QByteArray& name);
    static void resetOnClose(QTcpSocket& socket);
    // Writes `bytes` on `control` after the script's delay, then runs `then`.
    void reply(QTcpSocket* control, const QByteArray& bytes, std::function<void()> then = {});

    QTcpServer server;
    Script script;
    QByteArray received;
    QList<TFile> files;
    int connections = 0;
    int dataConnections = 0;
    QHostAddress peerAddress;
    QList<std::pair<QHostAddress, quint16>> portTargets;
};
