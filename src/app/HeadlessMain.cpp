// The session without a display: monitor log lines on standard output,
// prompts answered by their defaults, termination signals through the close
// rule. Runs as a service (see docs/velmora.service).
#include "CommandLine.h"
#include "InstanceLock.h"
#include "TerminationSignals.h"
#include "history/HistoryCsv.h"
#include "metrics/Metrics.h"
#include "platform/FileFolders.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "platform/SettingsFile.h"
#include "platform/TextRules.h"
#include "session/Session.h"
#include "web/Publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

// One entry, one line: a line break inside an entry (a message of several
// lines, a location typed with a CR) would end the journal's line early and
// let the rest pass for a line of its own. Control characters are shown
// escaped; a tab, which separates the fields of a log line, stays.
QString OneLine(const QString& entry) {
    QString out;
    out.reserve(entry.size());
    for (const QChar c : entry) {
        const char16_t u = c.unicode();
        if (u == u'\t' || !IsControlOrLineSeparator(u))
            out += c;
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u > 0xff) // the line and paragraph separators
            out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
    }
    return out;
}

void printLine(FILE* to, const QString& line) {
    const QByteArray bytes = OneLine(line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

// "1 device", "3 lines".
QString Counted(qsizetype n, const char* noun) {
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(noun) +
           (n == 1 ? QString() : QStringLiteral("s"));
}

// A pane's blank spacer lines would be noise in a journal.
void printLogLine(const char* log, const QString& line) {
    if (!line.trimmed().isEmpty())
        printLine(stdout, QLatin1String(log) + line);
}

// --history: reads the store beside a running monitor; it takes no lock and
// touches no settings.
int printHistory(const QStringList& arguments) {
    const THistoryCommand c = ParseHistoryCommand(arguments);
    if (!c.run) {
        printLine(stderr, c.err);
        return c.exitCode;
    }
    const QString path = DataFolder() + THistoryStore::FileName();
    if (c.hourly) {
        printLine(stdout, HistoryHourlyCsvHeader());
        if (QFileInfo::exists(path))
            for (const THistoryHour& h :
                 THistoryStore::QueryHours(path, c.address, c.sinceMs, c.untilMs))
                printLine(stdout, HistoryHourlyCsvRow(h));
        return 0;
    }
    printLine(stdout, HistoryCsvHeader());
    if (QFileInfo::exists(path))
        for (const THistoryEcho& e :
             THistoryStore::QueryEchoes(path, c.address, c.sinceMs, c.untilMs))
            printLine(stdout, HistoryCsvRow(e));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QStringList arguments = Arguments(argc, argv);
    if (!arguments.isEmpty() && arguments[0] == QLatin1String("--history")) {
        QCoreApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("Velmora"));
        return printHistory(arguments);
    }
    const TCommandLine commandLine = ParseCommandLine(
        Arguments(argc, argv),
        {QStringLiteral("velmora-headless"),
         QStringLiteral("Velmora without a display: the same monitor, its log lines on standard "
                        "output."),
         false});
    if (!Obey(commandLine))
        return commandLine.exitCode;
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmora"));
    // Before the lock appears: a supervisor that sees the lock may stop us at
    // once, and that stop must still go through the close rule. A signal that
    // comes before the session exists waits in the pipe until the loop runs.
    TTerminationSignals terminations;

    const QString settingsPath = SettingsFilePath();
    TInstanceLock lock(settingsPath);
    if (!lock.Acquire()) {
        printLine(stderr, QStringLiteral("velmora-headless: ") + lock.Refusal());
        return 1;
    }

    // A question nobody can answer takes its default and says so.
    TDefaultPrompts prompts;
    prompts.log = [](const QString& line) { printLine(stdout, line); };
    SetDefaultPrompts(&prompts);

    TSession::Options options;
    options.settingsPath = settingsPath;
    options.prompts = &prompts;
    // Both front ends publish the same pages, under the names the index
    // page links to.
    options.executableName = QStringLiteral("velmora");
    TSession session(std::move(options));
    // Read once here; start-up then uses the same parse.
    if (!session.Settings().Readable()) {
        printLine(
            stderr,
            QStringLiteral("velmora-headless: cannot read the settings file %1").arg(settingsPath));
        return 1;
    }
    QObject::connect(&session.MonitorLog(), &TLogModel::Appended,
                     [](const QString& line) { printLine(stdout, line); });
    // Without a window these lines are the only sign that alerts go out.
    QObject::connect(&session.EmailLog(), &TLogModel::Appended,
                     [](const QString& line) { printLogLine("EMAIL Log: ", line); });
    QObject::connect(&session.Publisher().TransferLog(), &TLogModel::Appended,
                     [](const QString& line) { printLogLine("Transfer Log: ", line); });

    // Monitoring goes on without them; the operator reads why.
    QObject::connect(&session.Metrics(), &TMetrics::ListenerFailed, [](const QString& line) {
        printLine(stderr, QStringLiteral("velmora-headless: ") + line);
    });

    auto tryClose = [&] {
        try {
            if (session.RequestClose())
                QCoreApplication::quit();
        } catch (const std::exception& e) {
            printLine(stderr, QStringLiteral("velmora-headless: %1").arg(e.what()));
        }
    };
    QObject::connect(&session, &TSession::CloseRetry, &app, tryClose);

    bool closeWanted = false;
    QObject::connect(&terminations, &TTerminationSignals::Requested, &app, [&] {
        if (session.StartingUp())
            closeWanted = true;
        else
            tryClose();
    });

    session.Start();
    if (!session.SocketLayerStarted())
        return 1;
    // The window would show an empty grid or the loopback row; a service
    // must not watch nothing without a word.
    switch (session.DataFileAtStart()) {
    case TSession::TDataFileStart::Missing:
        printLine(stderr, QStringLiteral(
                              "velmora-headless: the data file \"%1\" is not there or not a file; "
                              "only the loopback row is monitored")
                              .arg(session.DataFile()));
        break;
    case TSession::TDataFileStart::Unreadable:
        printLine(stderr,
                  QStringLiteral("velmora-headless: cannot read the data file \"%1\"; no device is "
                                 "monitored")
                      .arg(session.DataFile()));
        break;
    case TSession::TDataFileStart::Loaded:
        // A file written with commas in place of tabs loads nothing at all.
        if (const TDataFileLoadReport& r = session.DataFileReport(); r.ignored > 0)
            printLine(stderr,
                      QStringLiteral("velmora-headless: the data file \"%1\": %2 loaded, %3 "
                                     "ignored (the first, line %4: %5)%6")
                          .arg(session.DataFile(), Counted(r.loaded, "device"),
                               Counted(r.ignored, "line"), QString::number(r.firstIgnoredLine),
                               IgnoredLineText(r.firstReason),
                               r.loaded == 0 ? QStringLiteral("; only the loopback row "
                                                              "is monitored")
                                             : QString()));
        break;
    case TSession::TDataFileStart::NotUsed:
        break;
    }
    if (closeWanted)
        QMetaObject::invokeMethod(&app, tryClose, Qt::QueuedConnection);
    app.exec();
    return 0;
}
