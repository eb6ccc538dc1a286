#include "ScriptedFtpServer.h"
#include "StallMeter.h"
#include "WindowTest.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "session/Session.h"
#include "web/FtpStep.h"
#include "web/Publisher.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct WebPageWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    QString ini() const { return folder.file(QStringLiteral("velmora.ini")); }
    void writeIni(const QByteArray& text) const {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // A stand-in browser that records its arguments, one a line.
    QString standInBrowser(const QString& name) const {
        const QString path = folder.file(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
        return path;
    }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

QWidget* buddyOf(const QWidget& root, const QString& caption) {
    for (QLabel* l : root.findChildren<QLabel*>())
        if (l->text() == caption)
            return l->buddy();
    return nullptr;
}

} // namespace

TEST_F(WebPageWindowTest, ControlsAreFoundByTheirCaptionsWithTheirStartValues) {
    TForm1 form(TestWindowOptions());
    auto* page = Named<QWidget>(form, "WebPage");
    struct Labelled {
        const char* caption;
        const char* control;
    } labelled[] = {{"Every", "EditWebPageHours"},
                    {"hours", "EditWebPageMin"},
                    {"Host/IP:", "EditWebPageFTPHost"},
                    {"Port:", "EditWebPageFTPPort"},
                    {"Host Folder:", "EditWebPageFTPFolder"},
                    {"User ID:", "EditWebPageFTPUserID"},
                    {"Password:", "EditWebPageFTPPassword"},
                    {"Drive:\\Path:", "EditWebPageDrivePath"}};
    for (const Labelled& l : labelled) {
        QWidget* buddy = buddyOf(*page, QString::fromUtf8(l.caption));
        ASSERT_NE(buddy, nullptr) << l.caption;
        EXPECT_EQ(buddy->objectName(), l.control) << l.caption;
    }
    struct Boxed {
        const char* caption;
        const char* control;
    } boxes[] = {{"Output Velmora Grid to Web Page", "CheckBoxVelmoraWebPage"},
                 {"Use FTP to Transfer Web Page", "CheckBoxWebPageFTP"},
                 {"Use FTP Anonymous Account", "CheckBoxAnonymousAccount"},
                 {"Copy Web Page to Local/Network Drive", "CheckBoxWebPageLocalDrive"}};
    for (const Boxed& b : boxes) {
        auto* box = Named<QCheckBox>(*page, b.control);
        EXPECT_EQ(box->text(), b.caption);
        EXPECT_FALSE(box->isChecked());
    }
    EXPECT_EQ(Named<QPushButton>(*page, "ButtonWebPageTransferFile")->text(), "Create Now");
    EXPECT_EQ(Named<QPushButton>(*page, "ButtonApplyWebPage")->text(), "Apply");
    EXPECT_EQ(Named<QToolButton>(*page, "SpeedButton6")->accessibleName(),
              "Explore Grid/Log Web Pages");
    EXPECT_EQ(Named<QToolButton>(*page, "SpeedButton1")->toolTip(),
              "Click to Select a Drive:\\Path");
    EXPECT_EQ(Named<QPlainTextEdit>(*page, "TransferMemo")->accessibleName(), "Transfer Log");

    auto* hours = Named<QSpinBox>(*page, "EditWebPageHours");
    auto* minutes = Named<QSpinBox>(*page, "EditWebPageMin");
    EXPECT_EQ(hours->value(), 1);
    EXPECT_EQ(hours->maximum(), 23);
    EXPECT_EQ(minutes->value(), 0);
    EXPECT_EQ(minutes->maximum(), 59);
    auto* port = Named<QLineEdit>(*page, "EditWebPageFTPPort");
    EXPECT_EQ(port->text(), "21");
    EXPECT_EQ(port->maxLength(), 5);
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageDrivePath")->maxLength(), 512);
    EXPECT_TRUE(Named<QAction>(form, "ExploreWebPages1")->isEnabled());
}

TEST_F(WebPageWindowTest, LoadedAnonymousTickReplacesTheStoredAccountAndApplyWritesTheKeysInOrder) {
    writeIni("[Web Page Settings]\r\nEditWebPageFTPUserID=bob\r\nEditWebPageFTPPassword=secret\r\n"
             "CheckBoxAnonymousAccount=1\r\nEditWebPageFTPHost=ftp.example\r\n"
             "WebBrowserSpecification=/usr/bin/true\r\n");
    TForm1 form(TestWindowOptions());
    auto* page = Named<QWidget>(form, "WebPage");
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPUserID")->text(), "anonymous");
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPPassword")->text(), "visit@nowhere");
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPHost")->text(), "ftp.example");

    // Clearing the box empties both; an edit is the publisher's at once.
    Named<QCheckBox>(*page, "CheckBoxAnonymousAccount")->click();
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPUserID")->text(), "");
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageFTPPassword")->text(), "");
    QTest::keyClicks(Named<QLineEdit>(*page, "EditWebPageFTPUserID"), "carol");
    EXPECT_EQ(form.Session().Publisher().Boxes().ftpUser, "carol");
    Named<QSpinBox>(*page, "EditWebPageMin")->setValue(15);

    Named<QPushButton>(*page, "ButtonApplyWebPage")->click();
    const QStringList keys = TIniFile(ini()).ReadSectionValues("Web Page Settings");
    // The keys the file had stay where they were; Apply's own follow in order.
    EXPECT_EQ(keys, QStringList(
                        {"EditWebPageFTPUserID=carol",
                         "EditWebPageFTPPassword=", "CheckBoxAnonymousAccount=0",
                         "EditWebPageFTPHost=ftp.example", "WebBrowserSpecification=/usr/bin/true",
                         "WebPageCheckBoxVelmora=0", "WebPageEditHours=1", "WebPageEditMin=15",
                         "CheckBoxWebPageFTP=0", "EditWebPageFTPPort=21", "EditWebPageFTPFolder=",
                         "CheckBoxWebPageLocalDrive=0", "EditWebPageDrivePath="}));
}

TEST_F(WebPageWindowTest, ApplyWritesTheTwelveKeysInOrder) {
    TForm1 form(TestWindowOptions());
    Named<QPushButton>(form, "ButtonApplyWebPage")->click();
    TIniFile fresh(ini());
    QStringList order;
    for (const auto& entry : fresh.ReadSection("Web Page Settings"))
        order << entry.first;
    EXPECT_EQ(order, QStringList({"WebPageCheckBoxVelmora", "WebPageEditHours", "WebPageEditMin",
                                  "CheckBoxWebPageFTP", "EditWebPageFTPHost", "EditWebPageFTPPort",
                                  "EditWebPageFTPFolder", "EditWebPageFTPUserID",
                                  "EditWebPageFTPPassword", "CheckBoxAnonymousAccount",
                                  "CheckBoxWebPageLocalDrive", "EditWebPageDrivePath"}));
}

TEST_F(WebPageWindowTest, CreateNowFillsTheTransferLogPane) {
    TForm1 form(TestWindowOptions());
    auto* page = Named<QWidget>(form, "WebPage");
    Named<QPushButton>(*page, "ButtonWebPageTransferFile")->click();
    const QString index = form.Session().IndexPagePath();
    EXPECT_EQ(index, folder.file("index.htm"));
    EXPECT_TRUE(QFile::exists(index));
    const QStringList shown =
        Named<QPlainTextEdit>(*page, "TransferMemo")->toPlainText().split('\n');
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], index + " created.  This is the page you should start with.");
    EXPECT_TRUE(shown[1].endsWith(".htm created."));
    EXPECT_TRUE(shown[2].endsWith("log.htm created."));
}

