#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <memory>

namespace {
// Elliptic-curve keys: made in an instant, unlike RSA ones.
const QStringList kNewKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
} // namespace

bool TTestCertificates::Available() {
    QProcess probe;
    probe.start(QStringLiteral("openssl"), {QStringLiteral("version")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

void TTestCertificates::TrustCa() const {
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(QSslCertificate::fromPath(Ca()));
    QSslConfiguration::setDefaultConfiguration(conf);
}

namespace {
std::unique_ptr<QTemporaryDir> suiteDir;
std::unique_ptr<TTestCertificates> suiteCertificates;
} // namespace

TTestCertificates* TSuiteCertificates::Make() {
    if (!TTestCertificates::Available())
        return nullptr;
    suiteDir = std::make_unique<QTemporaryDir>();
    suiteCertificates = std::make_unique<TTestCertificates>(suiteDir->path());
    if (suiteCertificates->Error().isEmpty())
        suiteCertificates->TrustCa();
    return suiteCertificates.get();
}

void TSuiteCertificates::Drop() {
    suiteCertificates.reset();
    suiteDir.reset();
}

bool TTestCertificates::run(const QStringList& args) {
    if (!error.isEmpty())
        return false;
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = "openssl " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

TTestCertificates::TTestCertificates(const QString& directory) : dir(directory) {
    if (!QDir().mkpath(dir)) {
        error = "cannot make " + dir;
        return;
    }
    for (const char* ca : {"ca", "other-ca"})
        run(QStringList{"req", "-x509"} + kNewKey +
            QStringList{"-keyout", QString(ca) + ".key", "-out", QString(ca) + ".pem", "-days", "2",
                        "-subj", QString("/CN=Velmora test ") + ca, "-addext",
                        "basicConstraints=critical,CA:TRUE", "-addext",
                        "keyUsage=critical,keyCertSign,cRLSign"});
    // One key for every server certificate.
    run({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-out",
         "server.key"});
    struct Signed {
        const char *name, *host, *ca, *days;
    };
    for (const Signed& s : {Signed{"localhost", "localhost", "ca", "2"},
                            Signed{"other-issuer", "localhost", "other-ca", "2"},
                            Signed{"other-name", "mail.other.test", "ca", "2"},
                            Signed{"expired", "localhost", "ca", "-1"}}) {
        const QString ext = QString(s.name) + ".ext";
        QFile f(dir + "/" + ext);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(QByteArray("subjectAltName=DNS:") + s.host + "\n") < 0) {
            error = "cannot write " + f.fileName();
            return;
        }
        f.close();
        run({"req", "-new", "-key", "server.key", "-out", QString(s.name) + ".csr", "-subj",
             QString("/CN=") + s.host});
        run({"x509", "-req", "-in", QString(s.name) + ".csr", "-CA", QString(s.ca) + ".pem",
             "-CAkey", QString(s.ca) + ".key", "-CAcreateserial", "-out", QString(s.name) + ".pem",
             "-days", s.days, "-extfile", ext});
    }
}
