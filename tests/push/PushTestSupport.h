#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <functional>

// Runs the event loop until `done` holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A certificate for localhost that signs itself: cert.pem and key.pem in `dir`.
inline bool MakeSelfSigned(const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
                        "-out", "cert.pem", "-days", "2", "-subj", "/CN=localhost", "-addext",
                        "subjectAltName=DNS:localhost"});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}
