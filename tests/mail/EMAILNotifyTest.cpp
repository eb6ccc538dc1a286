#include "mail/EMAILNotify.h"
#include "ByCaption.h"
#include "TestSupport.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "platform/IniFile.h"
#include "platform/TextRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kWarning =
    "Some Required Input is Missing, (Your EMAIL Address, Notify Addresses, DNS Server "
    "Address).\nAny other entries you proviced will be ignored.";
const QString kClock = "Thu Dec 10, 2026 11:22:33";

class EMAILNotifyTest : public ::testing::Test {
protected:
    TScriptedPrompts prompts;
    QTemporaryDir dir;
    TIniFile ini{dir.filePath("velmora.ini")};
    TEmailSettings email;
    QStringList notifyAddresses{"a@velmora.test"};
    TNotificationQueue queue;
    QStringList dnsList{"127.0.0.53"};
    QList<int> helpContexts;

    TEMAILNotifyContext Context() {
        return {email,
                notifyAddresses,
                queue,
                [this]() -> TIniFile& { return ini; },
                [this] { return dnsList.value(0); },
                [this](const QString& s) { return AddToRecentList(dnsList, s, 10); },
                [] { return kClock; },
                [this](int c) { helpContexts << c; }};
    }

    QString IniText() {
        QFile f(ini.FileName());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

TEST_F(EMAILNotifyTest, OpensWithTheSettingsAndTheirRanges) {
    email.yourAddress = "me@velmora.test";
    email.mxAddress = "mail.velmora.test";
    email.useMXAddress = true;
    email.notifyOnUp = true;
    email.sitesCritical = 2;
    email.delayHours = 3;
    email.delayMinutes = 45;
    notifyAddresses = {"a@velmora.test", "b@velmora.test"};
    TEMAILNotify d(Context());
    EXPECT_EQ(d.windowTitle(), "EMAIL Notification");
    EXPECT_EQ(d.Edit1->text(), "me@velmora.test");
    EXPECT_EQ(d.Edit3->text(), "127.0.0.53");
    EXPECT_EQ(d.Edit4->text(), "mail.velmora.test");
    EXPECT_TRUE(d.CheckBox1->isChecked());
    EXPECT_TRUE(d.CheckBox1->isEnabled());
    EXPECT_TRUE(d.CheckBox2->isChecked());
    EXPECT_EQ(d.ComboPriority->currentText(), "All Sites");
    EXPECT_EQ(d.ComboPriority->count(), 3);
    EXPECT_EQ(d.MemoLines(), notifyAddresses);
    EXPECT_EQ(d.UpDownHours->value(), 3);
    EXPECT_EQ(d.UpDownMinutes->value(), 45);
    EXPECT_EQ(d.UpDownHours->maximum(), 23);
    EXPECT_EQ(d.UpDownMinutes->maximum(), 59);
    EXPECT_EQ(d.UpDownHours->minimum(), 0);
    EXPECT_TRUE(d.OKBtn->isDefault());
    EXPECT_EQ(d.Button1->toolTip(), "Send an EMAIL to 'Addesses to Notify'");

    // Every control has its label.
    QStringList captions;
    for (QLabel* l : d.findChildren<QLabel*>())
        if (l->buddy())
            captions << l->text();
    for (const char* c :
         {"Your EMAIL Address:", "Addresses to Notify:", "Notify On:",
          "DNS Server IP or Host Name:", "MX Server IP or Host Name:", "Use MX Server:",
          "EMAIL Notification Delay:", "Notify on UP Transition:", "hrs.", "minutes"})
        EXPECT_TRUE(captions.contains(c)) << c;

    // Clearing the static server disables its switch and keeps its mark.
    d.Edit4->clear();
    EXPECT_FALSE(d.CheckBox1->isEnabled());
    EXPECT_TRUE(d.CheckBox1->isChecked());
    d.Button2->click();
    EXPECT_EQ(helpContexts, QList<int>{100});
}

TEST_F(EMAILNotifyTest, DoneWritesEverySettingInOrder) {
    TEMAILNotify d(Context());
    d.Edit1->setText("  me@velmora.test ");
    d.Memo1->setPlainText("a@velmora.test\n\nc@velmora.test\n");
    d.Edit3->setText("127.0.0.54");
    d.Edit4->setText(" mail.velmora.test ");
    d.CheckBox1->setChecked(true);
    d.CheckBox2->setChecked(true);
    d.ComboPriority->setCurrentIndex(0);
    d.UpDownHours->setValue(2);
    d.UpDownMinutes->setValue(30);
    d.OKBtn->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(prompts.messages.empty());

    EXPECT_EQ(email.yourAddress, "me@velmora.test");
    EXPECT_EQ(email.mxAddress, "mail.velmora.test");
    EXPECT_TRUE(email.useMXAddress);
    EXPECT_TRUE(email.notifyOnUp);
    EXPECT_EQ(email.sitesCritical, 0);
    EXPECT_EQ(email.delayHours, 2);
    EXPECT_EQ(email.delayMinutes, 30);
    EXPECT_EQ(notifyAddresses, (QStringList{"a@velmora.test", "c@velmora.test"}));
    EXPECT_EQ(dnsList, (QStringList{"127.0.0.53", "127.0.0.54"}));

    const QString text = IniText();
    qsizetype at = 0;
    for (const char* key : {"YourEMAILAddress=me@velmora.test", "SitesCritical=0",
                            "MXAddress=mail.velmora.test", "UseMXAddress=1", "EMAILDelayHours=2",
                            "EMAILDelayMinutes=30", "Notify on Up Transition=1"}) {
        const qsizetype found = text.indexOf(key, at);
        EXPECT_GE(found, at) << key << "\n" << text.toStdString();
        at = std::max(at, found);
    }
    // The list comes back whole after a restart.
    EXPECT_EQ(ReadNotifyAddresses(ini), notifyAddresses);
    const TEmailSettings read = TEmailSettings::Read(ini);
    EXPECT_EQ(read.yourAddress, email.yourAddress);
    EXPECT_EQ(read.delayMinutes, 30);
}

TEST_F(EMAILNotifyTest, MissingRequiredEntriesChangeNothing) {
    struct Case {
        const char* name;
        QString edit1, memo, edit3;
    };
    const std::vector<Case> cases{
        {"no sender", "  ", "b@velmora.test", "127.0.0.54"},
        {"no address", "me@velmora.test", "", "127.0.0.54"},
        {"no DNS server", "me@velmora.test", "b@velmora.test", " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.messages.clear();
        TEMAILNotify d(Context());
        d.Edit1->setText(c.edit1);
        d.Memo1->setPlainText(c.memo);
        d.Edit3->setText(c.edit3);
        d.Button3->click(); // Apply: stays open
        d.OKBtn->click();   // Done: closes all the same
        ASSERT_EQ(prompts.messages.size(), 2u);
        EXPECT_EQ(prompts.messages[0].text, kWarning);
        EXPECT_EQ(prompts.messages[0].caption, "Warning");
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(email, TEmailSettings{});
        EXPECT_EQ(notifyAddresses, QStringList{"a@velmora.test"});
        EXPECT_EQ(dnsList, QStringList{"127.0.0.53"});
        EXPECT_FALSE(QFile::exists(ini.FileName()));
    }
}

TEST_F(EMAILNotifyTest, TestEMAILQueuesOneEntryPerAddress) {
    struct Case {
        const char* name;
        QString edit1, memo, edit3;
        QString message;
        size_t queued;
    };
    const QString done =
        "Close the EMail Notification Dialog then \ncheck the 'Notify Addresses' mailboxes for "
        "mail.";
    const std::vector<Case> cases{
        {"no sender", "", "a@x", "d", "Your EMAIL Address is missing.", 0},
        {"no address", "me@x", "", "d", "'Addresses to Notify' entries are missing.", 0},
        {"no DNS server", "me@x", "a@x", "", "'DNS Server' entry is missing.", 0},
        {"three addresses", "me@velmora.test", "a@x\nb@x\nc@x", "127.0.0.53", done, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.messages.clear();
        queue.Clear();
        TEMAILNotify d(Context());
        d.Edit1->setText(c.edit1);
        d.Memo1->setPlainText(c.memo);
        d.Edit3->setText(c.edit3);
        d.Button1->click();
        ASSERT_FALSE(prompts.messages.empty());
        EXPECT_EQ(prompts.messages.back().text, c.message);
        EXPECT_EQ(prompts.messages.back().caption, "EMAIL Test");
        ASSERT_EQ(queue.Count(), c.queued);
        QStringList addresses;
        for (const TQueueEntry& e : queue.Entries()) {
            addresses << e.address;
            EXPECT_EQ(e.subject, "Velmora Alert");
            EXPECT_EQ(e.details, " [ Velmora Test ]   on: " + kClock);
        }
        if (c.queued) {
            EXPECT_EQ(addresses, (QStringList{"a@x", "b@x", "c@x"}));
        }
    }

    // A sender of blanks passes the test's own check, fails the saving,
    // and the entries go to the addresses saved before.
    prompts.messages.clear();
    queue.Clear();
    notifyAddresses = {"old@x"};
    TEMAILNotify d(Context());
    d.Edit1->setText("   ");
    d.Memo1->setPlainText("new@x");
    d.Button1->click();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].caption, "Warning");
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Head().address, "old@x");
}

TEST_F(EMAILNotifyTest, CancelChangesNothingAndTheTimerGetsItsStateBack) {
    QTimer emailTimer;
    TSMTPClient client(email, {});
    TMailDelivery delivery(queue, email, client, emailTimer, {});
    const QString before = IniText();
    for (bool running : {true, false}) {
        SCOPED_TRACE(running);
        if (running)
            emailTimer.start(5000);
        else
            emailTimer.stop();
        bool stoppedWhileOpen = false;
        const int result =
            TEMAILNotify::Execute(Context(), delivery, nullptr, [&](TEMAILNotify& d) {
                stoppedWhileOpen = !emailTimer.isActive();
                d.Edit1->setText("me@velmora.test");
                d.Memo1->setPlainText("z@velmora.test");
                d.ComboPriority->setCurrentIndex(2);
                d.CancelBtn->click();
                return d.result();
            });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(stoppedWhileOpen);
        EXPECT_EQ(emailTimer.isActive(), running);
        EXPECT_EQ(email, TEmailSettings{});
        EXPECT_EQ(notifyAddresses, QStringList{"a@velmora.test"});
        EXPECT_EQ(IniText(), before);
    }
}

} // namespace

