// The help opens in the desktop's browser, at the topic of the command it
// was asked from; the pages hold a section for every topic number.
#include "TestFiles.h"
#include "TestSupport.h"
#include "monitor/MonitorSetupPage.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct HelpTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    QTemporaryDir bin;
    QByteArray oldPath = qgetenv("PATH");
    QString record = bin.filePath("opened");

    void SetUp() override {
        // The help pages as the build puts them beside the program.
        QDir(folder.dir.path()).mkdir("velmora-help");
        for (const QString& name : QDir(VELMORA_HELP_DIR).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(QString(VELMORA_HELP_DIR) + "/" + name,
                                    folder.file("velmora-help/" + name)));
        // A stand-in for the desktop's opener, first on the path.
        const QString opener = bin.filePath("xdg-open");
        WriteTestFile(opener, ("#!/bin/sh\necho \"$@\" >> '" + record + "'\n").toUtf8());
        QFile::setPermissions(opener, QFile::permissions(opener) | QFile::ExeOwner);
        qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    // The URL the opener was started with for the `n`th time.
    QString opened(int n) const {
        QStringList lines;
        const bool arrived = QTest::qWaitFor(
            [&] {
                if (!QFile::exists(record))
                    return false;
                lines = QString::fromUtf8(ReadTestFile(record)).split('\n', Qt::SkipEmptyParts);
                return lines.size() >= n;
            },
            5000);
        EXPECT_TRUE(arrived) << "opened " << lines.join(" | ").toStdString();
        return lines.size() >= n ? lines[n - 1] : QString();
    }
    QString page() const { return "file://" + folder.file("velmora-help/index.html"); }
};

} // namespace

TEST_F(HelpTest, F1AndEachHelpButtonOpenTheirTopic) {
    TForm1 form(TForm1::Options{{}, {}, false});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F1);
    EXPECT_EQ(opened(1), page());

    Named<TMonitorSetupPage>(form, "MonitorSetup")->ButtonHelp->click();
    EXPECT_EQ(opened(2), page() + "#context-150");
    Named<QToolButton>(form, "SpeedButtonWebPageHelp")->click();
    EXPECT_EQ(opened(3), page() + "#context-300");
    Named<QToolButton>(form, "SpeedButton5")->click();
    EXPECT_EQ(opened(4), page() + "#context-350");

    QMenu* mail = form.menuBar()->actions()[1]->menu();
    mail->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mail));
    mail->setActiveAction(Named<QAction>(form, "HoldEMAILNotification1"));
    QTest::keyClick(mail, Qt::Key_F1);
    EXPECT_EQ(opened(5), page() + "#context-110");
    EXPECT_TRUE(prompts.messages.empty() || prompts.messages.back().caption != "Velmora Help");
}

TEST_F(HelpTest, EveryTopicHasItsSection) {
    const QByteArray help = ReadTestFile(QString(VELMORA_HELP_DIR) + "/index.html");
    for (int context : {0, 100, 110, 120, 130, 140, 150, 160, 300, 350})
        EXPECT_TRUE(help.contains("id=\"context-" + QByteArray::number(context) + "\"")) << context;
    // Every page and dialog has a topic of its own.
    for (const char* id :
         {"page-grid", "page-log", "page-ping", "page-email-log", "dialog-insert", "dialog-edit",
          "dialog-merge", "dialog-session", "dialog-winsock", "dialog-about", "dialog-alert"})
        EXPECT_TRUE(help.contains(QByteArray("id=\"") + id + "\"")) << id;
}
