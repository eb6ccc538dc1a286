#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The webhook receiver from Debian's `webhook` package. Each request that
// carries the expected bearer token is recorded as one folder entry: its
// raw body and the headers a push sets; a wrong or missing token is
// answered with 401 and recorded nowhere.
class TWebhookReceiver {
public:
    struct TReceived {
        QByteArray body;
        QByteArray authorization, contentType, title, priority, tags;
    };

    // Why the receiver cannot run here, or empty.
    static QString Unavailable();

    // `netns`: the namespace to run it in, empty for this one. `tls`: a
    // certificate and key for https, empty for http.
    TWebhookReceiver(const QString& netns, const QString& address, quint16 port,
                     const QString& token, const QString& cert = {}, const QString& key = {});
    ~TWebhookReceiver();
    // Empty once it answers on address:port; otherwise what went wrong.
    const QString& Problem() const { return problem; }
    QString Url(const QString& host = {}) const;
    QList<TReceived> Received() const;
    // Waits until `n` requests have arrived or `ms` have passed.
    QList<TReceived> AwaitReceived(int n, int ms) const;
    QString Log() const;

private:
    QTemporaryDir dir;
    QProcess process;
    QString address;
    quint16 port;
    bool secure;
    QString problem;
};

// A network namespace with one test host, 10.233.<n>.2, joined to this
// namespace by a veth pair (10.233.<n>.1 here); both ends go with it.
class TTestHostNamespace {
public:
    TTestHostNamespace();
    ~TTestHostNamespace();
    const QString& Problem() const { return problem; }
    const QString& Name() const { return name; }
    QString HostAddress() const { return QStringLiteral("10.233.%1.2").arg(subnet); }
    static QString Unavailable();

private:
    QString name;
    QString vethHere;
    int subnet;
    QString problem;
};
