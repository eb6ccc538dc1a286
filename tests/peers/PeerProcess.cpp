#include "PeerProcess.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>

QString TPeerProcess::started(const QString& name, const QString& program, const QStringList& args,
                              Channels channels) {
    process.setProcessChannelMode(channels == Channels::Merged ? QProcess::MergedChannels
                                                               : QProcess::SeparateChannels);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return name + " did not start: " + process.errorString();
    return QString();
}

QString TPeerProcess::Start(const QString& name, const QString& program, const QStringList& args,
                            const QByteArray& ready, int ms, Channels channels) {
    if (QString why = started(name, program, args, channels); !why.isEmpty())
        return why;
    if (ready.isEmpty())
        return QString();
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
        if (out.contains(ready))
            return QString();
    }
    out += process.readAllStandardOutput();
    if (out.contains(ready))
        return QString();
    return name + " did not come up: " + QString::fromLocal8Bit(out) +
           QString::fromLocal8Bit(process.readAllStandardError());
}

QString TPeerProcess::StartAndAwaitGreeting(const QString& name, const QString& program,
                                            const QStringList& args, const QString& address,
                                            quint16 port, int ms) {
    if (QString why = started(name, program, args, Channels::Merged); !why.isEmpty())
        return why;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && process.state() == QProcess::Running) {
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

void StopProcess(QProcess& p, int graceMs) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(graceMs)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

void TPeerProcess::Stop() {
    StopProcess(process);
}

QString TPeerProcess::Find(const QString& program, const QStringList& folders) {
    QString p = QStandardPaths::findExecutable(program);
    if (p.isEmpty() && !folders.isEmpty())
        p = QStandardPaths::findExecutable(program, folders);
    return p;
}

QString TPeerProcess::Python(const char* module) {
    for (const QString& p : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(p, {"-c", QStringLiteral("import %1").arg(QLatin1String(module))});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return p;
    }
    return QString();
}
