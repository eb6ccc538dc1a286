#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Terminates `p`, then kills it if it has not ended within `graceMs`.
void StopProcess(QProcess& p, int graceMs = 3000);

// A server program that a test runs beside it: started, awaited until it
// says (or shows) that it serves, and stopped when the object goes, so no
// peer outlives its test. Every wait has a bound.
class TPeerProcess {
public:
    TPeerProcess() = default;
    ~TPeerProcess() { Stop(); }
    TPeerProcess(const TPeerProcess&) = delete;
    TPeerProcess& operator=(const TPeerProcess&) = delete;

    // Which output the ready line is looked for in: both channels as one,
    // or standard output alone (standard error then only goes into the
    // reason it did not come up).
    enum class Channels { Merged, Separate };

    // Starts `program` and waits at most `ms` until its output holds
    // `ready` (an empty `ready`: until it has started). Returns why it did
    // not come up, named `name`, or nothing.
    QString Start(const QString& name, const QString& program, const QStringList& args,
                  const QByteArray& ready, int ms = 10000, Channels channels = Channels::Merged);
    // Starts `program` and waits at most `ms` until a TCP connection to
    // address:port is greeted with a line starting with "220" (SMTP and FTP
    // servers that print nothing once they listen).
    QString StartAndAwaitGreeting(const QString& name, const QString& program,
                                  const QStringList& args, const QString& address, quint16 port,
                                  int ms = 10000);
    // Terminates it, then kills it if it has not ended within 3 s.
    void Stop();

    bool Running() const { return process.state() != QProcess::NotRunning; }
    QProcess& Process() { return process; }

    // The path of `program` on PATH or in `folders`, or empty.
    static QString Find(const QString& program, const QStringList& folders = {});
    // Debian installs a module for its own interpreter, which need not be
    // the first python3 on PATH. Empty when no interpreter has `module`.
    static QString Python(const char* module);

private:
    QString started(const QString& name, const QString& program, const QStringList& args,
                    Channels channels);

    QProcess process;
};
