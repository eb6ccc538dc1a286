// Device editing through the session: insert, edit, delete and merge at
// once between probes and as requests kept for the end of a probe.
#include "GridColumn.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "devices/DeviceGrid.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "platform/Prompts.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QDir>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct SessionEditingTest : ::testing::Test {
    QTemporaryDir dir;
    TScriptedPrompts prompts;
    TManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0, 0))};
    QSemaphore echoGate;
    bool gated = false;
    std::unique_ptr<TSession> s;

    QString dat() const { return dir.filePath("net.dat"); }

    void TearDown() override {
        // A failed check inside a probe still lets its worker end.
        if (gated && s && s->Running().probe) {
            QSignalSpy done(&s->Cycle(), &TMonitorCycle::packetDone);
            echoGate.release(8);
            done.wait(5000);
        }
    }

    void start(const QByteArray& devices, bool saveState = false) {
        WriteTestFile(dat(), devices);
        WriteTestFile(dir.filePath("velmora.ini"),
                      "[VELMORA Settings]\r\nDATFile=" + dat().toUtf8() +
                          "\r\nVelmoraPacketsPerSite=1\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
        TSession::Options o;
        o.settingsPath = dir.filePath("velmora.ini");
        o.prompts = &prompts;
        o.clock = &clock;
        o.echo = [this](const QString&, int) {
            if (gated)
                echoGate.acquire();
            TEchoResult r;
            r.replied = true;
            return r;
        };
        s = std::make_unique<TSession>(o);
        s->Start();
        TMonitorSettings m = s->Monitor();
        m.saveStateOnExit = saveState;
        s->SetMonitorSettings(m);
    }

    // A probe that goes on until finishProbe().
    void beginProbe() {
        gated = true;
        s->Cycle().StopTimers();
        s->Cycle().TimerInterSiteTimer();
        s->Cycle().StopTimers();
        s->Cycle().TimerInterPacketTimer();
        ASSERT_TRUE(s->Running().probe);
    }
    void finishProbe() {
        QSignalSpy done(&s->Cycle(), &TMonitorCycle::packetDone);
        echoGate.release();
        ASSERT_TRUE(done.wait(5000));
        gated = false;
        // What the end of the probe left for after its step.
        QCoreApplication::processEvents();
    }

    QStringList column(int c) const { return GridColumn(s->Grid(), c); }
    QStringList captions() const { return prompts.Captions(); }
};

const QByteArray kThree = "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n10.0.0.3\tgamma\r\n";

TEST_F(SessionEditingTest, InsertChecksTheAddressTheLocationAndDuplicates) {
    const struct {
        const char* address;
        const char* location;
        const char* refusal; // caption of the box, empty: added
        const char* text;
    } cases[] = {
        {"10.0.0.1", "again", "Duplicate IP Address", "IP: 10.0.0.1 is already in Velmora Grid."},
        {"10.0.0.01", "written apart", "", ""},
        {"255.255.255.255", "all", "Invalid IP Address Syntax",
         "IP: 255.255.255.255 is not a valid IP address."},
        {"10.0.1", "short", "Invalid IP Address Syntax", "IP: 10.0.1 is not a valid IP address."},
        {"10.0.0.1.1", "long", "Invalid IP Address Syntax",
         "IP: 10.0.0.1.1 is not a valid IP address."},
        {"", "none", "Invalid IP Address Syntax", "IP:  is not a valid IP address."},
        {"10.0.0.9", "", "Invalid Location", "Location cannot be blank."},
    };
    start(kThree);
    for (const auto& c : cases) {
        prompts.messages.clear();
        const int rows = s->Grid().RowCount();
        s->InsertGridDevice(c.address, c.location, false, "No");
        if (*c.refusal) {
            ASSERT_EQ(prompts.messages.size(), 1u) << c.address;
            EXPECT_EQ(prompts.messages[0].caption, c.refusal);
            EXPECT_EQ(prompts.messages[0].text, c.text);
            EXPECT_EQ(prompts.messages[0].icon, TPrompts::Icon::None);
            EXPECT_EQ(s->Grid().RowCount(), rows) << c.address;
        } else {
            EXPECT_TRUE(prompts.messages.empty()) << c.address;
            ASSERT_EQ(s->Grid().RowCount(), rows + 1) << c.address;
            EXPECT_EQ(s->Grid().Cell(rows, Col::Address), c.address) << "kept as typed";
        }
    }
    EXPECT_EQ(ReadTestFile(dat()), kThree) << "no append was asked for";
    EXPECT_TRUE(s->Cycle().TimerInterSite().isActive());
    EXPECT_FALSE(s->Cycle().TimerInterPacket().isActive());
}

