#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Upper bounds of the round-trip histogram, in milliseconds: 0.5 ms to 10 s.
inline constexpr std::array<double, 14> kRttBucketsMs = {0.5, 1,   2.5, 5,    10,   25,   50,
                                                         100, 250, 500, 1000, 2500, 5000, 10000};

// One device's series. Only the GUI thread writes; the listener's threads
// read, so every value is an atomic and nobody takes a lock.
struct TDeviceSeries {
    TDeviceSeries(const std::string& address, const std::string& location);

    // address="...",location="..." as the text format escapes them, made
    // once: a scrape of many devices is mostly these.
    const std::string labels;
    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> replies{0};
    std::atomic<int> up{-1}; // -1: no change seen yet, so no series
    std::atomic<std::int64_t> lastChangeMs{-1};
    std::atomic<std::uint64_t> toUp{0};
    std::atomic<std::uint64_t> toDown{0};
    // Per bucket, not cumulative; the last one counts answers over 10 s.
    std::array<std::atomic<std::uint64_t>, kRttBucketsMs.size() + 1> buckets{};
    std::atomic<std::uint64_t> rttSumMs{0};

    void RecordEcho(bool replied, std::uint32_t rttMs);
    void RecordChange(bool nowUp, std::int64_t unixMs);
};

using TSeriesTable = std::vector<std::shared_ptr<TDeviceSeries>>;

// A label value as the text format writes it: backslash, double quote and
// line feed escaped.
std::string EscapeLabelValue(const std::string& value);

// The families as Prometheus reads them. The device table is replaced
// whole when the grid's devices change; a scrape works on the table it
// found, so a device removed meanwhile is simply not in the next one.
class TMetricsFamilies {
public:
    explicit TMetricsFamilies(const std::string& version);

    // The text format (version 0.0.4), as the listener serves it: in
    // pieces of about 64 kB to `sink`, or whole.
    void WriteText(const std::function<void(std::string_view)>& sink) const;
    std::string Exposition() const;

    void Publish(std::shared_ptr<const TSeriesTable> table);
    std::shared_ptr<const TSeriesTable> Table() const { return devices.load(); }

    std::atomic<std::int64_t> queued{0};
    std::atomic<std::uint64_t> delivered{0};
    std::atomic<std::uint64_t> attemptsFailed{0};
    std::atomic<std::uint64_t> passes{0};
    std::atomic<std::int64_t> deviceCount{0};

private:
    const std::string buildLabels;
    std::atomic<std::shared_ptr<const TSeriesTable>> devices;
};
