#pragma once

#include "dns/DNSResolver.h"

#include <QStringList>
#include <QThread>
#include <atomic>

// What the page's controls said when "Go" was pressed; read on the GUI
// thread before the worker starts.
struct TDNSQueryParams {
    QString Server;
    quint16 Port = 53;
    QString Query;
    bool Recursive = true;
    int TimeOut = 5;
    int QueryType = 255;
};

// The DNS log lines of a successful query: each non-empty section under its
// heading, then an empty line and the summary line.
QStringList DNSResultLines(const TDNSResolver& resolver);

// The query type of an item of the "Type of Search" list; any other text
// (and no selection) asks for every type.
int DNSQueryTypeOfSearch(const QString& item);
// The items of the "Type of Search" list, in list order.
QStringList DNSTypeOfSearchItems();

// One DNS query on a thread of its own. It only reports back: the log is
// written by whoever receives Finished, on that receiver's thread.
class TDNSThread : public QThread {
    Q_OBJECT
public:
    explicit TDNSThread(TDNSQueryParams params, QObject* parent = nullptr);

    // Only noted; the query runs on until it ends by itself.
    void RequestTerminate() { terminateRequested = true; }
    bool TerminateRequested() const { return terminateRequested; }

signals:
    // `resolved` false: the query failed or was skipped. `lines` are the
    // result lines of a resolved query.
    void Finished(bool resolved, const QStringList& lines);

protected:
    void run() override;

private:
    TDNSQueryParams params;
    std::atomic<bool> terminateRequested{false};
};