TEST_F(SessionEditingTest, InsertedRowStartsEmptyAndIsAppendedToTheFile) {
    start("10.0.0.1\talpha");
    s->Grid().Notification(1).pending = true;
    s->InsertGridDevice("10.0.0.4", "delta", true, "Yes");
    ASSERT_EQ(s->Grid().RowCount(), 3);
    const TGridRow& row = s->Grid().Row(2);
    EXPECT_EQ(row.cells[Col::Address], "10.0.0.4");
    EXPECT_EQ(row.cells[Col::Location], "delta");
    EXPECT_EQ(row.cells[Col::Critical], "Yes");
    for (int c = Col::Status; c < Col::Count; ++c)
        EXPECT_TRUE(row.cells[size_t(c)].isEmpty()) << c;
    EXPECT_FALSE(row.notification.pending);
    EXPECT_TRUE(s->Grid().Row(1).notification.pending);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.4\tdelta\tYes\r\n");
}

TEST_F(SessionEditingTest, EditStartsTheDeviceAgainAndUpdatesTheFile) {
    start(kThree + "; 10.0.0.2 kept\r\n10.0.0.2\tbeta twice\r\n");
    s->Grid().SetCell(2, Col::Status, "DOWN");
    s->Grid().SetCell(2, Col::PktsSent, "7");
    s->Grid().SetCell(2, Col::RespTotal, "70");
    s->Grid().Notification(2).pending = true;
    s->SetSelectedRow(2);
    s->UpdateGridDevice("10.0.0.2", "10.0.0.22", true, "No", "beta moved");
    const TGridRow& row = s->Grid().Row(2);
    EXPECT_EQ(row.cells[Col::Address], "10.0.0.22");
    EXPECT_EQ(row.cells[Col::Location], "beta moved");
    EXPECT_EQ(row.cells[Col::Critical], "No");
    EXPECT_EQ(row.cells[Col::SinceKey], SinceKey(clock.now().addDays(-365)));
    for (int c : {int(Col::Status), int(Col::Since), int(Col::PktsSent), int(Col::RespTotal)})
        EXPECT_TRUE(row.cells[size_t(c)].isEmpty()) << c;
    EXPECT_FALSE(row.notification.pending);
    // The other row of that address keeps its line.
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.22\tbeta moved\tNo\r\n"
                                   "10.0.0.3\tgamma\r\n; 10.0.0.2 kept\r\n"
                                   "10.0.0.2\tbeta twice\r\n");

    // Refusals change nothing; an edit may take another row's address.
    prompts.messages.clear();
    s->UpdateGridDevice("10.0.0.22", "10.0.0", true, "No", "x");
    s->UpdateGridDevice("10.0.0.22", "10.0.0.9", true, "No", "");
    EXPECT_EQ(captions(), (QStringList{"Invalid IP Address Syntax", "Invalid Location"}));
    s->UpdateGridDevice("10.0.0.22", "10.0.0.1", false, "Yes", "alpha too");
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.1", "10.0.0.1", "10.0.0.2", "10.0.0.3"}));
}

TEST_F(SessionEditingTest, DeleteAsksTwiceAndKeepsTheOtherDevicesRecords) {
    start(kThree + "; comment\r\n");
    s->Grid().Notification(3).pending = true;
    s->SetSelectedRow(2);
    prompts.answers = {TPrompts::Answer::No};
    s->ActionDeleteGridDeviceExecute();
    EXPECT_EQ(s->Grid().RowCount(), 4) << "answered No";

    prompts.messages.clear();
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::Yes};
    s->ActionDeleteGridDeviceExecute();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "Are you sure you want to delete: 10.0.0.2 ?");
    EXPECT_EQ(prompts.messages[0].caption, "Delete Velmora Device from Grid");
    EXPECT_EQ(prompts.messages[1].text, "Do you want to update net.dat ?");
    EXPECT_EQ(prompts.messages[1].caption, "Velmora DAT File Update");
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.1", "10.0.0.3"}));
    EXPECT_TRUE(s->Grid().Row(2).notification.pending) << "gamma's record moved up with it";
    EXPECT_FALSE(s->Grid().Row(1).notification.pending);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.3\tgamma\r\n; comment\r\n");

    // The last device stays; no row selected deletes nothing.
    prompts.messages.clear();
    s->SetSelectedRow(0);
    s->ActionDeleteGridDeviceExecute();
    s->SetSelectedRow(1);
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::No};
    s->ActionDeleteGridDeviceExecute();
    EXPECT_EQ(prompts.messages.size(), 2u) << "the file question answered No";
    s->ActionDeleteGridDeviceExecute();
    EXPECT_EQ(prompts.messages.size(), 2u) << "one device left: nothing asked";
    EXPECT_EQ(column(Col::Address), QStringList{"10.0.0.3"});
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.3\tgamma\r\n; comment\r\n");
}

