// The written grid page as a real browser shows it (Debian's chromium,
// headless): one row per device, the status colours, and a location holding
// markup shown as text with no script run.
#include "devices/DeviceGrid.h"
#include "web/Publisher.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString chromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString p = QStandardPaths::findExecutable(QLatin1String(name));
        if (!p.isEmpty())
            return p;
    }
    return {};
}

// Runs the headless browser on `page` with `args`; its standard output.
QByteArray runChromium(const QString& browser, QStringList args, const QString& page) {
    QTemporaryDir profile;
    args = QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--user-data-dir=" + profile.path()} +
           args + QStringList{"file://" + page};
    QProcess p;
    p.start(browser, args);
    if (!p.waitForFinished(90000)) {
        p.kill();
        p.waitForFinished(5000);
        ADD_FAILURE() << "chromium did not finish";
    }
    return p.readAllStandardOutput();
}

} // namespace

TEST(BrowserPage, ChromiumShowsOneRowPerDeviceTheColoursAndMarkupAsText) {
    const QString browser = chromium();
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    QTemporaryDir dir;
    TDeviceGrid grid;
    grid.SetGridHeader();
    struct Device {
        const char* address;
        const char* location;
        const char* status;
    } devices[] = {
        {"10.0.0.1", "Core router", "Up"},
        {"10.0.0.2",
         "<script>document.title='pwned';document.body.setAttribute('data-pwned','1')"
         "</script>",
         "DOWN"},
        {"10.0.0.3", "Caf\xc3\xa9 & \"bar\"", "Idle"},
    };
    for (const Device& d : devices) {
        std::array<QString, Col::Count> cells;
        cells[0] = QString::fromUtf8(d.address);
        cells[1] = QString::fromUtf8(d.location);
        cells[2] = QStringLiteral("Yes");
        cells[3] = QString::fromUtf8(d.status);
        grid.AppendRow(cells);
    }
    TPublisher publisher({[&]() -> const TDeviceGrid& { return grid; },
                          [] { return QStringList(); },
                          [] { return 0xFF0000u; },
                          [] { return 0x0000FFu; },
                          [] { return QStringLiteral("Thu Dec 10, 2026 19:00:00"); },
                          [&] { return dir.filePath("velmora"); },
                          {}});
    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    ASSERT_TRUE(publisher.ButtonWebPageTransferFileClick());
    ASSERT_TRUE(ended.wait(5000));
    const QString page = dir.filePath("velmora.htm");

    const QString dom = QString::fromUtf8(runChromium(browser, {"--dump-dom"}, page));
    ASSERT_TRUE(dom.contains("<table")) << dom.toStdString();
    EXPECT_EQ(dom.count(QRegularExpression("<tr bgcolor=")), 3) << dom.toStdString();
    EXPECT_TRUE(dom.contains("<title>Velmora Grid Status</title>")) << "a script renamed the page";
    EXPECT_FALSE(dom.contains("data-pwned=\"1\"")) << "the location ran as script";
    // The markup came through as text, escaped again by the DOM dump.
    EXPECT_TRUE(dom.contains("&lt;script&gt;document.title='pwned'")) << dom.toStdString();
    EXPECT_TRUE(dom.contains(QString::fromUtf8("Caf\xc3\xa9 &amp; \"bar\"")));
    EXPECT_TRUE(dom.contains("<font color=\"#ff0000\">DOWN</font>"));
    EXPECT_TRUE(dom.contains("<font color=\"#0000ff\">Up</font>"));
    EXPECT_TRUE(dom.contains("<font color=\"#0000ff\">Idle</font>"));

    // A picture of the page, kept for the documentation when asked for.
    const QString shot = dir.filePath("grid.png");
    runChromium(browser, {"--screenshot=" + shot, "--window-size=1500,330", "--hide-scrollbars"},
                page);
    EXPECT_TRUE(QFile(shot).size() > 1000);
    const QByteArray keep = qgetenv("VELMORA_SCREENSHOT");
    if (!keep.isEmpty()) {
        QFile::remove(QString::fromLocal8Bit(keep));
        QFile::copy(shot, QString::fromLocal8Bit(keep));
    }
}
