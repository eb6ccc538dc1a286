#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>

// Real servers from Debian's Python packages, run by the tests.
namespace PythonServer {

// Debian installs a module for its own interpreter, which need not be the
// first python3 on PATH. Empty when no interpreter has `module`.
inline QString Interpreter(const char* module) {
    for (const QString& p : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(p, {"-c", QStringLiteral("import %1").arg(QLatin1String(module))});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return p;
    }
    return QString();
}

// Starts the server and waits, within 10 s, until it greets with 220 on
// address:port. Returns what went wrong, or nothing.
inline QString StartAndAwaitGreeting(QProcess& process, const QString& python,
                                     const QStringList& args, const QString& address, quint16 port,
                                     const QString& name) {
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python, args);
    if (!process.waitForStarted(5000))
        return name + " did not start: " + process.errorString();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(address, port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) &&
            probe.readAll().startsWith("220")) {
            probe.write("QUIT\r\n");
            probe.waitForBytesWritten(1000);
            return QString();
        }
        QThread::msleep(100);
    }
    return name + " did not come up: " + QString::fromLocal8Bit(process.readAll());
}

inline void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace PythonServer
