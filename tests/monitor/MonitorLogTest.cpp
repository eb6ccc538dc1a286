#include "monitor/MonitorLog.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "platform/VelmoraError.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPrinter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct MonitorLogTest : ::testing::Test {
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    TTempProgramFolder folder;
    std::unique_ptr<TMonitorLog> log = std::make_unique<TMonitorLog>();

    QString backup() const { return folder.file(QStringLiteral("velmora.log")); }
    void fill() {
        for (const char* l : {"DOWN\t10.0.0.1\tMon Jan 05, 2026 10:00:00\tRouter",
                              "Up\t10.0.0.1\tMon Jan 05, 2026 10:05:00\tRouter"})
            log->AppendMonitorLog(QString::fromLatin1(l));
    }
    QStringList filled() const {
        return {"DOWN\t10.0.0.1\tMon Jan 05, 2026 10:00:00\tRouter",
                "Up\t10.0.0.1\tMon Jan 05, 2026 10:05:00\tRouter"};
    }
    // The program starting afresh: nothing to undo.
    void restart() { log = std::make_unique<TMonitorLog>(); }
};

TEST_F(MonitorLogTest, PopupMenuHasTheEntriesInOrder) {
    struct Entry {
        const char* name;
        const char* caption;
        QKeySequence keys;
    };
    const std::vector<Entry> expected = {
        {"ActionVelmoraLogRestore", "&Restore Log", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"EditCutWanLog", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {"EditCopyWanLog", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"ActionClearWanLog", "Clear Log...", QKeySequence()},
        {"EditSelectAllWanLog", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"FileOpenWanLog", "&Open...", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"FileSaveAsWanLog", "Save &As...", QKeySequence()},
        {"PrintDlgVelmoraLog", "&Print...", QKeySequence(Qt::CTRL | Qt::Key_P)},
    };
    EXPECT_EQ(log->objectName(), QStringLiteral("VelmoraMemo"));
    ASSERT_EQ(log->PopupMenu(), log->PopupMenuVelmora);
    const QList<QAction*> actions = log->PopupMenuVelmora->actions();
    ASSERT_EQ(actions.size(), qsizetype(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(actions[qsizetype(i)]->objectName(), QLatin1String(expected[i].name));
        EXPECT_EQ(actions[qsizetype(i)]->text(), QLatin1String(expected[i].caption));
        EXPECT_EQ(actions[qsizetype(i)]->shortcut(), expected[i].keys);
    }
}

TEST_F(MonitorLogTest, ClearWritesTheBackupWhateverTheAnswer) {
    for (const auto answer : {TPrompts::Answer::No, TPrompts::Answer::Yes}) {
        restart();
        fill();
        WriteTestFile(backup(), "stale line\r\n");
        prompts.messages.clear();
        prompts.answers = {answer};
        log->ActionClearWanLogExecute();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Are you sure ?"));
        EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Clear Log"));
        EXPECT_EQ(ReadTestFile(backup()), "DOWN\t10.0.0.1\tMon Jan 05, 2026 10:00:00\tRouter\r\n"
                                          "Up\t10.0.0.1\tMon Jan 05, 2026 10:05:00\tRouter\r\n");
        EXPECT_EQ(log->Lines(), answer == TPrompts::Answer::Yes ? QStringList() : filled());
    }
}

TEST_F(MonitorLogTest, RestoreRightAfterClearUndoesWithoutTheFile) {
    fill();
    prompts.answers = {TPrompts::Answer::Yes};
    log->ActionClearWanLogExecute();
    ASSERT_TRUE(log->Lines().isEmpty());
    // A different backup shows whether the file was read.
    WriteTestFile(backup(), "from the file\r\n");
    log->ActionVelmoraLogRestoreExecute();
    EXPECT_EQ(log->Lines(), filled());
    // Only one step: the next restore reads the file.
    log->ActionVelmoraLogRestoreExecute();
    EXPECT_EQ(log->Lines(), filled() << "from the file");
}

TEST_F(MonitorLogTest, RestoreAfterALoggedLineAppendsTheBackup) {
    fill();
    prompts.answers = {TPrompts::Answer::Yes};
    log->ActionClearWanLogExecute();
    log->AppendMonitorLog(QStringLiteral("DOWN\t10.0.0.2\tnow\tSwitch"));
    log->ActionVelmoraLogRestoreExecute();
    EXPECT_EQ(log->Lines(), QStringList("DOWN\t10.0.0.2\tnow\tSwitch") + filled());
}

TEST_F(MonitorLogTest, RestoreAfterRestartAppendsExactlyTheBackupLines) {
    struct Case {
        const char* what;
        QByteArray file;
    };
    const std::vector<Case> cases = {
        {"CR LF", "a\r\nb\r\nc\r\n"},
        {"LF", "a\nb\nc\n"},
        {"no final line break", "a\r\nb\r\nc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteTestFile(backup(), c.file);
        restart();
        log->AppendMonitorLog(QStringLiteral("from the saved state"));
        log->ActionVelmoraLogRestoreExecute();
        EXPECT_EQ(log->Lines(), QStringList({"from the saved state", "a", "b", "c"}));
    }
}

TEST_F(MonitorLogTest, OverlongBackupLineIsCutAndReadingGoesOn) {
    const QByteArray longLine(300, 'x');
    WriteTestFile(backup(), "first\r\n" + longLine + "\r\nlast\r\n");
    log->ActionVelmoraLogRestoreExecute();
    EXPECT_EQ(log->Lines(), QStringList({"first", QString(254, QLatin1Char('x')), "last"}));
}

TEST_F(MonitorLogTest, MissingOrUnwritableBackupIsSilent) {
    fill();
    log->ActionVelmoraLogRestoreExecute();
    EXPECT_EQ(log->Lines(), filled());

    const QString bad = folder.file(QStringLiteral("missing/velmora.log"));
    EXPECT_NO_THROW(log->BackupMonitorLog(bad));
    EXPECT_FALSE(QFile::exists(bad));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MonitorLogTest, SaveAndOpenUseTheirDialogTitles) {
    fill();
    const QString saved = folder.file(QStringLiteral("saved.log"));
    prompts.fileNames = {saved, saved};
    log->FileSaveAsWanLogAccept();
    log->FileOpenWanLogAccept();
    EXPECT_EQ(prompts.fileDialogTitles, QStringList({"Save Velmora Log", "Open Velmora Log"}));
    EXPECT_EQ(ReadTestFile(saved), "DOWN\t10.0.0.1\tMon Jan 05, 2026 10:00:00\tRouter\r\n"
                                   "Up\t10.0.0.1\tMon Jan 05, 2026 10:05:00\tRouter\r\n");
    EXPECT_EQ(launcher.editorPaths, QStringList({saved}));
    EXPECT_EQ(log->Lines(), filled());

    const QString bad = folder.file(QStringLiteral("missing/saved.log"));
    prompts.fileNames = {bad};
    try {
        log->FileSaveAsWanLogAccept();
        FAIL() << "no error raised";
    } catch (const TVelmoraError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot create file ") + bad);
    }

    // From the menu the error reaches the standard error display instead of
    // Qt's signal code.
    prompts.messages.clear();
    prompts.fileNames = {bad};
    log->FileSaveAsWanLog->trigger();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Cannot create file ") + bad);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Velmora"));
    EXPECT_EQ(log->Lines(), filled());
}

// Stands in for the operator at the print dialog.
struct ScriptedPrintDialog {
    QString outFile;
    int copies = 0; // 0: cancel
    std::vector<int> copiesOnOpening;
    std::vector<QWidget*> parents;

    ScriptedPrintDialog() {
        SetPrintDialogHook([this](QPrinter& p, QWidget* parent) {
            copiesOnOpening.push_back(p.copyCount());
            parents.push_back(parent);
            if (copies == 0)
                return false;
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(outFile);
            p.setCopyCount(copies);
            return true;
        });
    }
    ~ScriptedPrintDialog() { SetPrintDialogHook({}); }
};

TEST_F(MonitorLogTest, PrintMakesOneJobPerCopyAndPresetsOneCopy) {
    fill();
    ScriptedPrintDialog dialog;
    dialog.outFile = folder.file(QStringLiteral("print.pdf"));
    int jobs = 0;
    QObject::connect(log.get(), &TLogPane::PrintJobDone, [&](int) {
        EXPECT_TRUE(QFile::exists(dialog.outFile));
        EXPECT_TRUE(QFile::remove(dialog.outFile));
        ++jobs;
    });

    dialog.copies = 3;
    log->PrintDlgVelmoraLog->trigger();
    EXPECT_EQ(jobs, 3);

    dialog.copies = 0;
    log->PrintDlgVelmoraLog->trigger();
    EXPECT_EQ(jobs, 3);

    // Every opening starts from one copy, whatever was asked last time.
    EXPECT_EQ(dialog.copiesOnOpening, std::vector<int>({1, 1}));
    EXPECT_EQ(dialog.parents, std::vector<QWidget*>({log.get(), log.get()}));
}

TEST_F(MonitorLogTest, MenuKeysReachTheMenuCommandsFromThePane) {
    fill();
    WriteTestFile(backup(), "restored\r\n");
    // Nothing to undo: Ctrl+Z is the restore command, not the editor's undo.
    QTest::keyClick(log.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(log->Lines(), filled() << "restored");

    QTest::keyClick(log.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(prompts.fileDialogTitles, QStringList({"Open Velmora Log"}));

    QTest::keyClick(log.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(log->textCursor().selectedText().size(), log->toPlainText().size());
    EXPECT_TRUE(log->EditCopyWanLog->isEnabled());
}

TEST_F(MonitorLogTest, MenuKeysWinOverTheWindowsShortcuts) {
    QWidget window;
    auto* windowOpen = new QAction(&window);
    windowOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    window.addAction(windowOpen);
    int windowOpens = 0;
    QObject::connect(windowOpen, &QAction::triggered, [&] { ++windowOpens; });
    auto* pane = new TMonitorLog(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    pane->setFocus();

    QTest::keyClick(pane, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(prompts.fileDialogTitles, QStringList({"Open Velmora Log"}));
    EXPECT_EQ(windowOpens, 0);
}

} // namespace
