// The window of an installed copy: its program folder is <prefix>/bin beside
// <prefix>/share/velmora, and its files go to the XDG folders the
// environment names, owner-only. A settings file beside the program, or a
// folder outside an installed prefix, keeps everything beside it.
#include "TestFiles.h"
#include "WindowTest.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/ProgramFolder.h"
#include "session/Session.h"
#include "web/Publisher.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Permission bits of a path, or -1 when it does not exist.
int mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class TSavedVariable {
public:
    TSavedVariable(const char* name, const QString& value)
        : name(name), had(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
        qputenv(name, QFile::encodeName(value));
    }
    ~TSavedVariable() {
        if (had)
            qputenv(name, old);
        else
            qunsetenv(name);
    }

private:
    const char* name;
    bool had;
    QByteArray old;
};

struct PerUserFilesTest : ::testing::Test {
    QTemporaryDir root;
    const QString bin = root.filePath("prefix/bin");
    const QString share = root.filePath("prefix/share/velmora");
    const QString config = root.filePath("config");
    const QString data = root.filePath("data");
    TSavedVariable configHome{"XDG_CONFIG_HOME", config};
    TSavedVariable dataHome{"XDG_DATA_HOME", data};
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(bin));
        ASSERT_TRUE(QDir().mkpath(share + "/help"));
        SetProgramFolderForTesting(bin);
    }
    void TearDown() override { SetProgramFolderForTesting(QString()); }

    static void apply(TForm1& form, int interSiteDelay) {
        auto* setup = Named<TMonitorSetupPage>(form, "MonitorSetup");
        setup->UpDownVelmoraInterSiteDelay->setValue(interSiteDelay);
        setup->ButtonApplySettings->click();
    }
    static int shownDelay(TForm1& form) {
        return Named<TMonitorSetupPage>(form, "MonitorSetup")->UpDownVelmoraInterSiteDelay->value();
    }
};

TEST_F(PerUserFilesTest, ApplyWritesThePerUserSettingsAndTheNextStartReadsThem) {
    const QString ini = config + "/velmora/velmora.ini";
    {
        TForm1 form(TestWindowOptions());
        ASSERT_NE(shownDelay(form), 7);
        apply(form, 7);
        ASSERT_TRUE(QFile::exists(ini));
        EXPECT_EQ(TIniFile(ini).ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0), 7);
    }
    EXPECT_EQ(mode(config + "/velmora"), 0700);
    EXPECT_EQ(mode(ini), 0600);
    EXPECT_EQ(entries(bin), QStringList{}) << "nothing beside the program";

    TForm1 again(TestWindowOptions());
    EXPECT_EQ(shownDelay(again), 7);
}

TEST_F(PerUserFilesTest, AnExistingSettingsFileKeepsThePermissionsItsOwnerGave) {
    const QString ini = config + "/velmora/velmora.ini";
    ASSERT_TRUE(QDir().mkpath(config + "/velmora"));
    WriteTestFile(ini, "[VELMORA Settings]\r\nVelmoraInterSiteDelay=4\r\n");
    ASSERT_TRUE(QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                               QFile::ReadOther));
    TForm1 form(TestWindowOptions());
    EXPECT_EQ(shownDelay(form), 4);
    apply(form, 6);
    EXPECT_EQ(TIniFile(ini).ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0), 6);
    EXPECT_EQ(mode(ini), 0644);
}

TEST_F(PerUserFilesTest, TheLogBackupGoesToThePerUserDataFolder) {
    TForm1 form(TestWindowOptions());
    form.Session().MonitorLog().Append("DOWN\t10.0.0.1");
    prompts.answers.push_back(TPrompts::Answer::No);
    Named<QAction>(form, "ActionClearWanLog")->trigger();
    const QString backup = data + "/velmora/velmora.log";
    ASSERT_TRUE(QFile::exists(backup));
    EXPECT_TRUE(ReadTestFile(backup).contains("DOWN\t10.0.0.1"));
    EXPECT_EQ(mode(data + "/velmora"), 0700);
    EXPECT_EQ(mode(backup), 0600);
    EXPECT_EQ(entries(bin), QStringList{});
}

