#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

// The blocking part of finding the exchangers of a domain, on a thread of
// its own: their MX records asked of a DNS server. It only reports back; it
// frees itself when done.
class TMailLookupThread : public QThread {
    Q_OBJECT
public:
    // Asks `dnsServer` for the MX records of `domain`.
    static TMailLookupThread* ForExchangers(const QString& dnsServer, quint16 dnsPort,
                                            const QString& domain);

signals:
    // `resolved`: the lookup got an answer. `addresses`: the dotted
    // addresses found, in the order they are to be tried.
    void Found(bool resolved, const QStringList& addresses);

protected:
    void run() override;

private:
    TMailLookupThread() = default;

    QString dnsServer, domain;
    quint16 dnsPort = 53;
};
