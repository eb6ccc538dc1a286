#pragma once

// What a scraper sees of the metrics listener: blocking HTTP on plain
// sockets (usable from any thread, also one inside a test namespace),
// samples read out of the text format, Prometheus' own check of that
// text, and the listening sockets and memory of a process.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

struct THttpReply {
    bool answered = false; // a status line came back
    int status = 0;
    QByteArray head;
    QByteArray body;
    qint64 ms = 0; // from connect to the end of the reply
};

// GET `path` from host:port, `extraHead` appended to the request's header,
// with the whole exchange bounded by `timeoutMs`.
THttpReply HttpGet(const char* host, quint16 port, const QByteArray& path, int timeoutMs = 6000,
                   const QByteArray& extraHead = {});

// The value of one series ("name{labels}" exactly as served, or a bare name).
std::optional<double> Sample(const QByteArray& text, const QByteArray& series);
// The series of a family served for one device.
QByteArray DeviceSeries(const char* name, const QByteArray& address, const QByteArray& location,
                        const QByteArray& more = {});

// Fails the test unless `promtool check metrics` takes `text` without a
// word.
void ExpectPromtoolAccepts(const QByteArray& text);

// A port on 127.0.0.1 that nobody listened on a moment ago.
quint16 FreePort();

// "127.0.0.1:9100" for every TCP socket of `pid` in state LISTEN.
QStringList ListeningAddresses(qint64 pid);
// Resident memory of `pid`, in kB.
qint64 ResidentKb(qint64 pid);
