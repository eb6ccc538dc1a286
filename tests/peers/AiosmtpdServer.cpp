#include "AiosmtpdServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool TAiosmtpdServer::Available() {
    return !TPeerProcess::Python("aiosmtpd").isEmpty();
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir)
    : maildir(dir) {
    const QString python = TPeerProcess::Python("aiosmtpd");
    if (python.isEmpty()) {
        error = "python3-aiosmtpd is not installed";
        return;
    }
    error = process.StartAndAwaitGreeting("aiosmtpd", python,
                                          {"-m", "aiosmtpd", "-n", "-l",
                                           address + ":" + QString::number(port), "-c",
                                           "aiosmtpd.handlers.Mailbox", dir},
                                          address, port);
}

TAiosmtpdServer::TAiosmtpdServer(const QString& address, quint16 port, const QString& dir,
                                 const Options& options)
    : maildir(dir) {
    const QString python = TPeerProcess::Python("aiosmtpd");
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
    // Up once it says so; a TLS server cannot be probed in the clear.
    error =
        process.Start("aiosmtpd", python, args, "ready\n", 10000, TPeerProcess::Channels::Separate);
}

TAiosmtpdServer::~TAiosmtpdServer() = default;

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
