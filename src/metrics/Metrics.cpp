#include "Metrics.h"

#include "MetricsListener.h"
#include "Version.h"
#include "devices/DeviceGrid.h"

#include <QTimer>

namespace {

// Address and location name a series; a TAB cannot be in either.
QString deviceKey(const QString& address, const QString& location) {
    return address + QLatin1Char('\t') + location;
}

} // namespace

TMetrics::TMetrics(const TDeviceGrid& g, QObject* parent)
    : QObject(parent), grid(g), families(std::make_shared<TMetricsFamilies>(kVelmoraVersion)),
      listener(new TMetricsListener(families, this)) {
    // At once, so that no scrape sees a grid the series do not match; each
    // bulk change (a load, a merge, a sort) is one signal.
    auto changed = [this] { reconcile(); };
    connect(&grid, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&grid, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&grid, &QAbstractItemModel::modelReset, this, changed);
    connect(&grid, &QAbstractItemModel::dataChanged, this,
            [changed](const QModelIndex& from, const QModelIndex&) {
                // Statistics cells change at every echo; only the address and
                // the location name a device.
                if (from.column() <= Col::Location)
                    changed();
            });
    connect(listener, &TMetricsListener::Listening, this, [this](const QString& address) {
        listening = address;
        emit ListenerChanged(address);
    });
    connect(listener, &TMetricsListener::Failed, this,
            [this](const QString& address, const QString& why) {
                listening.clear();
                emit ListenerFailed(
                    QStringLiteral("Metrics Address %1: cannot listen there (%2); no metrics "
                                   "are served, monitoring goes on")
                        .arg(address, why));
            });
    reconcile();
}

TMetrics::~TMetrics() = default;

void TMetrics::reconcile() {
    QHash<QString, std::shared_ptr<TDeviceSeries>> next;
    auto table = std::make_shared<TSeriesTable>();
    table->reserve(size_t(grid.DeviceCount()));
    next.reserve(grid.DeviceCount());
    for (int row = 1; row < grid.RowCount(); ++row) {
        const QString& address = grid.Row(row).cells[Col::Address];
        const QString& location = grid.Row(row).cells[Col::Location];
        const QString key = deviceKey(address, location);
        // Two rows of one device share its series: two series with the same
        // labels would make the exposition invalid.
        if (next.contains(key))
            continue;
        std::shared_ptr<TDeviceSeries> s = byDevice.value(key);
        if (!s) {
            s = std::make_shared<TDeviceSeries>(address.toStdString(), location.toStdString());
            // A device loaded with a state (the saved state) shows it.
            const QString& status = grid.Row(row).cells[Col::Status];
            if (status == QLatin1String("Up") || status == QLatin1String("DOWN"))
                s->up.store(status == QLatin1String("Up") ? 1 : 0, std::memory_order_relaxed);
        }
        next.insert(key, s);
        table->push_back(std::move(s));
    }
    byDevice = std::move(next);
    families->deviceCount.store(grid.DeviceCount(), std::memory_order_relaxed);
    families->Publish(std::move(table));
}

TDeviceSeries* TMetrics::seriesOf(int row) {
    if (row < 1 || row >= grid.RowCount())
        return nullptr;
    const auto& cells = grid.Row(row).cells;
    return byDevice.value(deviceKey(cells[Col::Address], cells[Col::Location])).get();
}

void TMetrics::EchoRecorded(int row, bool replied, quint32 roundTripMs) {
    if (TDeviceSeries* s = seriesOf(row))
        s->RecordEcho(replied, roundTripMs);
}

void TMetrics::StateChanged(int row, bool up, const QDateTime& t) {
    if (TDeviceSeries* s = seriesOf(row))
        s->RecordChange(up, t.toMSecsSinceEpoch());
}

void TMetrics::CyclePosition(int loopCount) {
    // The loop count restarts with a new monitor and wraps at its maximum;
    // the counter only goes up.
    if (loopCount == lastLoopCount)
        return;
    const int added = loopCount > lastLoopCount ? loopCount - lastLoopCount : loopCount;
    lastLoopCount = loopCount;
    families->passes.fetch_add(std::uint64_t(added), std::memory_order_relaxed);
}

void TMetrics::QueueChanged(size_t entries) {
    families->queued.store(std::int64_t(entries), std::memory_order_relaxed);
}

void TMetrics::DeliveryFinished(bool delivered) {
    auto& counter = delivered ? families->delivered : families->attemptsFailed;
    counter.fetch_add(1, std::memory_order_relaxed);
}

void TMetrics::Listen(const QString& text) {
    const QString listen = text.trimmed();
    if (listen.isEmpty()) {
        // Key absent or emptied: no socket at all.
        if (!wanted.isEmpty())
            listener->Move(std::nullopt);
        wanted.clear();
        return;
    }
    const std::optional<TListenAddress> address = ParseListenAddress(listen);
    if (!address) {
        if (!wanted.isEmpty())
            listener->Move(std::nullopt);
        wanted.clear();
        // Said after the current step, like a failed bind.
        QTimer::singleShot(0, this, [this, listen] {
            emit ListenerFailed(QStringLiteral("Metrics Address \"%1\" is not host:port or a port; "
                                               "no metrics are served, monitoring goes on")
                                    .arg(listen));
        });
        return;
    }
    // Apply with an unchanged address keeps the listener and its
    // connections; after a failed bind it tries again.
    if (address->Text() == listening && wanted == listening)
        return;
    wanted = address->Text();
    listener->Move(address);
}
