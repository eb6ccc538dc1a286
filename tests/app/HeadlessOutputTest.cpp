// What velmora-headless writes, read as a journal reads it: one line per log
// entry, whatever the entry holds, and a word at start-up about data-file
// lines it left out. The real binary, on loopback only.
#include "QtPrinters.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct TRun {
    QString out, err;
    int exitCode = -1;
};

// Starts the program beside `ini` in `dir`, waits until standard output holds
// every text of `until` (or `ms` pass), then ends it with SIGTERM.
TRun RunHeadless(const QTemporaryDir& dir, const QByteArray& ini, const QStringList& until,
                 int ms) {
    TRun run;
    if (!QFile::exists(dir.filePath("velmora-headless"))) {
        EXPECT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
    }
    WriteTestFile(dir.filePath("velmora.ini"), ini);
    QProcess p;
    p.start(dir.filePath("velmora-headless"), {});
    if (!p.waitForStarted(5000)) {
        ADD_FAILURE() << "velmora-headless did not start";
        return run;
    }
    // Whether `until` came is for the caller to judge from the output.
    (void)QTest::qWaitFor(
        [&] {
            run.out += QString::fromUtf8(p.readAllStandardOutput());
            return !until.isEmpty() &&
                   std::all_of(until.begin(), until.end(),
                               [&](const QString& text) { return run.out.contains(text); });
        },
        ms);
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(10000));
    run.out += QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return run;
}

QByteArray Ini(const QString& dataFile, const QByteArray& more = {}) {
    return "[VELMORA Settings]\r\nDATFile=" + dataFile.toUtf8() +
           "\r\nVelmoraPingTimeOut=1\r\nVelmoraPacketsPerSite=1\r\nVelmoraInterSiteDelay=1\r\n"
           "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n" +
           more;
}

// A location holding a CR, and an FTP connect failure, whose entry has two
// lines: each entry comes out as one line with its log's prefix, its line
// breaks escaped, the tabs between the monitor log's fields kept.
TEST(HeadlessOutput, EveryEntryIsOneLineWithItsPrefix) {
    QTemporaryDir dir;
    const quint16 closed = [] {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : quint16(0);
    }();
    ASSERT_NE(closed, 0);
    WriteTestFile(dir.filePath("devices.dat"),
                  "127.0.0.1\tgate\rEMAIL Log: EMAIL sent to: nobody\tNo\r\n");
    const QByteArray web =
        "[Web Page Settings]\r\nWebPageCheckBoxVelmora=1\r\nWebPageEditHours=0\r\n"
        "WebPageEditMin=0\r\nCheckBoxWebPageFTP=1\r\n"
        "EditWebPageFTPHost=127.0.0.1\r\nEditWebPageFTPPort=" +
        QByteArray::number(closed) +
        "\r\nEditWebPageFTPUserID=velmora\r\nEditWebPageFTPPassword=secret\r\n";
    const QString ftpFailure = "Transfer Log: FTP Connection Failure.\\nThe FTP->Connect() method "
                               "failed to connect to Host\n";
    const TRun run = RunHeadless(dir, Ini(dir.filePath("devices.dat"), web),
                                 {ftpFailure, "Up\t127.0.0.1\t"}, 20000);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(run.out.contains(ftpFailure)) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains('\r')) << run.out.toStdString();

    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    bool sawUp = false;
    for (const QString& line : lines) {
        // Nothing an entry held starts a line of its own.
        EXPECT_FALSE(line.startsWith("The FTP->")) << line.toStdString();
        EXPECT_FALSE(line.startsWith("EMAIL Log: EMAIL sent to: nobody")) << line.toStdString();
        if (line.startsWith("Up\t127.0.0.1\t")) {
            sawUp = true;
            const QStringList fields = line.split('\t');
            ASSERT_EQ(fields.size(), 4) << line.toStdString();
            EXPECT_EQ(fields[3], "gate\\rEMAIL Log: EMAIL sent to: nobody");
        }
    }
    EXPECT_TRUE(sawUp) << run.out.toStdString();
}

// A data file that loads badly says so once, on standard error, at
// start-up: devices loaded, lines ignored, the first with its reason. Lines
// left out on purpose (comments, blank lines) are not counted.
TEST(HeadlessOutput, IgnoredDataFileLinesAreCountedOnStandardError) {
    struct Case {
        const char* name;
        QByteArray contents;
        QString said; // after the quoted path; empty: nothing at all
    };
    const Case cases[] = {
        {"written with commas", "10.0.0.1,router,Yes\r\n10.0.0.2,switch,No\r\n",
         ": 0 devices loaded, 2 lines ignored (the first, line 1: wrong field count); only the "
         "loopback row is monitored"},
        {"one good line among faults",
         "; devices\r\n\r\n127.0.0.1\tlocal\r\n1.2.3\r\n10.0.0.300\tbad\r\n",
         ": 1 device loaded, 2 lines ignored (the first, line 4: too short)"},
        {"a bad address", "127.0.0.1\tlocal\tyes\r\n127.0.0.2\tlocal 2\r\n10.0.0.300\tbad\r\n",
         ": 2 devices loaded, 1 line ignored (the first, line 3: bad address)"},
        {"comments and blank lines only", "; nothing yet\r\n\r\n        \r\n", QString()},
        {"clean", "127.0.0.1\tlocal\r\n", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString data = dir.filePath("devices.dat");
        WriteTestFile(data, c.contents);
        QByteArray ini = Ini(data);
        ini.replace("VelmoraInterSiteDelay=1", "VelmoraInterSiteDelay=60");
        const TRun run = RunHeadless(dir, ini, {}, 1500);
        EXPECT_EQ(run.exitCode, 0);
        const QStringList said = run.err.split('\n', Qt::SkipEmptyParts);
        if (c.said.isEmpty())
            EXPECT_EQ(said, QStringList{}) << run.err.toStdString();
        else
            EXPECT_EQ(said, QStringList{"velmora-headless: the data file \"" + data + '"' + c.said})
                << run.err.toStdString();
    }
}

} // namespace