TEST_F(SessionEditingTest, SaveStateOnExitKeepsEveryChangeOutOfTheDataFile) {
    start(kThree, true);
    EXPECT_FALSE(s->FileOptionsAllow());
    WriteTestFile(dir.filePath("more.dat"), "10.0.0.7\teta\r\n");
    s->InsertGridDevice("10.0.0.4", "delta", true, "No");
    s->SetSelectedRow(1);
    s->UpdateGridDevice("10.0.0.1", "10.0.0.11", true, "No", "alpha");
    s->MergeFileIntoGrid(dir.filePath("more.dat"), true);
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::Yes};
    s->ActionDeleteGridDeviceExecute();
    EXPECT_EQ(captions(), QStringList{"Delete Velmora Device from Grid"}) << "no file question";
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.7"}));
    EXPECT_EQ(ReadTestFile(dat()), kThree);
}

TEST_F(SessionEditingTest, MergeAddsNewAddressesAfterTheRowsInLocationOrder) {
    start("10.0.0.1\tomega\r\n0XA.0.0.1\tten\r\n");
    WriteTestFile(dir.filePath("more.dat"), "10.0.0.1\talready here\r\n"
                                            "0xa.0.0.1\tten in small letters\r\n"
                                            "10.0.0.5\t\tYes\r\n"
                                            "10.0.0.4\tzeta\r\n"
                                            "10.0.0.6\tepsilon\tyes\r\n"
                                            "10.0.0.4\tdelta\r\n"
                                            "; comment\r\n");
    beginProbe(); // a device's packets counted, then the end of the device
    finishProbe();
    ASSERT_EQ(s->Cycle().PacketCount(), 1);
    s->MergeFileIntoGrid(dir.filePath("more.dat"), true);
    EXPECT_EQ(column(Col::Address),
              (QStringList{"10.0.0.1", "0XA.0.0.1", "10.0.0.4", "10.0.0.6", "10.0.0.4"}));
    EXPECT_EQ(column(Col::Location), (QStringList{"omega", "ten", "delta", "epsilon", "zeta"}));
    EXPECT_EQ(column(Col::Critical), (QStringList{"No", "No", "No", "Yes", "No"}));
    EXPECT_EQ(s->Grid().Cell(3, Col::SinceKey), SinceKey(clock.now().addDays(-365)));
    EXPECT_EQ(s->Cycle().PacketCount(), 0);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tomega\r\n0XA.0.0.1\tten\r\n10.0.0.4\tdelta\tNo\r\n"
                                   "10.0.0.6\tepsilon\tYes\r\n10.0.0.4\tzeta\tNo\r\n");

    // All known already: nothing added; a missing file changes nothing.
    s->MergeFileIntoGrid(dir.filePath("more.dat"), false);
    s->MergeFileIntoGrid(dir.filePath("missing.dat"), true);
    s->MergeFileIntoGrid(QString(), true);
    EXPECT_EQ(s->Grid().RowCount(), 6);
}

TEST_F(SessionEditingTest, MergeIntoAnUnwritableDataFileAddsNoRow) {
    start("10.0.0.1\talpha\r\n");
    WriteTestFile(dir.filePath("more.dat"), "10.0.0.4\tdelta\r\n");
    // The data file's path now names a folder: it cannot take the lines.
    QFile::remove(dat());
    ASSERT_TRUE(QDir().mkpath(dat()));
    s->MergeFileIntoGrid(dir.filePath("more.dat"), true);
    EXPECT_EQ(s->Grid().RowCount(), 2);
    ASSERT_EQ(captions(), QStringList{"Velmora"});
    EXPECT_EQ(prompts.messages.back().text, "Unable to write to " + dat());
    s->MergeFileIntoGrid(dir.filePath("more.dat"), false);
    EXPECT_EQ(s->Grid().RowCount(), 3) << "without the file step it merges";
}