TEST_F(WebPageWindowTest, ExploreSaysWhenThereIsNoIndexPage) {
    TRecordingLauncher launcher;
    TForm1 form(TestWindowOptions());
    prompts.messages.clear();
    Named<QToolButton>(form, "SpeedButton6")->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Web Not Found");
    EXPECT_EQ(prompts.messages[0].text, folder.file("index.htm") + " not found.");
    EXPECT_TRUE(launcher.browserUrls.isEmpty());

    // With pages and no browser chosen, the desktop's browser gets the page.
    form.Session().Publisher().ButtonWebPageTransferFileClick();
    Named<QAction>(form, "ExploreWebPages1")->trigger();
    EXPECT_EQ(launcher.browserUrls, QStringList({"file://" + folder.file("index.htm")}));
}

TEST_F(WebPageWindowTest, StoredBrowserIsStartedWithTheIndexPageAndAMissingOneIsChosenAgain) {
    const QString browser = standInBrowser("browser.sh");
    writeIni(QByteArray("[Web Page Settings]\r\nWebBrowserSpecification=") +
             folder.file("gone.sh").toUtf8() + "\r\n");
    TForm1 form(TestWindowOptions());
    form.Session().Publisher().ButtonWebPageTransferFileClick();

    // The stored browser has gone: the chooser opens; the one picked is
    // stored and started at once.
    prompts.fileNames.push_back(browser);
    Named<QAction>(form, "ExploreWebPages1")->trigger();
    EXPECT_EQ(prompts.fileDialogTitles,
              QStringList({"Find Web Browser - Select the Web Browser you wish to use."}));
    EXPECT_EQ(TIniFile(ini()).ReadString("Web Page Settings", "WebBrowserSpecification", ""),
              browser);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(browser + ".args"); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !readAll(browser + ".args").isEmpty(); }, 2000));
    EXPECT_EQ(readAll(browser + ".args"), folder.file("index.htm").toUtf8() + "\n");

    // Cancelling the chooser does nothing.
    QFile::remove(browser + ".args");
    QFile::remove(browser);
    Named<QAction>(form, "ExploreWebPages1")->trigger();
    EXPECT_EQ(prompts.fileDialogTitles.size(), 2);
    EXPECT_EQ(TIniFile(ini()).ReadString("Web Page Settings", "WebBrowserSpecification", ""),
              browser);
}

