#include "MetricsFamilies.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// The bucket bounds as "le" values, in seconds.
constexpr std::array<std::string_view, kRttBucketsMs.size() + 1> kLe = {
    "le=\"0.0005\"", "le=\"0.001\"", "le=\"0.0025\"", "le=\"0.005\"", "le=\"0.01\"",
    "le=\"0.025\"",  "le=\"0.05\"",  "le=\"0.1\"",    "le=\"0.25\"",  "le=\"0.5\"",
    "le=\"1\"",      "le=\"2.5\"",   "le=\"5\"",      "le=\"10\"",    "le=\"+Inf\""};

void put(std::string& out, std::uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void put(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void header(std::string& out, const char* name, const char* help, const char* type) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// name{labels[,more]} value
template <class V>
void sample(std::string& out, std::string_view name, const std::string& labels, V value,
            std::string_view more = {}) {
    out += name;
    out += '{';
    out += labels;
    if (!more.empty()) {
        out += ',';
        out += more;
    }
    out += "} ";
    put(out, value);
    out += '\n';
}

template <class V>
void single(std::string& out, const char* name, const char* help, const char* type, V value) {
    header(out, name, help, type);
    out += name;
    out += ' ';
    put(out, value);
    out += '\n';
}

} // namespace

std::string EscapeLabelValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

TDeviceSeries::TDeviceSeries(const std::string& address, const std::string& location)
    : labels("address=\"" + EscapeLabelValue(address) + "\",location=\"" +
             EscapeLabelValue(location) + "\"") {}

void TDeviceSeries::RecordEcho(bool replied, std::uint32_t rttMs) {
    // One writer: a load and a store are enough, and cheaper than an RMW.
    requests.store(requests.load(relaxed) + 1, relaxed);
    if (!replied)
        return;
    const auto at = std::lower_bound(kRttBucketsMs.begin(), kRttBucketsMs.end(), double(rttMs));
    auto& bucket = buckets[size_t(at - kRttBucketsMs.begin())];
    bucket.store(bucket.load(relaxed) + 1, relaxed);
    rttSumMs.store(rttSumMs.load(relaxed) + rttMs, relaxed);
    // Last, so that a scrape that sees a reply also sees its sample.
    replies.store(replies.load(relaxed) + 1, std::memory_order_release);
}

void TDeviceSeries::RecordChange(bool nowUp, std::int64_t unixMs) {
    auto& counter = nowUp ? toUp : toDown;
    counter.store(counter.load(relaxed) + 1, relaxed);
    lastChangeMs.store(unixMs, relaxed);
    up.store(nowUp ? 1 : 0, relaxed);
}

TMetricsFamilies::TMetricsFamilies(const std::string& version)
    : buildLabels("version=\"" + EscapeLabelValue(version) + "\""),
      devices(std::make_shared<const TSeriesTable>()) {}

void TMetricsFamilies::Publish(std::shared_ptr<const TSeriesTable> table) {
    devices.store(std::move(table));
}

std::string TMetricsFamilies::Exposition() const {
    std::string all;
    WriteText([&all](std::string_view piece) { all += piece; });
    return all;
}

void TMetricsFamilies::WriteText(const std::function<void(std::string_view)>& sink) const {
    const std::shared_ptr<const TSeriesTable> table = devices.load();
    // Handed on in pieces: the text of many devices is tens of MB, which a
    // listener thread would otherwise hold (and malloc keep) per scrape.
    constexpr size_t kPiece = 64 * 1024;
    std::string out;
    out.reserve(kPiece + 4096);
    auto flush = [&] {
        if (out.size() >= kPiece) {
            sink(out);
            out.clear();
        }
    };

    header(out, "velmora_device_up", "1 while the device's Status is Up, 0 while DOWN", "gauge");
    for (const auto& d : *table)
        if (const int state = d->up.load(relaxed); state >= 0) {
            sample(out, "velmora_device_up", d->labels, std::uint64_t(state));
            flush();
        }

    header(out, "velmora_device_echo_requests_total",
           "Monitoring echoes sent since the program started", "counter");
    for (const auto& d : *table) {
        sample(out, "velmora_device_echo_requests_total", d->labels, d->requests.load(relaxed));
        flush();
    }

    header(out, "velmora_device_echo_replies_total",
           "Monitoring echoes answered since the program started", "counter");
    for (const auto& d : *table) {
        sample(out, "velmora_device_echo_replies_total", d->labels,
               d->replies.load(std::memory_order_acquire));
        flush();
    }

    header(out, "velmora_device_rtt_seconds", "Round-trip time of answered echoes", "histogram");
    for (const auto& d : *table) {
        std::uint64_t cumulative = 0;
        for (size_t i = 0; i < d->buckets.size(); ++i) {
            cumulative += d->buckets[i].load(relaxed);
            sample(out, "velmora_device_rtt_seconds_bucket", d->labels, cumulative, kLe[i]);
        }
        sample(out, "velmora_device_rtt_seconds_sum", d->labels,
               double(d->rttSumMs.load(relaxed)) / 1000.0);
        sample(out, "velmora_device_rtt_seconds_count", d->labels, cumulative);
        flush();
    }

    header(out, "velmora_device_last_change_timestamp_seconds",
           "Unix time of the device's last change of state", "gauge");
    for (const auto& d : *table)
        if (const std::int64_t ms = d->lastChangeMs.load(relaxed); ms >= 0) {
            sample(out, "velmora_device_last_change_timestamp_seconds", d->labels,
                   double(ms) / 1000.0);
            flush();
        }

    header(out, "velmora_device_transitions_total", "Changes of state, by the state changed to",
           "counter");
    for (const auto& d : *table) {
        sample(out, "velmora_device_transitions_total", d->labels, d->toUp.load(relaxed),
               "state=\"Up\"");
        sample(out, "velmora_device_transitions_total", d->labels, d->toDown.load(relaxed),
               "state=\"DOWN\"");
        flush();
    }

    single(out, "velmora_alerts_queued", "Alerts waiting in the queue", "gauge",
           std::uint64_t(std::max<std::int64_t>(queued.load(relaxed), 0)));
    single(out, "velmora_alerts_delivered_total", "Alerts delivered", "counter",
           delivered.load(relaxed));
    single(out, "velmora_alert_attempts_failed_total", "Delivery attempts that failed", "counter",
           attemptsFailed.load(relaxed));
    single(out, "velmora_cycle_passes_total", "Passes of the monitoring cycle over the devices",
           "counter", passes.load(relaxed));
    single(out, "velmora_devices", "Devices in the grid", "gauge",
           std::uint64_t(std::max<std::int64_t>(deviceCount.load(relaxed), 0)));
    header(out, "velmora_build_info", "The running program's version", "gauge");
    sample(out, "velmora_build_info", buildLabels, std::uint64_t(1));
    sink(out);
}
