#pragma once

#include "PeerProcess.h"

#include <QString>
#include <QStringList>

// A real SMTP server for tests: Debian's python3-aiosmtpd on one loopback
// address and port, storing every message it takes in a Maildir.
class TAiosmtpdServer {
public:
    // What the command line of aiosmtpd cannot set up: TLS and a login.
    struct Options {
        enum class Mode { Plain, StartTls, Tls } mode = Mode::Plain;
        QString cert, key;        // the server's certificate and key (PEM)
        QString user, password;   // a login required before MAIL FROM
        QStringList exclude;      // login methods not offered
        bool onlyCramMd5 = false; // offers CRAM-MD5 and nothing else
    };

    TAiosmtpdServer(const QString& address, quint16 port, const QString& maildir);
    TAiosmtpdServer(const QString& address, quint16 port, const QString& maildir,
                    const Options& options);
    ~TAiosmtpdServer();

    // Empty when the server is running; otherwise why not.
    QString Error() const { return error; }
    static bool Available();
    // The stored messages, oldest first, each as it lies in the mailbox.
    QStringList Messages() const;

private:
    TPeerProcess process;
    QString error;
    QString maildir;
};