// An installed copy writes its pages into the data folder, and "Explore
// Grid/Log Web Pages" opens them there.
TEST_F(PerUserFilesTest, PagesAreWrittenAndExploredInThePerUserDataFolder) {
    TForm1 form(TestWindowOptions());
    Named<QPushButton>(form, "ButtonWebPageTransferFile")->click();
    const QString pages = data + "/velmora/";
    // The grid and log pages are named after the program (here the test's).
    const QString stem = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QStringList names{"index.htm", stem + ".htm", stem + "log.htm"};
    EXPECT_EQ(form.Session().Publisher().TransferLog().Lines(),
              QStringList({pages + names[0] + " created.  This is the page you should start with.",
                           pages + names[1] + " created.", pages + names[2] + " created."}));
    for (const QString& name : names) {
        EXPECT_TRUE(QFile::exists(pages + name)) << name.toStdString();
        EXPECT_EQ(mode(pages + name), 0600) << name.toStdString();
    }
    EXPECT_EQ(entries(bin), QStringList{}) << "nothing beside the program";
    Named<QAction>(form, "ExploreWebPages1")->trigger();
    EXPECT_EQ(launcher.browserUrls, QStringList{"file://" + pages + "index.htm"});
}

// The base directory rules ignore a relative path: the default under $HOME
// applies.
TEST_F(PerUserFilesTest, ARelativeXdgConfigHomeIsIgnored) {
    TSavedVariable relative{"XDG_CONFIG_HOME", "relative/config"};
    TSavedVariable home{"HOME", root.filePath("home")};
    SetProgramFolderForTesting(bin);
    TForm1 form(TestWindowOptions());
    apply(form, 9);
    const QString ini = root.filePath("home/.config/velmora/velmora.ini");
    EXPECT_EQ(TIniFile(ini).ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0), 9);
    EXPECT_EQ(mode(root.filePath("home/.config")), 0700);
    EXPECT_FALSE(QFile::exists("relative")) << "nothing under the working folder";
}

// Portable use: the folder that holds the settings holds every file.
TEST_F(PerUserFilesTest, ASettingsFileBesideTheProgramWins) {
    WriteTestFile(bin + "/Velmora.INI", "[VELMORA Settings]\r\nVelmoraInterSiteDelay=4\r\n");
    TForm1 form(TestWindowOptions());
    EXPECT_EQ(shownDelay(form), 4);
    apply(form, 6);
    EXPECT_EQ(
        TIniFile(bin + "/Velmora.INI").ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0),
        6);
    form.Session().MonitorLog().Append("Up\t10.0.0.1");
    prompts.answers.push_back(TPrompts::Answer::No);
    Named<QAction>(form, "ActionClearWanLog")->trigger();
    EXPECT_TRUE(QFile::exists(bin + "/velmora.log"));
    EXPECT_FALSE(QFile::exists(config)) << "the per-user folders stay untouched";
    EXPECT_FALSE(QFile::exists(data));
}

// The build folder or an unpacked copy: writable, and no installed pages
// beside it.
TEST_F(PerUserFilesTest, AWritableFolderOutsideAnInstalledPrefixKeepsTheFilesBeside) {
    ASSERT_TRUE(QDir(share).removeRecursively());
    SetProgramFolderForTesting(bin);
    TForm1 form(TestWindowOptions());
    apply(form, 8);
    EXPECT_EQ(
        TIniFile(bin + "/velmora.ini").ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0),
        8);
    EXPECT_FALSE(QFile::exists(config));
}

TEST_F(PerUserFilesTest, HelpOpensThePagesInstalledUnderThePrefix) {
    WriteTestFile(share + "/help/index.html", "<p>help</p>");
    TForm1 form(TestWindowOptions());
    Named<QAction>(form, "Help1")->trigger();
    EXPECT_EQ(launcher.helpFiles, QStringList{QDir::cleanPath(share + "/help/index.html")});
}

} // namespace