// A server that accepts and never says a word holds neither the window nor
// the cycle; a second run cannot start inside the first, and the wait ends.
TEST_F(WebPageWindowTest, AnUploadToASilentServerHoldsNothingUp) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress("127.0.0.1")));
    QList<QTcpSocket*> accepted;
    QObject::connect(&silent, &QTcpServer::newConnection,
                     [&] { accepted << silent.nextPendingConnection(); });

    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Session().Cycle().SetEcho([](const QString&, int) {
        TEchoResult r;
        r.replied = true;
        r.roundTripTime = 1;
        return r;
    });
    auto* setup = Named<TMonitorSetupPage>(form, "MonitorSetup");
    setup->UpDownVelmoraInterSiteDelay->setValue(1);
    setup->ButtonApplySettings->click();
    TPublisher& publisher = form.Session().Publisher();
    publisher.Ftp().SetTimeOut(2500);
    TWebPageSettings& b = publisher.Boxes();
    b.useFtp = true;
    b.ftpHost = "127.0.0.1";
    b.ftpPort = QString::number(silent.serverPort());
    b.ftpUser = "user";
    b.ftpPassword = "secret";

    QSignalSpy probed(&form.Session().Cycle(), &TMonitorCycle::packetDone);
    // The first change is painted with fonts loaded on first use; that
    // one-time cost is not what this measures.
    ASSERT_TRUE(probed.wait(5000));
    QTest::qWait(300);
    probed.clear();
    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    TStallMeter meter;
    Named<QPushButton>(form, "ButtonWebPageTransferFile")->click();
    ASSERT_TRUE(publisher.Running());
    QTest::qWait(300);
    EXPECT_FALSE(publisher.ButtonWebPageTransferFileClick()) << "a second run started";
    ASSERT_TRUE(ended.wait(10000));
    meter.Stop();

    EXPECT_LT(meter.WorstGap(), 50) << "the GUI thread stalled, " << meter.WorstAt() << " ms in";
    EXPECT_GE(meter.Elapsed(), 2300); // a coarse timer may fire 5 % early
    EXPECT_GT(probed.count(), 0) << "the cycle stood still";
    EXPECT_EQ(accepted.size(), 1);
    const QStringList log = publisher.TransferLog().Lines();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.mid(log.size() - 2),
              QStringList({"FTP Connect Unsuccessful.",
                           "  - Connection to 127.0.0.1:" + b.ftpPort + " failed."}));
    bool boxShown = false;
    for (const auto& m : prompts.messages)
        boxShown |= m.text == "FTP Login Failure" && m.caption == "FTP Error";
    EXPECT_TRUE(boxShown);
}

// The message boxes open on the screen.
int openMessageBoxes() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<QMessageBox*>(w) && w->isVisible();
    return n;
}

