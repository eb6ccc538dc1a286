#include "PyftpdlibServer.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#ifndef VELMORA_PYFTPDLIB_SCRIPT
#error "VELMORA_PYFTPDLIB_SCRIPT names tests/peers/pyftpdlib_server.py"
#endif

namespace {
// Debian installs the module for its own interpreter, which need not be the
// first python3 on PATH.
QString Python() {
    for (const QString& p : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(p, {"-c", "import pyftpdlib"});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return p;
    }
    return QString();
}
} // namespace

bool TPyftpdlibServer::Available() {
    return !Python().isEmpty();
}

TPyftpdlibServer::TPyftpdlibServer(const QString& address, quint16 port, const QString& home,
                                   const QString& user, const QString& password) {
    const QString python = Python();
    if (python.isEmpty()) {
        error = "python3-pyftpdlib is not installed";
        return;
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python, {QStringLiteral(VELMORA_PYFTPDLIB_SCRIPT), address, QString::number(port),
                           home, user, password});
    if (!process.waitForStarted(5000)) {
        error = "pyftpdlib did not start: " + process.errorString();
        return;
    }
    // Up once it greets.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(address, port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) &&
            probe.readAll().startsWith("220")) {
            probe.write("QUIT\r\n");
            probe.waitForBytesWritten(1000);
            return;
        }
        QThread::msleep(100);
    }
    error = "pyftpdlib did not come up: " + QString::fromLocal8Bit(process.readAll());
}

TPyftpdlibServer::~TPyftpdlibServer() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}
