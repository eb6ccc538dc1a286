#include "PyftpdlibServer.h"

#ifndef VELMORA_PYFTPDLIB_SCRIPT
#error "VELMORA_PYFTPDLIB_SCRIPT names tests/peers/pyftpdlib_server.py"
#endif

bool TPyftpdlibServer::Available() {
    return !TPeerProcess::Python("pyftpdlib").isEmpty();
}

TPyftpdlibServer::TPyftpdlibServer(const QString& address, quint16 port, const QString& home,
                                   const QString& user, const QString& password) {
    const QString python = TPeerProcess::Python("pyftpdlib");
    if (python.isEmpty()) {
        error = "python3-pyftpdlib is not installed";
        return;
    }
    error = process.StartAndAwaitGreeting("pyftpdlib", python,
                                          {QStringLiteral(VELMORA_PYFTPDLIB_SCRIPT), address,
                                           QString::number(port), home, user, password},
                                          address, port);
}

TPyftpdlibServer::~TPyftpdlibServer() = default;
