#include "PyftpdlibServer.h"

#include "PythonServer.h"

#ifndef VELMORA_PYFTPDLIB_SCRIPT
#error "VELMORA_PYFTPDLIB_SCRIPT names tests/peers/pyftpdlib_server.py"
#endif

bool TPyftpdlibServer::Available() {
    return !PythonServer::Interpreter("pyftpdlib").isEmpty();
}

TPyftpdlibServer::TPyftpdlibServer(const QString& address, quint16 port, const QString& home,
                                   const QString& user, const QString& password) {
    const QString python = PythonServer::Interpreter("pyftpdlib");
    if (python.isEmpty()) {
        error = "python3-pyftpdlib is not installed";
        return;
    }
    error = PythonServer::StartAndAwaitGreeting(process, python,
                                                {QStringLiteral(VELMORA_PYFTPDLIB_SCRIPT), address,
                                                 QString::number(port), home, user, password},
                                                address, port, QStringLiteral("pyftpdlib"));
}

TPyftpdlibServer::~TPyftpdlibServer() {
    PythonServer::Stop(process);
}
