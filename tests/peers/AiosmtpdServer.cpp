#include "AiosmtpdServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

namespace {
// Debian installs the module for its own interpreter, which need not be the
// first python3 on PATH.
QString Python() {
    for (const QString& p : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess probe;
        probe.start(p, {"-c", "import aiosmtpd"});
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return p;
    }
    return QString();
}
} // namespace

bool TAiosmtpdServer::Available() {
    return !Python().isEmpty();
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir)
    : maildir(dir) {
    const QString python = Python();
    if (python.isEmpty()) {
        error = "python3-aiosmtpd is not installed";
        return;
    }
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python, {"-m", "aiosmtpd", "-n", "-l", address + ":" + QString::number(port),
                           "-c", "aiosmtpd.handlers.Mailbox", dir});
    if (!process.waitForStarted(5000)) {
        error = "aiosmtpd did not start: " + process.errorString();
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
    error = "aiosmtpd did not come up: " + QString::fromLocal8Bit(process.readAll());
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir,
                                 const Options& options)
    : maildir(dir) {
    const QString python = Python();
    if (python.isEmpty()) {
        error = "python3-aiosmtpd is not installed";
        return;
    }
    static const char* const modes[] = {"plain", "starttls", "tls"};
    QStringList args{QStringLiteral(VELMORA_PEERS_DIR "/aiosmtpd_tls.py"),
                     "--host",
                     address,
                     "--port",
                     QString::number(port),
                     "--maildir",
                     dir,
                     "--mode",
                     modes[int(options.mode)]};
    if (options.mode != Options::Mode::Plain)
        args << "--cert" << options.cert << "--key" << options.key;
    if (!options.user.isEmpty())
        args << "--user" << options.user << "--password" << options.password;
    for (const QString& m : options.exclude)
        args << "--exclude" << m;
    if (options.onlyCramMd5)
        args << "--only-cram-md5";
    process.start(python, args);
    if (!process.waitForStarted(5000)) {
        error = "aiosmtpd did not start: " + process.errorString();
        return;
    }
    // Up once it says so; a TLS server cannot be probed in the clear.
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 10000 && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        out += process.readAllStandardOutput();
        if (out.contains("ready\n"))
            return;
    }
    error = "aiosmtpd did not come up: " + QString::fromLocal8Bit(out) +
            QString::fromLocal8Bit(process.readAllStandardError());
}

TAiosmtpdServer::~TAiosmtpdServer() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

QStringList TAiosmtpdServer::Messages() const {
    QStringList out;
    QDir d(maildir + "/new");
    const QFileInfoList files = d.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo& f : files) {
        QFile file(f.filePath());
        if (file.open(QIODevice::ReadOnly))
            out << QString::fromUtf8(file.readAll());
    }
    return out;
}
