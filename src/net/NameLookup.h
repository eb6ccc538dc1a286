#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class QHostInfo;

// Looks a host name up without holding the event loop, and reports every
// address the system gives, in its order, so that a caller can pick the
// family it speaks. Only the lookup started last may answer: the answer to
// an earlier one, or to one given up, is dropped.
class TNameLookup : public QObject {
    Q_OBJECT
public:
    explicit TNameLookup(QObject* parent = nullptr);
    ~TNameLookup() override;

    // Gives up any lookup still running and starts one for `name`; a
    // numeric address is its own answer. The answer always comes from the
    // event loop, never inside this call. With `boundMs` above 0 the lookup
    // is given up after that long (TimedOut); with 0 the caller bounds it.
    void Start(const QString& name, int boundMs = 0);
    // Gives the running lookup up; nothing more is reported for it.
    void Abort();
    bool Running() const { return running; }

    // The first IPv4 address of a list, as this program connects for now.
    static std::optional<QHostAddress> FirstIPv4(const QList<QHostAddress>& addresses);

signals:
    // The lookup ended; no address when the name is unknown.
    void Found(const QList<QHostAddress>& addresses);
    void TimedOut();

private:
    void answer(quint64 serial, const QList<QHostAddress>& addresses);

    QTimer bound;
    int lookupId = -1;
    quint64 current = 0; // moves on with every Start and Abort
    bool running = false;
};
