#include "TestFiles.h"
#include "mail/MailSettings.h"
#include "monitor/MonitorSettings.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct SettingsTest : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("velmora.ini"); }
    void write(const QByteArray& bytes) { WriteTestFile(path(), bytes); }
    QByteArray contents() const { return ReadTestFile(path()); }
};

TEST_F(SettingsTest, NotifyAddressesComeBackWholeWithAGapInTheNumbering) {
    // An older writer skipped an empty entry but kept its number.
    write("[Notify Addresses]\r\nAddress-0=a@x.org\r\nAddress-2=c@x.org\r\nAddress-3=d@x.org\r\n");
    TIniFile ini(path());
    EXPECT_EQ(ReadNotifyAddresses(ini), (QStringList{"a@x.org", "c@x.org", "d@x.org"}));

    WriteNotifyAddresses(ini, {"a@x.org", "", "c@x.org"});
    EXPECT_EQ(ReadNotifyAddresses(ini), (QStringList{"a@x.org", "c@x.org"}));
    EXPECT_TRUE(contents().contains("Address-1=c@x.org"));
    EXPECT_FALSE(contents().contains("Address-2"));
}

TEST_F(SettingsTest, ListSectionsTakeTheTextAfterTheFirstEquals) {
    write("[DNS Settings]\r\nDNS-0=127.0.0.1\r\nns.example\r\nDNS-2=a=b\r\n");
    EXPECT_EQ(ReadListSection(TIniFile(path()), "DNS Settings"),
              (QStringList{"127.0.0.1", "ns.example", "a=b"}));
}

TEST_F(SettingsTest, MonitorSettingsAreWrittenInTheirOrderAndReadBack) {
    TIniFile ini(path());
    TMonitorSettings s;
    s.pingTimeOut = 7;
    s.packetsPerSite = 3;
    s.interPacketDelay = 200;
    s.interSiteDelay = 9;
    s.popupOnTransition = true;
    s.saveStateOnExit = true;
    s.upColor = 1;
    s.downColor = 2;
    s.activeRowColor = 3;
    s.historyDays = 0; // no history: must read back as 0, not the default 400
    s.Write(ini);
    EXPECT_EQ(ini.Replacements(), 1u) << "one write for the whole set";
    EXPECT_EQ(contents(),
              "[VELMORA Settings]\r\nVelmoraPingTimeOut=7\r\nVelmoraPacketsPerSite=3\r\n"
              "VelmoraInterPacketDelay=200\r\nVelmoraInterSiteDelay=9\r\n"
              "showPopupWindowOnDeviceTransition=1\r\nsaveStateOnExit=1\r\n"
              "VelmoraLogVerbose=0\r\nVelmoraDeviceUpColor=1\r\n"
              "VelmoraDeviceDownColor=2\r\nVelmoraActiveRowColor=3\r\nHistoryDays=0\r\n");
    EXPECT_EQ(TMonitorSettings::Read(ini, TMonitorSettings{}), s);
}

} // namespace
