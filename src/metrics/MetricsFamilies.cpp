#include "MetricsFamilies.h"

#include <prometheus/text_serializer.h>

#include <algorithm>
#include <limits>

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

MetricFamily family(const char* name, const char* help, MetricType type, size_t reserve = 0) {
    MetricFamily f;
    f.name = name;
    f.help = help;
    f.type = type;
    f.metric.reserve(reserve);
    return f;
}

ClientMetric deviceMetric(const TDeviceSeries& d) {
    ClientMetric m;
    m.label = {{"address", d.address}, {"location", d.location}};
    return m;
}

ClientMetric single(MetricType type, double value) {
    ClientMetric m;
    if (type == MetricType::Counter)
        m.counter.value = value;
    else
        m.gauge.value = value;
    return m;
}

} // namespace

void TDeviceSeries::RecordEcho(bool replied, std::uint32_t rttMs) {
    // One writer: a load and a store are enough, and cheaper than an RMW.
    requests.store(requests.load(relaxed) + 1, relaxed);
    if (!replied)
        return;
    const auto at = std::lower_bound(kRttBucketsMs.begin(), kRttBucketsMs.end(), double(rttMs));
    auto& bucket = buckets[size_t(at - kRttBucketsMs.begin())];
    bucket.store(bucket.load(relaxed) + 1, relaxed);
    rttSumMs.store(rttSumMs.load(relaxed) + rttMs, relaxed);
    // Last, so that a scrape never sees more replies than histogram samples
    // for long.
    replies.store(replies.load(relaxed) + 1, std::memory_order_release);
}

void TDeviceSeries::RecordChange(bool nowUp, std::int64_t unixMs) {
    auto& counter = nowUp ? toUp : toDown;
    counter.store(counter.load(relaxed) + 1, relaxed);
    lastChangeMs.store(unixMs, relaxed);
    up.store(nowUp ? 1 : 0, relaxed);
}

TMetricsFamilies::TMetricsFamilies(std::string v)
    : version(std::move(v)), devices(std::make_shared<const TSeriesTable>()) {}

void TMetricsFamilies::Publish(std::shared_ptr<const TSeriesTable> table) {
    devices.store(std::move(table));
}

std::vector<MetricFamily> TMetricsFamilies::Collect() const {
    const std::shared_ptr<const TSeriesTable> table = devices.load();
    const size_t n = table->size();
    MetricFamily up = family("velmora_device_up", "1 while the device's Status is Up, 0 while DOWN",
                             MetricType::Gauge, n);
    MetricFamily requests =
        family("velmora_device_echo_requests_total",
               "Monitoring echoes sent since the program started", MetricType::Counter, n);
    MetricFamily replies =
        family("velmora_device_echo_replies_total",
               "Monitoring echoes answered since the program started", MetricType::Counter, n);
    MetricFamily rtt = family("velmora_device_rtt_seconds", "Round-trip time of answered echoes",
                              MetricType::Histogram, n);
    MetricFamily lastChange =
        family("velmora_device_last_change_timestamp_seconds",
               "Unix time of the device's last change of state", MetricType::Gauge, n);
    MetricFamily transitions =
        family("velmora_device_transitions_total", "Changes of state, by the state changed to",
               MetricType::Counter, 2 * n);

    for (const auto& p : *table) {
        const TDeviceSeries& d = *p;
        const ClientMetric base = deviceMetric(d);
        if (const int state = d.up.load(relaxed); state >= 0) {
            ClientMetric m = base;
            m.gauge.value = state;
            up.metric.push_back(std::move(m));
        }
        ClientMetric m = base;
        m.counter.value = double(d.requests.load(relaxed));
        requests.metric.push_back(m);
        // Replies before the buckets: they are written last.
        const std::uint64_t answered = d.replies.load(std::memory_order_acquire);
        m.counter.value = double(answered);
        replies.metric.push_back(m);

        ClientMetric h = base;
        h.histogram.bucket.reserve(kRttBucketsMs.size() + 1);
        std::uint64_t cumulative = 0;
        for (size_t i = 0; i < kRttBucketsMs.size(); ++i) {
            cumulative += d.buckets[i].load(relaxed);
            h.histogram.bucket.push_back({cumulative, kRttBucketsMs[i] / 1000.0});
        }
        cumulative += d.buckets.back().load(relaxed);
        h.histogram.bucket.push_back({cumulative, std::numeric_limits<double>::infinity()});
        h.histogram.sample_count = cumulative;
        h.histogram.sample_sum = double(d.rttSumMs.load(relaxed)) / 1000.0;
        rtt.metric.push_back(std::move(h));

        if (const std::int64_t ms = d.lastChangeMs.load(relaxed); ms >= 0) {
            ClientMetric g = base;
            g.gauge.value = double(ms) / 1000.0;
            lastChange.metric.push_back(std::move(g));
        }
        for (const auto& [state, counter] :
             {std::pair{"Up", &d.toUp}, std::pair{"DOWN", &d.toDown}}) {
            ClientMetric t = base;
            t.label.push_back({"state", state});
            t.counter.value = double(counter->load(relaxed));
            transitions.metric.push_back(std::move(t));
        }
    }

    std::vector<MetricFamily> all;
    all.reserve(13);
    for (MetricFamily* f : {&up, &requests, &replies, &rtt, &lastChange, &transitions})
        all.push_back(std::move(*f));

    MetricFamily q =
        family("velmora_alerts_queued", "Alerts waiting in the queue", MetricType::Gauge);
    q.metric.push_back(single(MetricType::Gauge, double(queued.load(relaxed))));
    all.push_back(std::move(q));
    MetricFamily del =
        family("velmora_alerts_delivered_total", "Alerts delivered", MetricType::Counter);
    del.metric.push_back(single(MetricType::Counter, double(delivered.load(relaxed))));
    all.push_back(std::move(del));
    MetricFamily failed = family("velmora_alert_attempts_failed_total",
                                 "Delivery attempts that failed", MetricType::Counter);
    failed.metric.push_back(single(MetricType::Counter, double(attemptsFailed.load(relaxed))));
    all.push_back(std::move(failed));
    MetricFamily loops =
        family("velmora_cycle_passes_total", "Passes of the monitoring cycle over the device list",
               MetricType::Counter);
    loops.metric.push_back(single(MetricType::Counter, double(passes.load(relaxed))));
    all.push_back(std::move(loops));
    MetricFamily count = family("velmora_devices", "Devices in the grid", MetricType::Gauge);
    count.metric.push_back(single(MetricType::Gauge, double(deviceCount.load(relaxed))));
    all.push_back(std::move(count));
    MetricFamily build =
        family("velmora_build_info", "The running program's version", MetricType::Gauge);
    ClientMetric b = single(MetricType::Gauge, 1);
    b.label = {{"version", version}};
    build.metric.push_back(std::move(b));
    all.push_back(std::move(build));
    return all;
}

std::string TMetricsFamilies::Exposition() const {
    return prometheus::TextSerializer().Serialize(Collect());
}
