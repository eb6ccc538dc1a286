#pragma once

#include "PeerProcess.h"

#include <QString>

// A real FTP server for tests: Debian's python3-pyftpdlib on one address
// and port, serving `home` to `user` and to the anonymous account.
class TPyftpdlibServer {
public:
    TPyftpdlibServer(const QString& address, quint16 port, const QString& home, const QString& user,
                     const QString& password);
    ~TPyftpdlibServer();

    // Empty when the server is running; otherwise why not.
    QString Error() const { return error; }
    static bool Available();

private:
    TPeerProcess process;
    QString error;
};
