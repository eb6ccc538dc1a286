#include "mail/EMAILLog.h"
#include "TestSupport.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

TEST(EMAILLog, PopupMenuInItsOrder) {
    TEMAILLog pane;
    QStringList captions;
    for (QAction* a : pane.PopupMenuEMAILLog->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions, (QStringList{"Cu&t", "&Copy", "Select &All", "Clear Log...", "&Open...",
                                     "Save &As...", "-", "Display Pending EMAILS",
                                     "Clear EMAIL Notification Queue..."}));
}

TEST(EMAILLog, CommandTextsBecomeLines) {
    TEMAILLog pane;
    pane.AppendLog(">>>HELO [127.0.0.1]\r\n");
    pane.AppendLog("Date: x\r\nTo: y\r\n.\r\n");
    pane.AppendLog("end");
    EXPECT_EQ(pane.Lines(),
              (QStringList{">>>HELO [127.0.0.1]", "", "Date: x", "To: y", ".", "", "end"}));
}

TEST(EMAILLog, QueueCommandsFromThePopup) {
    TScriptedPrompts prompts;
    TTempProgramFolder folder;
    TRecordingLauncher launcher;
    TEmailSettings email;
    TNotificationQueue queue;
    QTimer emailTimer;
    TSMTPClient client(email, {});
    TEMAILLog pane;
    int shown = 0;
    TMailDelivery delivery(queue, email, client, emailTimer,
                           {[&](const QString& l) { pane.AppendLog(l); }, [&] { ++shown; }, {}});
    pane.SetDelivery(&delivery);
    queue.QueueAlert({"a@x", "b@x"}, "10.1.2.3", "Lab", "DOWN", "now");

    prompts.answers = {TPrompts::Answer::No, TPrompts::Answer::Yes};
    pane.ActionClearEMAILQueue->trigger();
    EXPECT_EQ(queue.Count(), 2u);
    pane.ActionClearEMAILQueue->trigger();
    EXPECT_TRUE(queue.IsEmpty());
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "Are you sure ?");
    EXPECT_EQ(prompts.messages[1].caption, "Clear EMAIL Queue");
    EXPECT_EQ(pane.Lines().mid(5),
              (QStringList{"1. EMAIL Message Deleted.", "2. EMAIL Message Deleted.", "",
                           "EMAIL queue is empty."}));
    EXPECT_GE(shown, 2);

    pane.ActionDisplayEMAILQueue->trigger();
    EXPECT_EQ(pane.Lines().mid(9), (QStringList{"", "EMAIL queue is empty."}));

    // The shared log-pane commands, with this pane's dialog titles.
    prompts.fileNames = {folder.file("saved.log"), folder.file("saved.log")};
    pane.FileSaveAsEMAILLog->trigger();
    pane.FileOpenEMAILLog->trigger();
    EXPECT_EQ(prompts.fileDialogTitles, (QStringList{"Save EMAIL Log", "Open EMAIL Log"}));
    EXPECT_EQ(launcher.editorPaths, QStringList{folder.file("saved.log")});
    prompts.answers = {TPrompts::Answer::Yes};
    pane.ActionClearMAILLog->trigger();
    EXPECT_TRUE(pane.Lines().isEmpty());
    EXPECT_EQ(prompts.messages.back().caption, "Clear Log");
}

} // namespace
