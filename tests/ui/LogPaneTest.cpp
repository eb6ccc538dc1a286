#include "ui/LogPane.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "platform/VelmoraError.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTest>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace {

struct LogPaneTest : ::testing::Test {
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    QTemporaryDir dir;
    TLogPane pane;

    void fill() {
        pane.AppendLine(QStringLiteral("one"));
        pane.AppendLine(QStringLiteral("two"));
        pane.AppendLine(QStringLiteral("three"));
    }
};

TEST_F(LogPaneTest, LinesAreAppendedAtTheEndWhereverTheCursorIs) {
    EXPECT_TRUE(pane.Lines().isEmpty());
    fill();
    pane.moveCursor(QTextCursor::Start);
    QTest::keyClicks(&pane, QStringLiteral("x"));
    EXPECT_TRUE(pane.CanUndoLast());
    pane.AppendLine(QStringLiteral("four"));
    EXPECT_EQ(pane.Lines(), QStringList({"xone", "two", "three", "four"}));
    // The operator's edit is no longer the most recent change.
    EXPECT_FALSE(pane.CanUndoLast());

    // A text ending in a line break has no extra empty line.
    pane.setPlainText(QStringLiteral("a\nb\n"));
    EXPECT_EQ(pane.Lines(), QStringList({"a", "b"}));
}

TEST_F(LogPaneTest, ClearAsksAndOnlyYesClears) {
    struct Case {
        TPrompts::Answer answer;
        bool cleared;
    };
    for (const Case c : {Case{TPrompts::Answer::No, false}, Case{TPrompts::Answer::Yes, true}}) {
        pane.clear();
        prompts.messages.clear();
        fill();
        prompts.answers = {c.answer};
        EXPECT_EQ(pane.ClearWithQuestion(), c.cleared);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Are you sure ?"));
        EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Clear Log"));
        EXPECT_EQ(pane.Lines().isEmpty(), c.cleared);
    }
}

TEST_F(LogPaneTest, ClearCanBeUndoneOnce) {
    fill();
    prompts.answers = {TPrompts::Answer::Yes};
    ASSERT_TRUE(pane.ClearWithQuestion());
    ASSERT_TRUE(pane.CanUndoLast());
    pane.UndoLast();
    EXPECT_EQ(pane.Lines(), QStringList({"one", "two", "three"}));
    EXPECT_FALSE(pane.CanUndoLast());
}

TEST_F(LogPaneTest, SaveWritesTheLinesWithCrLf) {
    fill();
    const QString path = dir.filePath(QStringLiteral("saved.log"));
    WriteTestFile(path, "older and longer contents\r\n");
    prompts.fileNames = {path};
    pane.SaveAs(QStringLiteral("Save It"));
    EXPECT_EQ(prompts.fileDialogTitles, QStringList({"Save It"}));
    EXPECT_EQ(ReadTestFile(path), QByteArray("one\r\ntwo\r\nthree\r\n"));

    // Cancelled: nothing written anywhere.
    pane.SaveAs(QStringLiteral("Save It"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"saved.log"}));
}

TEST_F(LogPaneTest, SaveToAFileThatCannotBeCreatedRaises) {
    fill();
    const QString path = dir.filePath(QStringLiteral("missing/saved.log"));
    prompts.fileNames = {path};
    try {
        pane.SaveAs(QStringLiteral("Save It"));
        FAIL() << "no error raised";
    } catch (const TVelmoraError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot create file ") + path);
    }
    EXPECT_EQ(pane.Lines(), QStringList({"one", "two", "three"}));
}

TEST_F(LogPaneTest, CommandErrorWithoutAGuardIsShownNotThrown) {
    EXPECT_NO_THROW(
        pane.RunCommand([] { throw TVelmoraError(QStringLiteral("Cannot create file x")); }));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Cannot create file x"));
}

TEST_F(LogPaneTest, OpenStartsTheEditorOnAnExistingFileOnly) {
    fill();
    const QString path = dir.filePath(QStringLiteral("old.log"));
    WriteTestFile(path, "elsewhere\r\n");
    prompts.fileNames = {path, dir.filePath(QStringLiteral("gone.log")), QString()};
    for (int i = 0; i < 3; ++i)
        pane.OpenInEditor(QStringLiteral("Open It"));
    EXPECT_EQ(launcher.editorPaths, QStringList({path}));
    EXPECT_EQ(prompts.fileDialogTitles, QStringList({"Open It", "Open It", "Open It"}));
    EXPECT_EQ(pane.Lines(), QStringList({"one", "two", "three"}));
}

// Each copy is a real job of its own: the PDF of every job is moved aside as
// it finishes, so the test sees every job and its title.
TEST_F(LogPaneTest, PrintMakesOneTitledJobPerCopy) {
    fill();
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    printer.setOutputFileName(out);
    printer.setCopyCount(3);
    QStringList jobs;
    QObject::connect(&pane, &TLogPane::PrintJobDone, [&](int copy) {
        const QString job = dir.filePath(QStringLiteral("job%1.pdf").arg(copy));
        EXPECT_TRUE(QFile::rename(out, job));
        jobs << job;
    });
    pane.PrintCopies(printer, 3, QStringLiteral("Velmora Log"));
    ASSERT_EQ(jobs.size(), 3);
    // Qt writes the document title as UTF-16 with a byte-order mark.
    QByteArray title("\xfe\xff");
    for (QChar ch : QStringLiteral("Velmora Log"))
        title += QByteArray(1, '\0') + char(ch.unicode());
    for (const QString& job : jobs) {
        const QByteArray pdf = ReadTestFile(job);
        EXPECT_TRUE(pdf.startsWith("%PDF")) << job.toStdString();
        EXPECT_TRUE(pdf.contains(title)) << job.toStdString();
    }
    EXPECT_EQ(printer.copyCount(), 1);
}

} // namespace
