// What a push sends, and what of it is kept in the settings file.
#include "TestFiles.h"
#include "mail/AlertQueue.h"
#include "platform/IniFile.h"
#include "push/PushMessage.h"
#include "push/PushQueue.h"
#include "push/PushSettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(PushCompose, JsonCarriesTheFieldsInOrderWithEveryTextEscaped) {
    const TPushEntry e{"10.1.2.3", "Lab \"B\"\\\n\tÜ", "DOWN", "Fri Dec 11, 2026 10:00:00",
                       "Lab \"B\"\\\n\tÜ [ 10.1.2.3 ]  DOWN on: Fri Dec 11, 2026 10:00:00"};
    const TPushRequest r = ComposePush(TWebhookFormat::Json, e);
    EXPECT_EQ(r.body, "{\"address\":\"10.1.2.3\",\"location\":\"Lab \\\"B\\\"\\\\\\n\\tÜ\","
                      "\"state\":\"DOWN\",\"time\":\"Fri Dec 11, 2026 10:00:00\","
                      "\"text\":\"Lab \\\"B\\\"\\\\\\n\\tÜ [ 10.1.2.3 ]  DOWN on: Fri Dec 11, "
                      "2026 10:00:00\"}");
    const QJsonObject back = QJsonDocument::fromJson(r.body).object();
    EXPECT_EQ(back["location"].toString(), e.location);
    EXPECT_EQ(back["text"].toString(), e.text);
    ASSERT_EQ(r.headers.size(), 1);
    EXPECT_EQ(r.headers[0], (QPair<QByteArray, QByteArray>{"Content-Type", "application/json"}));
}

TEST(PushCompose, NoComposedHeaderCanBreakTheRequest) {
    struct Case {
        QString text;
        QByteArray header;
    } const cases[] = {
        {"Velmora: DOWN Lab", "Velmora: DOWN Lab"},
        {"Velmora: DOWN a\r\nAuthorization: x", "Velmora: DOWN a  Authorization: x"},
        {"Velmora: DOWN Büro", "=?UTF-8?B?" + QByteArray("Velmora: DOWN Büro").toBase64() + "?="},
        {QString("a") + QChar(0x2028) + "b", "a b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HeaderValue(c.text), c.header) << c.text.toStdString();
    const TPushRequest r = ComposePush(
        TWebhookFormat::Ntfy, {"10.1.2.3", "a\r\nX-Evil: 1", "DOWN", "t", "a text\r\nwith lines"});
    for (const auto& [name, value] : r.headers)
        EXPECT_FALSE(value.contains('\r') || value.contains('\n')) << name.toStdString();
    EXPECT_EQ(r.body, "a text\r\nwith lines") << "the body is the alert text as it is";
}

TEST(PushCompose, TheTestPushOfTheDialogIsNeitherDownNorUp) {
    const QString text = TNotificationQueue::AlertDetails("Velmora Test", "", "Test", "T");
    const TPushRequest r =
        ComposePush(TWebhookFormat::Ntfy, {"Velmora Test", "", "Test", "T", text});
    EXPECT_EQ(r.body, " [ Velmora Test ]  Test on: T");
    EXPECT_TRUE(r.headers.contains({"Title", "Velmora: Test"}));
    EXPECT_TRUE(r.headers.contains({"Priority", "default"}));
    EXPECT_TRUE(r.headers.contains({"Tags", "test_tube"}));
}

TEST(PushSettingsFile, FourKeysInOneReplacementAndTheFileKeptToItsOwner) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.ini");
    WriteTestFile(path, "[VELMORA Settings]\r\nSitesCritical=2\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::ReadOther);
    TIniFile ini(path);
    const TPushSettings written{"https://ntfy.example.org/velmora", TWebhookFormat::Ntfy, "tk",
                                true};
    written.Write(ini);
    EXPECT_EQ(ini.Replacements(), 1u);
    EXPECT_EQ(TPushSettings::Read(TIniFile(path)), written);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a file holding the token is its owner's alone";
    EXPECT_TRUE(
        ReadTestFile(path).contains("[Push Settings]\r\nWebhookURL=https://ntfy.example.org/"
                                    "velmora\r\nWebhookFormat=ntfy\r\nWebhookToken=tk\r\n"
                                    "DesktopNotify=1\r\n"));
}

TEST(PushSettingsFile, AbsentOrOddValuesReadAsNoPush) {
    QTemporaryDir dir;
    WriteTestFile(dir.filePath("a.ini"), "[Push Settings]\r\nWebhookFormat=SLACK\r\n"
                                         "DesktopNotify=x\r\n");
    const TPushSettings p = TPushSettings::Read(TIniFile(dir.filePath("a.ini")));
    EXPECT_TRUE(p.webhookURL.isEmpty());
    EXPECT_EQ(p.webhookFormat, TWebhookFormat::Slack);
    EXPECT_FALSE(p.desktopNotify);
    WriteTestFile(dir.filePath("b.ini"), "[Push Settings]\r\nWebhookFormat=xml\r\n");
    EXPECT_EQ(TPushSettings::Read(TIniFile(dir.filePath("b.ini"))).webhookFormat,
              TWebhookFormat::Json);
    EXPECT_EQ(TPushSettings::Read(TIniFile(dir.filePath("none.ini"))), TPushSettings{});
}

TEST(PushSettingsFile, OnlyHttpAndHttpsUrlsWithAHostAreTaken) {
    for (const char* good : {"", "http://10.0.0.1:8080/hooks/x", "https://ntfy.example.org/t",
                             " https://chat.example.org/hooks/abc "})
        EXPECT_TRUE(WebhookURLProblem(good).isEmpty()) << good;
    for (const char* bad : {"ftp://example.org/x", "ntfy.example.org/topic", "file:///etc/passwd",
                            "https://", "http://exa mple.org/"})
        EXPECT_FALSE(WebhookURLProblem(bad).isEmpty()) << bad;
}

TEST(PushSavedQueue, EntriesComeBackInOrderAndTheMailSectionIsUntouched) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.ini");
    WriteTestFile(path, "[SaveOnExit_EMAILQueue]\r\nrow-0=ops@x\tVelmora Alert\td\r\n");
    TPushQueue queue;
    queue.Append({"10.1.2.3", "Lab\tB", "DOWN", "T1", "Lab B [ 10.1.2.3 ]  DOWN on: T1"});
    queue.Append({"10.1.2.4", "", "Up", "T2", " [ 10.1.2.4 ]  Up on: T2"});
    TIniFile ini(path);
    SavePushQueueSection(ini, queue);
    EXPECT_TRUE(ReadTestFile(path).startsWith(
        "[SaveOnExit_EMAILQueue]\r\nrow-0=ops@x\tVelmora Alert\td\r\n"));
    TPushQueue back;
    RestorePushQueue(TIniFile(path), back);
    ASSERT_EQ(back.Count(), 2u);
    EXPECT_EQ(back.Entries()[0],
              (TPushEntry{"10.1.2.3", "Lab B", "DOWN", "T1", "Lab B [ 10.1.2.3 ]  DOWN on: T1"}));
    EXPECT_EQ(back.Entries()[1], queue.Entries()[1]);
    ErasePushQueueSection(ini);
    TPushQueue none;
    RestorePushQueue(TIniFile(path), none);
    EXPECT_TRUE(none.IsEmpty());
}

} // namespace
