#pragma once

#include <QString>
#include <QStringList>

// Certificate authorities and server certificates made with openssl for
// one test run, in a directory of the caller's (made if missing). Nothing of it is trusted
// until a test adds Ca() to its TLS configuration.
class TTestCertificates {
public:
    // The server certificates made, all for key Key(): "localhost" signed
    // by Ca(); "other-issuer" for localhost signed by an authority nobody
    // trusts; "other-name" for mail.other.test signed by Ca(); "expired"
    // for localhost signed by Ca(), no longer valid.
    explicit TTestCertificates(const QString& dir);

    QString Error() const { return error; }
    static bool Available();

    QString Ca() const { return dir + "/ca.pem"; }
    QString Key() const { return dir + "/server.key"; }
    QString Cert(const QString& name) const { return dir + "/" + name + ".pem"; }

private:
    bool run(const QStringList& args);

    QString dir;
    QString error;
};