// A schedule of every tick against a server that refuses every upload, with
// the window's own message boxes: one error box stays open, and the runs
// meanwhile only log what they would have shown.
TEST_F(WebPageWindowTest, RefusedUploadsOnAOneTickScheduleOpenOneBoxAtATime) {
    TScriptedFtpServer::Script script;
    script.replies["STOR"] = "553 Could not create file\r\n";
    TScriptedFtpServer server("127.0.0.1", 0, script);
    ASSERT_TRUE(server.Listening());
    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // From here on the window's own message boxes (the start-up questions
    // have been answered).
    SetPrompts(nullptr);
    auto* page = Named<QWidget>(form, "WebPage");
    Named<QSpinBox>(*page, "EditWebPageHours")->setValue(0);
    Named<QSpinBox>(*page, "EditWebPageMin")->setValue(0);
    Named<QCheckBox>(*page, "CheckBoxWebPageFTP")->click();
    QTest::keyClicks(Named<QLineEdit>(*page, "EditWebPageFTPHost"), "127.0.0.1");
    auto* port = Named<QLineEdit>(*page, "EditWebPageFTPPort");
    port->clear();
    QTest::keyClicks(port, QString::number(server.Port()));
    QTest::keyClicks(Named<QLineEdit>(*page, "EditWebPageFTPUserID"), "velmora");
    QTest::keyClicks(Named<QLineEdit>(*page, "EditWebPageFTPPassword"), "s3cret");
    Named<QCheckBox>(*page, "CheckBoxVelmoraWebPage")->click();

    TPublisher& publisher = form.Session().Publisher();
    QSignalSpy ended(&publisher, &TPublisher::RunEnded);
    // The clock's own ticks, a run on each.
    auto runs = [&](int count) {
        const qsizetype until = ended.count() + count;
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() >= until; }, 3000 + 2000 * count));
    };
    runs(5);
    EXPECT_GE(server.Connections(), 5);
    EXPECT_EQ(openMessageBoxes(), 1);
    EXPECT_EQ(publisher.TransferLog().Lines().mid(publisher.TransferLog().Lines().size() - 2),
              QStringList({"Failure: cmdUpload",
                           "553 Could not create file  (not shown: an error box is open)"}));

    // Once the operator has closed it, the next refusal shows a box again.
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible())
            box = m;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "553 Could not create file");
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(QTest::qWaitFor([] { return openMessageBoxes() == 0; }, 2000));
    runs(3);
    EXPECT_EQ(openMessageBoxes(), 1);
    EXPECT_EQ(publisher.TransferLog().Lines().last(),
              "553 Could not create file  (not shown: an error box is open)");
}

TEST_F(WebPageWindowTest, DrivePathSelectionAndTheTransferLogMenu) {
    TForm1 form(TestWindowOptions());
    auto* page = Named<QWidget>(form, "WebPage");
    Named<QToolButton>(*page, "SpeedButton1")->click();
    auto* dlg = Named<QFileDialog>(form, "DlgDrivePathSelect");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), "Drive\\Path Selection");
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->labelText(QFileDialog::Accept), "OK");
    EXPECT_EQ(dlg->labelText(QFileDialog::Reject), "Cancel");
    // OK puts the chosen folder in the drive-path box.
    dlg->selectFile(folder.dir.path());
    static_cast<QDialog*>(dlg)->accept();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageDrivePath")->text(), folder.dir.path());
    EXPECT_EQ(form.Session().Publisher().Boxes().drivePath, folder.dir.path());

    // Cancel changes nothing.
    Named<QToolButton>(*page, "SpeedButton1")->click();
    dlg = Named<QFileDialog>(form, "DlgDrivePathSelect");
    ASSERT_NE(dlg, nullptr);
    static_cast<QDialog*>(dlg)->reject();
    EXPECT_EQ(Named<QLineEdit>(*page, "EditWebPageDrivePath")->text(), folder.dir.path());

    QStringList captions;
    for (QAction* a : Named<QMenu>(*page, "PopupMenuTransferLog")->actions())
        captions << a->text() + (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString());
    EXPECT_EQ(captions, QStringList({"Cu&t Ctrl+X", "&Copy Ctrl+C", "Select &All Ctrl+A",
                                     "Clear Log...", "&Open... Ctrl+O", "Save &As..."}));
}