TEST_F(SessionEditingTest, RequestsDuringAProbeRunAtItsEndInOrder) {
    start(kThree);
    WriteTestFile(dir.filePath("more.dat"), "10.0.0.5\tdelta\r\n");
    beginProbe();
    s->InsertGridDevice("10.0.0.8", "first", false, "No");
    s->InsertGridDevice("10.0.0.9", "second", true, "Yes"); // replaces the first
    s->SetSelectedRow(1);
    s->UpdateGridDevice("10.0.0.1", "10.0.0.11", false, "Yes", "alpha moved");
    s->SortRequest(Col::Location); // descending: gamma, beta, alpha
    s->SetSelectedRow(2);
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::Yes, TPrompts::Answer::No};
    s->ActionDeleteGridDeviceExecute();
    s->MergeFileIntoGrid(dir.filePath("more.dat"), false);
    EXPECT_TRUE(s->PendingEdits().insert && s->PendingEdits().edit &&
                s->PendingEdits().deletePending && s->PendingEdits().merge);
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"}))
        << "nothing moves under a probe";
    EXPECT_EQ(captions(), QStringList{"Delete Velmora Device from Grid"});

    finishProbe();
    // The sort ran first; the edit went to alpha wherever the sort put it;
    // the delete asked again for the row selected then (beta).
    EXPECT_EQ(column(Col::Location), (QStringList{"gamma", "alpha moved", "second", "delta"}));
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.3", "10.0.0.11", "10.0.0.9", "10.0.0.5"}));
    EXPECT_EQ(captions(),
              (QStringList{"Delete Velmora Device from Grid", "Delete Velmora Device from Grid",
                           "Velmora DAT File Update"}));
    EXPECT_EQ(ReadTestFile(dat()), kThree + "10.0.0.9\tsecond\tYes\r\n");
    EXPECT_FALSE(s->PendingEdits().insert || s->PendingEdits().edit ||
                 s->PendingEdits().deletePending || s->PendingEdits().merge);
    EXPECT_TRUE(s->Cycle().TimerInterSite().isActive());
}

// Two rows of one address: a pending edit changes the row it was asked for,
// told by its location, wherever a sort moved it and whichever row is
// selected when it runs; and so the line of that row.
TEST_F(SessionEditingTest, PendingEditOfOneOfTwoRowsWithOneAddress) {
    start("10.0.0.1\talpha\r\n10.0.0.1\tbackup\r\n10.0.0.3\tgamma\r\n");
    beginProbe();
    s->SetSelectedRow(2);
    s->UpdateGridDevice("10.0.0.1", "10.0.0.1", true, "Yes", "backup moved");
    s->SortRequest(Col::Location); // descending: gamma, backup, alpha
    s->SetSelectedRow(3);
    finishProbe();
    EXPECT_EQ(column(Col::Location), (QStringList{"gamma", "backup moved", "alpha"}));
    EXPECT_EQ(ReadTestFile(dat()),
              "10.0.0.1\talpha\r\n10.0.0.1\tbackup moved\tYes\r\n10.0.0.3\tgamma\r\n");
}

// An append the file cannot take is said, after the step of the cycle that
// ran it, never inside it.
TEST_F(SessionEditingTest, AppendThatFailsIsToldAfterTheProbe) {
    start("10.0.0.1\talpha\r\n");
    QFile::remove(dat());
    ASSERT_TRUE(QDir().mkpath(dat())); // no file can take a line now
    beginProbe();
    s->InsertGridDevice("10.0.0.4", "delta", true, "No");
    bool toldInsideTheStep = false;
    QObject::connect(&s->Cycle(), &TMonitorCycle::packetDone,
                     [&] { toldInsideTheStep = !prompts.messages.empty(); });
    finishProbe();
    EXPECT_FALSE(toldInsideTheStep);
    EXPECT_EQ(s->Grid().RowCount(), 3) << "the grid keeps the device";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to " + dat());
    EXPECT_EQ(prompts.messages[0].caption, "Velmora");
}

TEST_F(SessionEditingTest, PendingDeleteAsksAgainAndCanBeDeclined) {
    start(kThree);
    beginProbe();
    s->InsertGridDevice("10.0.0.7", "eta", false, "No");
    s->SetSelectedRow(3);
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::No};
    s->ActionDeleteGridDeviceExecute();
    finishProbe();
    EXPECT_EQ(column(Col::Address), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.7"}))
        << "the second question answered No";
    EXPECT_EQ(captions(),
              (QStringList{"Delete Velmora Device from Grid", "Delete Velmora Device from Grid"}));
}

} // namespace
