#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A program started the way a service starts it: no display and no Qt
// platform in its environment, inside a network namespace when one is
// named (`ip netns exec`). What it wrote is kept, standard output and
// error apart unless the channels are merged; a run still going at the
// end is terminated, then killed.
class THeadlessRun {
public:
    THeadlessRun() = default;
    THeadlessRun(const THeadlessRun&) = delete;
    THeadlessRun& operator=(const THeadlessRun&) = delete;
    ~THeadlessRun();

    // Fails the test (fatally) when the program does not start within 5 s.
    void Start(const QString& program, const QStringList& args = {}, const QString& netns = {},
               QProcess::ProcessChannelMode channels = QProcess::SeparateChannels);

    // Waits at most `ms` for a line of standard output starting with
    // `prefix`; false at once when the program ended without one.
    bool WaitForLine(const QString& prefix, int ms);
    // The same for the `count`th such line: a restored log already holds
    // lines like the one a test waits for.
    bool WaitForLines(const QString& prefix, int count, int ms);

    // All the program wrote so far on each channel.
    const QString& Out();
    const QString& Err();

    QProcess& Process() { return process; }
    qint64 Pid() const { return process.processId(); }

private:
    void Drain();

    QProcess process;
    QString out;
    QString err;
};
