#include "AiosmtpdServer.h"

#include "PythonServer.h"
#include <QDir>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

bool TAiosmtpdServer::Available() {
    return !PythonServer::Interpreter("aiosmtpd").isEmpty();
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir)
    : maildir(dir) {
    const QString python = PythonServer::Interpreter("aiosmtpd");
    if (python.isEmpty()) {
        error = "python3-aiosmtpd is not installed";
        return;
    }
    error = PythonServer::StartAndAwaitGreeting(process, python,
                                                {"-m", "aiosmtpd", "-n", "-l",
                                                 address + ":" + QString::number(port), "-c",
                                                 "aiosmtpd.handlers.Mailbox", dir},
                                                address, port, QStringLiteral("aiosmtpd"));
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir,
                                 const Options& options)
    : maildir(dir) {
    const QString python = PythonServer::Interpreter("aiosmtpd");
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
    PythonServer::Stop(process);
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
