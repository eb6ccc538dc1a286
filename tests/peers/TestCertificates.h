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
    // Trusts Ca() from now on, as an operator's system store would trust a
    // real authority: the program has no switch for it.
    void TrustCa() const;

private:
    bool run(const QStringList& args);

    QString dir;
    QString error;
};

// One set for a whole test suite, in a temporary folder of its own: Make()
// in SetUpTestSuite, Drop() in TearDownTestSuite. Make() returns nothing
// without openssl, and trusts Ca() when the set was made without error.
class TSuiteCertificates {
public:
    static TTestCertificates* Make();
    static void Drop();
};
