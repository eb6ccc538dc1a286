#pragma once

#include "WaitFor.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

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

// Settings for a quick cycle over the devices in `datFile` that pushes each
// change as JSON to `url` with `token`; `more` joins [VELMORA Settings].
inline QByteArray JsonPushSettings(const QString& datFile, const QString& url,
                                   const QByteArray& token, const QByteArray& more = {}) {
    return "[VELMORA Settings]\r\nDATFile=" + datFile.toUtf8() +
           "\r\nVelmoraPacketsPerSite=1\r\nVelmoraInterPacketDelay=100\r\n"
           "VelmoraInterSiteDelay=1\r\nSitesCritical=2\r\n" +
           more +
           "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n"
           "[Push Settings]\r\nWebhookURL=" +
           url.toUtf8() + "\r\nWebhookFormat=JSON\r\nWebhookToken=" + token + "\r\n";
}
