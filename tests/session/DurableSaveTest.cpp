// Saves survive a power cut: watched with strace while the session saves the
// settings, rewrites the data file and appends to it, each replacement must
// sync the new file before its rename and the folder after it.
#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "platform/Prompts.h"
#include "session/Session.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

class TYesPrompts : public TDefaultPrompts {
public:
    Answer Message(const QString&, const QString&, Buttons, Icon) override { return Answer::Yes; }
};

// strace attached to this process's main thread, where every save runs, for
// as long as this lives.
class TSyscallTrace {
public:
    explicit TSyscallTrace(const QString& log) : log(log) {
        // A tracer that is not our parent may attach (Yama's ptrace scope).
        ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
        strace.start(QStringLiteral("strace"),
                     {"-y", "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2", "-o",
                      log, "-p", QString::number(::getpid())});
        QElapsedTimer t;
        t.start();
        while (!attached() && t.elapsed() < 10000)
            QThread::msleep(10);
    }
    static bool attached() {
        return !ReadTestFile("/proc/self/status").contains("TracerPid:\t0\n");
    }
    // Detaches and gives the calls seen, one a line.
    QStringList stop() {
        ::kill(pid_t(strace.processId()), SIGINT);
        strace.waitForFinished(10000);
        return QString::fromUtf8(ReadTestFile(log)).split('\n', Qt::SkipEmptyParts);
    }

private:
    QString log;
    QProcess strace;
};

// Every rename onto `target` in the trace: the file renamed was synced after
// it was made, and the target's folder is synced once the rename is done.
int checkReplacements(const QStringList& calls, const QString& target) {
    const QString folder = target.left(target.lastIndexOf('/'));
    const QRegularExpression made("^openat\\(AT_FDCWD(?:<[^>]*>)?, \"" +
                                  QRegularExpression::escape(folder) +
                                  "(/[^\"]*)?\", [^)]*(O_TMPFILE|O_CREAT)[^)]*\\) = (\\d+)");
    const QRegularExpression renamed("^rename(at2?)?\\(.*\"" + QRegularExpression::escape(target) +
                                     "\"[^\"]*\\) = 0");
    const QRegularExpression openedFolder("^openat\\(AT_FDCWD(?:<[^>]*>)?, \"" +
                                          QRegularExpression::escape(folder) +
                                          "\", [^)]*O_DIRECTORY[^)]*\\) = (\\d+)");
    int replacements = 0;
    for (qsizetype r = 0; r < calls.size(); ++r) {
        if (!renamed.match(calls[r]).hasMatch())
            continue;
        ++replacements;
        const std::string at = calls[r].toStdString();
        // The new file: the last one made in the folder before the rename.
        QString fd;
        qsizetype from = r - 1;
        for (; from >= 0 && fd.isEmpty(); --from)
            if (const auto m = made.match(calls[from]); m.hasMatch())
                fd = m.captured(3);
        if (fd.isEmpty()) {
            ADD_FAILURE() << "no new file before " << at;
            continue;
        }
        bool synced = false;
        for (qsizetype i = from + 1; i < r; ++i)
            synced |= QRegularExpression("^f(data)?sync\\(" + fd + "<").match(calls[i]).hasMatch();
        EXPECT_TRUE(synced) << "new file " << fd.toStdString() << " not synced before " << at;
        // The folder, after the rename and before the next save.
        bool folderSynced = false;
        QString dirFd;
        for (qsizetype i = r + 1; i < calls.size() && !folderSynced; ++i) {
            if (renamed.match(calls[i]).hasMatch() || made.match(calls[i]).hasMatch())
                break;
            if (const auto m = openedFolder.match(calls[i]); m.hasMatch())
                dirFd = m.captured(1);
            else if (!dirFd.isEmpty() && calls[i].startsWith("fsync(" + dirFd + "<" + folder + ">"))
                folderSynced = true;
        }
        EXPECT_TRUE(folderSynced) << "folder not synced after " << at;
    }
    return replacements;
}

TEST(DurableSaveTest, EveryReplacementSyncsTheFileThenTheFolder) {
    if (QStandardPaths::findExecutable("strace").isEmpty())
        GTEST_SKIP() << "strace is not installed (scripts/packages.txt lists it)";
    QTemporaryDir dir;
    const QString dat = dir.filePath("net.dat");
    const QString ini = dir.filePath("velmora.ini");
    WriteTestFile(dat, "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n10.0.0.3\tgamma\r\n");
    WriteTestFile(ini, "[VELMORA Settings]\r\nDATFile=" + dat.toUtf8() +
                           "\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
    TYesPrompts prompts;
    TSession::Options o;
    o.settingsPath = ini;
    o.prompts = &prompts;
    TSession s(o);
    s.Start();
    s.Cycle().StopTimers();

    QTemporaryDir logDir;
    TSyscallTrace trace(logDir.filePath("strace.log"));
    ASSERT_TRUE(TSyscallTrace::attached()) << "strace could not attach";
    s.ButtonApplySettingsClick();
    s.SetSelectedRow(1);
    s.ActionDeleteGridDeviceExecute();
    s.SetSelectedRow(1);
    s.UpdateGridDevice("10.0.0.2", "10.0.0.22", true, "Yes", "beta moved");
    s.InsertGridDevice("10.0.0.4", "delta", true, "No");
    const QStringList calls = trace.stop();

    EXPECT_EQ(ReadTestFile(dat), "10.0.0.22\tbeta moved\tYes\r\n10.0.0.3\tgamma\r\n"
                                 "10.0.0.4\tdelta\tNo\r\n");
    EXPECT_GE(checkReplacements(calls, ini), 1) << calls.join('\n').toStdString();
    EXPECT_EQ(checkReplacements(calls, dat), 3) << calls.join('\n').toStdString();
}

} // namespace
