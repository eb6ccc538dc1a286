#pragma once

#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>

class TPinger;

// Runs a probe; tests wrap it to send from another network namespace.
using TProbeWrapper = std::function<void(const std::function<void()>& probe)>;

// What a Ping page worker was asked, read from the controls on the GUI
// thread before it starts.
struct TPingProbeParams {
    QString host;
    int timeOut = 5;
    int hop = 1; // trace only
};

// What a worker found; read by the receiver of finished(), after the
// thread has ended.
struct TPingProbeResult {
    // The lines the page writes for this probe.
    QStringList lines;
    // Trace: line 0 of the last probe's messages (empty when it had none).
    QString lastAnswer;
    // Trace: the target name did not resolve, so no probe was sent.
    bool unresolved = false;
};

// The shared base: one blocking probe on a worker thread of its own. The
// worker touches no widget and deletes itself when it ends; its result
// outlives it.
class TPingWorker : public QThread {
    Q_OBJECT
public:
    TPingWorker(std::shared_ptr<TPinger> pinger, TPingProbeParams params, TProbeWrapper wrapper,
                QObject* parent = nullptr);

    const std::shared_ptr<TPingProbeResult>& Result() const { return result; }

protected:
    void run() final;
    virtual void probe(TPinger& pinger, TPingProbeResult& out) = 0;

    TPingProbeParams params;

private:
    std::shared_ptr<TPinger> pinger;
    TProbeWrapper wrapper;
    std::shared_ptr<TPingProbeResult> result;
};

// One echo of the Ping page.
class TPingThread2 : public TPingWorker {
    Q_OBJECT
public:
    using TPingWorker::TPingWorker;

protected:
    void probe(TPinger& pinger, TPingProbeResult& out) override;
};

// One trace hop of the Ping page: three probes at the same time-to-live.
class TTraceThread : public TPingWorker {
    Q_OBJECT
public:
    using TPingWorker::TPingWorker;

protected:
    void probe(TPinger& pinger, TPingProbeResult& out) override;
};
