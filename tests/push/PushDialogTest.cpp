// "Push Notifications..." from the "EMAIL Notification" menu, as the
// operator fills it in.
#include "PushTestSupport.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "TestFiles.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "push/PushDelivery.h"
#include "push/PushNotifyDlg.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct PushDialogTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;

    PushDialogTest() {
        // Help pages where the build puts them, so that Help reaches the viewer.
        QDir(folder.dir.path()).mkdir("velmora-help");
        WriteTestFile(folder.file("velmora-help/index.html"), "<html></html>");
    }

    TForm1::Options options() {
        TForm1::Options o;
        o.quitOnClose = false;
        return o;
    }
    // Opens the dialog from the menu and runs `fill` on it once it shows.
    void openAnd(TForm1& form, std::function<void(TPushNotify&)> fill) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TPushNotify*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            opened = true;
            fill(*dialog);
            if (dialog->isVisible())
                dialog->CancelBtn->click();
        });
        Named<QAction>(form, "PushNotifications1")->trigger();
        EXPECT_TRUE(opened);
    }
};

TEST_F(PushDialogTest, TheControlsTheirLabelsAndWhatOkWrites) {
    TForm1 form(options());
    form.Session().Cycle().StopTimers();
    TIniFile& ini = form.Session().Settings();
    const quint64 before = ini.Replacements();
    openAnd(form, [&](TPushNotify& d) {
        EXPECT_EQ(d.windowTitle(), "Push Notifications");
        QStringList captions;
        for (QLabel* label : d.findChildren<QLabel*>())
            if (label->buddy()) {
                captions << label->text();
                EXPECT_TRUE(label->buddy()->isVisibleTo(&d)) << label->text().toStdString();
            }
        EXPECT_EQ(captions, (QStringList{"Webhook URL:", "Webhook Format:", "Access Token:",
                                         "Desktop Notification on Device Change:"}));
        QStringList formats;
        for (int i = 0; i < d.ComboWebhookFormat->count(); ++i)
            formats << d.ComboWebhookFormat->itemText(i);
        EXPECT_EQ(formats, (QStringList{"JSON", "ntfy", "Slack"}));
        EXPECT_EQ(d.EditWebhookToken->echoMode(), QLineEdit::Password);
        QStringList buttons;
        for (QPushButton* b : {d.ButtonTest, d.OKBtn, d.CancelBtn, d.ButtonHelp})
            buttons << b->text();
        EXPECT_EQ(buttons, (QStringList{"Send Test", "OK", "Cancel", "Help"}));

        d.ButtonHelp->click();
        EXPECT_EQ(launcher.contexts, QList<int>{TPushNotify::kHelpContext});
        d.EditWebhookURL->setText(" https://ntfy.example.org/velmora-ops ");
        d.ComboWebhookFormat->setCurrentIndex(1);
        d.EditWebhookToken->setText("tk_dialog_1");
        d.CheckBoxDesktopNotify->setChecked(true);
        d.OKBtn->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(ini.Replacements() - before, 1u) << "the four keys in one replacement";
    const TPushSettings want{"https://ntfy.example.org/velmora-ops", TWebhookFormat::Ntfy,
                             "tk_dialog_1", true};
    EXPECT_EQ(form.Session().PushSettings(), want);
    EXPECT_EQ(TPushSettings::Read(TIniFile(ini.FileName())), want);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(ini.FileName()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The dialog opens with what was saved; Cancel keeps it.
    openAnd(form, [&](TPushNotify& d) {
        EXPECT_EQ(d.EditWebhookURL->text(), want.webhookURL);
        EXPECT_EQ(d.ComboWebhookFormat->currentText(), "ntfy");
        EXPECT_EQ(d.EditWebhookToken->text(), "tk_dialog_1");
        EXPECT_TRUE(d.CheckBoxDesktopNotify->isChecked());
        d.EditWebhookURL->setText("https://elsewhere.example.org/");
        d.CancelBtn->click();
    });
    EXPECT_EQ(form.Session().PushSettings(), want);
    EXPECT_EQ(ini.Replacements() - before, 1u);
}

TEST_F(PushDialogTest, AUrlThatIsNotHttpIsRefusedWithAMessage) {
    TForm1 form(options());
    form.Session().Cycle().StopTimers();
    const quint64 before = form.Session().Settings().Replacements();
    openAnd(form, [&](TPushNotify& d) {
        d.EditWebhookURL->setText("ftp://files.example.org/in");
        d.OKBtn->click();
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open for a correction";
    });
    std::vector<TScriptedPrompts::Asked> asked;
    for (const auto& m : prompts.messages)
        if (m.caption == "Push Notifications")
            asked.push_back(m);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "The Webhook URL must begin with http:// or https://.");
    EXPECT_EQ(form.Session().Settings().Replacements(), before);
    EXPECT_TRUE(form.Session().PushSettings().webhookURL.isEmpty());
}

// "Send Test" saves the entries and sends a test push through the queue.
TEST_F(PushDialogTest, SendTestReachesTheReceiver) {
    TScriptedHttpServer receiver({200});
    ASSERT_TRUE(receiver.Listen());
    TForm1 form(options());
    form.Session().Cycle().StopTimers();
    form.Session().TimerTimeTimer();
    openAnd(form, [&](TPushNotify& d) {
        d.EditWebhookURL->setText(receiver.Url());
        d.ComboWebhookFormat->setCurrentIndex(2);
        d.ButtonTest->click();
        d.CancelBtn->click();
    });
    ASSERT_TRUE(WaitFor([&] { return receiver.requests.size() == 1; }, 5000));
    EXPECT_TRUE(receiver.requests[0].endsWith("\r\n\r\n{\"text\":\" [ Velmora Test ]  Test on: " +
                                              form.Session().ClockText().toUtf8() + "\"}"))
        << receiver.requests[0].toStdString();
    ASSERT_TRUE(WaitFor([&] { return form.Session().PushQueue().IsEmpty(); }, 5000));
    EXPECT_TRUE(form.Session().EmailLog().Lines().contains("Push sent to: 127.0.0.1"));
    EXPECT_EQ(form.Session().PushSettings().webhookURL, receiver.Url())
        << "the entries were saved, though the dialog was cancelled after";
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().caption, "Push Notifications");
}

} // namespace
