#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A real SMTP server for tests: Debian's python3-aiosmtpd on one loopback
// address and port, storing every message it takes in a Maildir.
class TAiosmtpdServer {
public:
    TAiosmtpdServer(const QString& address, quint16 port, const QString& maildir);
    ~TAiosmtpdServer();

    // Empty when the server is running; otherwise why not.
    QString Error() const { return error; }
    static bool Available();
    // The stored messages, oldest first, each as it lies in the mailbox.
    QStringList Messages() const;

private:
    QProcess process;
    QString error;
    QString maildir;
};
