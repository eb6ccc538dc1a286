#include "AiosmtpdServer.h"
#include "ByCaption.h"
#include "FreeTcpPort.h"
#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "TestCertificates.h"
#include "TestSupport.h"
#include "mail/EMAILNotify.h"
#include "mail/MailDelivery.h"
#include "platform/IniFile.h"
#include "platform/TextRules.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kClock = QStringLiteral("Thu Dec 10, 2026 11:22:33");

// The dialog's context over a rig's settings, as the session gives it.
TEMAILNotifyContext DialogContext(TMailRig& rig, QStringList& notifyAddresses,
                                  TNotificationQueue& queue, TIniFile& ini, QStringList& dnsList) {
    return {rig.email,
            notifyAddresses,
            queue,
            [&ini]() -> TIniFile& { return ini; },
            [&dnsList] { return dnsList.value(0); },
            [&dnsList](const QString& s) { return AddToRecentList(dnsList, s, 10); },
            [] { return kClock; },
            {}};
}

// "Test EMAIL" with a submission server entered in the dialog, delivered
// as every alert is: the operator learns at once whether the login works.
TEST(TestEMAILSubmissionTest, TestMessageTakesTheLoginPath) {
    if (!TAiosmtpdServer::Available() || !TTestCertificates::Available())
        GTEST_SKIP() << "python3-aiosmtpd or openssl is missing (see scripts/packages.txt)";
    QTemporaryDir dir;
    TTestCertificates certs(dir.filePath("certs"));
    ASSERT_EQ(certs.Error(), QString());
    certs.TrustCa();

    TAiosmtpdServer::Options options;
    options.mode = TAiosmtpdServer::Options::Mode::StartTls;
    options.cert = certs.Cert("localhost");
    options.key = certs.Key();
    options.user = "alice";
    options.password = "correct horse";
    const quint16 port = FreeTcpPort("127.0.0.1");
    TAiosmtpdServer smtp("127.0.0.1", port, dir.filePath("mail"), options);
    ASSERT_EQ(smtp.Error(), QString());

    for (const QString& password :
         {QStringLiteral("wrong horse"), QStringLiteral("correct horse")}) {
        SCOPED_TRACE(password.toStdString());
        TScriptedPrompts prompts;
        TIniFile ini(dir.filePath("velmora.ini"));
        TMailRig rig;
        rig.email.debugEMAIL = false;
        QStringList notifyAddresses{"ops@velmora.test"};
        QStringList dnsList{"127.0.0.53"};
        TNotificationQueue queue;
        QTimer EMAILTimer;
        TMailDelivery delivery(queue, rig.email, rig.client, EMAILTimer,
                               {[&rig](const QString& l) { rig.append(l); }, {}, {}});
        TEMAILNotifyContext context = DialogContext(rig, notifyAddresses, queue, ini, dnsList);
        TEMAILNotify::Execute(context, delivery, nullptr, [&](TEMAILNotify& d) {
            d.Edit4->setText("localhost");
            d.CheckBox1->setChecked(true);
            ByCaption<QSpinBox>(d, "Port:")->setValue(port);
            ByCaption<QComboBox>(d, "Security:")->setCurrentText("STARTTLS");
            ByCaption<QLineEdit>(d, "User:")->setText("alice");
            ByCaption<QLineEdit>(d, "Password:")->setText(password);
            d.Button1->click();
            return int(QDialog::Accepted);
        });
        ASSERT_EQ(queue.Count(), 1u);
        const QString details = queue.Head().details.trimmed();

        QSignalSpy finished(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        ASSERT_TRUE(finished.wait(15000));
        const bool right = password == options.password;
        EXPECT_EQ(finished.at(0).at(0).toBool(), right) << rig.log.join('\n').toStdString();
        if (!right) {
            EXPECT_EQ(queue.Count(), 1u);
            EXPECT_EQ(rig.LinesStarting(":::MAIL Server at address 127.0.0.1 refused the login of "
                                        "user alice: 535")
                          .size(),
                      1)
                << rig.log.join('\n').toStdString();
            EXPECT_TRUE(smtp.Messages().isEmpty());
            continue;
        }
        EXPECT_TRUE(queue.IsEmpty());
        QStringList messages;
        for (int i = 0; i < 50 && messages.isEmpty(); ++i) {
            QTest::qWait(50);
            messages = smtp.Messages();
        }
        ASSERT_EQ(messages.size(), 1);
        messages[0].remove('\r');
        EXPECT_TRUE(messages[0].contains("Subject: Velmora Alert\n")) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains("\n" + details + "\n")) << messages[0].toStdString();
        EXPECT_TRUE(details.contains("Velmora Test"));
    }
}

// A sender pasted into "Your EMAIL Address:" with a line break in it never
// reaches the server as two commands: the delivery stops before MAIL FROM
// and says why, also with EMAIL debugging off.
class PastedSenderTest : public TDeliveryFixture {
protected:
    TScriptedPrompts prompts;
    QTemporaryDir dir;
    TIniFile ini{dir.filePath("velmora.ini")};
    QStringList notifyAddresses{"ops@velmora.test"};
    QStringList dnsList{"127.0.0.53"};
};

TEST_F(PastedSenderTest, LineBreakStopsTheDeliveryBeforeMailFrom) {
    TScriptedSmtpServer server("127.0.0.1", 0, {});
    rig.email.debugEMAIL = false;
    EMAILTimer.setInterval(5000); // one attempt in this test
    TEMAILNotifyContext context = DialogContext(rig, notifyAddresses, queue, ini, dnsList);
    TEMAILNotify::Execute(context, delivery, nullptr, [&](TEMAILNotify& d) {
        d.Edit4->setText("127.0.0.1");
        d.CheckBox1->setChecked(true);
        ByCaption<QSpinBox>(d, "Port:")->setValue(server.Port());
        QGuiApplication::clipboard()->setText("velmora@velmora.test\nRCPT TO:<all@velmora.test>");
        d.Edit1->clear();
        QTest::keyClick(d.Edit1, Qt::Key_V, Qt::ControlModifier);
        EXPECT_TRUE(d.Edit1->text().contains('\n')) << d.Edit1->text().toStdString();
        d.Button1->click();
        return int(QDialog::Accepted);
    });
    ASSERT_EQ(queue.Count(), 1u);

    QSignalSpy finished(&delivery, &TMailDelivery::DeliveryFinished);
    delivery.EMAILTimerTimer();
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    QTest::qWait(50);
    EXPECT_EQ(server.Received(), "HELO [127.0.0.1]\r\n");
    EXPECT_EQ(rig.LinesStarting(":::Line break"),
              QStringList{":::Line break in the MAIL command for the MAIL Server at address "
                          "127.0.0.1; nothing sent."})
        << rig.log.join('\n').toStdString();
    EXPECT_EQ(queue.Count(), 1u);
}

} // namespace