namespace {

TEST_F(EMAILNotifyTest, SubmissionServerControlsWrittenAndReadBack) {
    email.yourAddress = "me@velmora.test";
    email.mxAddress = "smtp.velmora.test";
    email.useMXAddress = true;
    TEMAILNotify d(Context());
    auto* port = ByCaption<QSpinBox>(d, "Port:");
    auto* security = ByCaption<QComboBox>(d, "Security:");
    auto* user = ByCaption<QLineEdit>(d, "User:");
    auto* password = ByCaption<QLineEdit>(d, "Password:");
    ASSERT_TRUE(port && security && user && password);
    EXPECT_EQ(port->value(), 25);
    EXPECT_EQ(port->minimum(), 1);
    EXPECT_EQ(port->maximum(), 65535);
    EXPECT_EQ(security->currentText(), "None");
    QStringList items;
    for (int i = 0; i < security->count(); ++i)
        items << security->itemText(i);
    EXPECT_EQ(items, (QStringList{"None", "STARTTLS", "TLS"}));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    // Choosing a mode moves a usual port to the mode's own, not a chosen one.
    security->setFocus();
    QTest::keyClick(security, Qt::Key_Down);
    EXPECT_EQ(security->currentText(), "STARTTLS");
    EXPECT_EQ(port->value(), 587);
    QTest::keyClick(security, Qt::Key_Down);
    EXPECT_EQ(port->value(), 465);
    port->setValue(2525);
    QTest::keyClick(security, Qt::Key_Up);
    EXPECT_EQ(security->currentText(), "STARTTLS");
    EXPECT_EQ(port->value(), 2525);

    user->setText(" alice ");
    password->setText(" pass word=;#");
    d.OKBtn->click();
    EXPECT_EQ(email.mxPort, 2525);
    EXPECT_EQ(email.mxSecurity, TMailSecurity::StartTls);
    EXPECT_EQ(email.mxUser, "alice");
    EXPECT_EQ(email.mxPassword, " pass word=;#");

    // After the e-mail keys there were, in this order.
    const QString text = IniText();
    qsizetype at = text.indexOf("Notify on Up Transition=");
    ASSERT_GE(at, 0) << text.toStdString();
    for (const char* key : {"MXPort=2525", "MXSecurity=STARTTLS", "MXUser=alice", "MXPassword="}) {
        const qsizetype found = text.indexOf(key, at);
        EXPECT_GT(found, at) << key << "\n" << text.toStdString();
        at = std::max(at, found);
    }
    const TEmailSettings read = TEmailSettings::Read(ini);
    EXPECT_EQ(read.mxPort, 2525);
    EXPECT_EQ(read.mxSecurity, TMailSecurity::StartTls);
    EXPECT_EQ(read.mxUser, "alice");
    EXPECT_EQ(read.mxPassword, " pass word=;#");

    // Opened again, the dialog shows what was saved.
    email = read;
    TEMAILNotify again(Context());
    EXPECT_EQ(ByCaption<QSpinBox>(again, "Port:")->value(), 2525);
    EXPECT_EQ(ByCaption<QComboBox>(again, "Security:")->currentText(), "STARTTLS");
    EXPECT_EQ(ByCaption<QLineEdit>(again, "User:")->text(), "alice");
    EXPECT_EQ(ByCaption<QLineEdit>(again, "Password:")->text(), " pass word=;#");
}

TEST_F(EMAILNotifyTest, SettingsWithoutTheServerKeysGivePort25AndNone) {
    {
        QFile f(ini.FileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[VELMORA Settings]\r\nYourEMAILAddress=me@velmora.test\r\n"
                "MXAddress=mail.velmora.test\r\nUseMXAddress=1\r\n");
    }
    // A port outside the range and an unknown mode count as absent.
    TIniFile odd(dir.filePath("odd.ini"));
    {
        QFile f(odd.FileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[VELMORA Settings]\r\nMXPort=70000\r\nMXSecurity=SSLv3\r\n");
    }
    for (TIniFile* file : {&ini, &odd}) {
        email = TEmailSettings::Read(*file);
        EXPECT_EQ(email.mxPort, 25);
        EXPECT_EQ(email.mxSecurity, TMailSecurity::None);
        EXPECT_EQ(email.mxUser, QString());
        EXPECT_EQ(email.mxPassword, QString());
        TEMAILNotify d(Context());
        EXPECT_EQ(ByCaption<QSpinBox>(d, "Port:")->value(), 25);
        EXPECT_EQ(ByCaption<QComboBox>(d, "Security:")->currentText(), "None");
    }
    EXPECT_EQ(email.mxAddress, QString()); // the second file has none
}

} // namespace
