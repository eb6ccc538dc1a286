#include "icmp/PingWorkers.h"

#include "icmp/Pinger.h"

#include <utility>

namespace {

// Said for an echo and for a trace alike, so that a typing error in the
// address box never leaves the results empty.
QString UnresolvedLine(const QString& host) {
    return host + QStringLiteral(" : Host name could not be resolved.");
}

} // namespace

TPingWorker::TPingWorker(std::shared_ptr<TPinger> p, TPingProbeParams pp, TProbeWrapper w,
                         QObject* parent)
    : QThread(parent), params(std::move(pp)), pinger(std::move(p)), wrapper(std::move(w)),
      result(std::make_shared<TPingProbeResult>()) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TPingWorker::run() {
    // The pinger is shared so that it outlives a page closed mid-probe.
    std::shared_ptr<TPinger> p = pinger;
    auto work = [this, p] { probe(*p, *result); };
    if (wrapper)
        wrapper(work);
    else
        work();
}

void TPingThread2::probe(TPinger& pinger, TPingProbeResult& out) {
    pinger.Host = params.host;
    pinger.TimeOut = params.timeOut;
    pinger.Echo();
    if (pinger.Replied)
        out.lines << pinger.ReplyText;
    else if (!pinger.Resolved && pinger.Messages.isEmpty())
        out.lines << UnresolvedLine(params.host);
    else
        out.lines << pinger.Messages;
}

void TTraceThread::probe(TPinger& pinger, TPingProbeResult& out) {
    pinger.Host = params.host;
    pinger.TTL = quint8(params.hop);
    pinger.TimeOut = params.timeOut;
    QString line;
    for (int i = 0; i < 3; ++i) {
        const bool sent = pinger.TraceHop();
        if (!sent)
            line += QStringLiteral("Trace Failed!");
        else if (i == 0)
            line = QString::number(params.hop) + QLatin1Char('\t') + pinger.Messages.value(1);
        else
            line += QLatin1Char('\t') + pinger.Messages.value(1);
        if (!sent && !pinger.Resolved && pinger.Messages.isEmpty()) {
            // More lookups of a name that does not resolve would only add
            // to the wait; their pieces read the same.
            out.unresolved = true;
            for (int j = i + 1; j < 3; ++j)
                line += QStringLiteral("Trace Failed!");
            break;
        }
    }
    out.lastAnswer = pinger.Messages.value(0);
    line += QLatin1Char('\t') + out.lastAnswer;
    out.lines << line;
    if (out.unresolved)
        out.lines << UnresolvedLine(params.host);
}
