// The Ping page as the operator meets it in the window: its controls, the
// empty target, the recent list in the settings file, "Trace Route" and
// Enter in the address box. Runs here are stopped before their first probe,
// so nothing is sent; tests/app/PingPageHostsTest.cpp probes real hosts.
#include "TestSupport.h"
#include "icmp/PingPageEngine.h"
#include "icmp/PingPageView.h"
#include "monitor/MonitorCycle.h"
#include "platform/IniFile.h"
#include "session/Session.h"
#include "ui/LogPane.h"
#include "window/MainWindow.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct PingPageWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    std::unique_ptr<TForm1> form;
    TPingPage* page = nullptr;

    void SetUp() override { open(); }
    void open() {
        form.reset();
        TForm1::Options o;
        o.quitOnClose = false;
        form = std::make_unique<TForm1>(o);
        form->Session().Cycle().StopTimers();
        page = Named<TPingPage>(*form, "TPingPage");
        ASSERT_NE(page, nullptr);
    }
    TPingPageEngine& engine() const { return form->Session().PingPage(); }
    QStringList items() const {
        QStringList s;
        for (int i = 0; i < page->ComboBoxPingList->count(); ++i)
            s << page->ComboBoxPingList->itemText(i);
        return s;
    }
    // Starts a run and stops it while it waits for its first probe.
    void startAndStop(const QString& target) {
        page->ComboBoxPingList->setEditText(target);
        page->ButtonPingPage->click();
        ASSERT_TRUE(engine().Running());
        page->ButtonPingPage->click();
        ASSERT_FALSE(engine().Running());
    }
    template <class T> T* byCaption(const QString& caption) const {
        for (T* w : page->findChildren<T*>())
            if (w->text() == caption)
                return w;
        ADD_FAILURE() << "nothing captioned " << caption.toStdString();
        return nullptr;
    }
};

TEST_F(PingPageWindowTest, ControlsByCaptionWithDefaultsAndRanges) {
    QStringList groups;
    for (QGroupBox* g : page->findChildren<QGroupBox*>())
        groups << g->title();
    EXPECT_EQ(groups, (QStringList{"Address to Ping", "Ping Results", "Options"}));
    EXPECT_EQ(page->ComboBoxPingList->accessibleName(), "Address to Ping");
    EXPECT_TRUE(page->ComboBoxPingList->isEditable());
    EXPECT_EQ(page->ComboBoxPingList->currentText(), "");
    EXPECT_EQ(page->MemoPingPage->accessibleName(), "Ping Results");
    EXPECT_EQ(page->MemoPingPage->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");

    QCheckBox* clear = byCaption<QCheckBox>("Clear Display");
    QCheckBox* trace = byCaption<QCheckBox>("Trace Route");
    ASSERT_TRUE(clear && trace);
    EXPECT_TRUE(clear->isChecked());
    EXPECT_FALSE(trace->isChecked());

    struct Box {
        const char* caption;
        int min, max, value;
    };
    for (Box b : {Box{"Number of Packets", 0, 99, 4}, Box{"Timeout (Seconds)", 1, 60, 5}}) {
        QLabel* label = byCaption<QLabel>(b.caption);
        ASSERT_NE(label, nullptr);
        auto* box = qobject_cast<QSpinBox*>(label->buddy());
        ASSERT_NE(box, nullptr) << b.caption;
        EXPECT_EQ(box->minimum(), b.min) << b.caption;
        EXPECT_EQ(box->maximum(), b.max) << b.caption;
        EXPECT_EQ(box->value(), b.value) << b.caption;
    }
    EXPECT_EQ(Named<QTimer>(*form, "TimerPing")->interval(), 800);
    EXPECT_FALSE(Named<QTimer>(*form, "TimerPing")->isActive());
}

TEST_F(PingPageWindowTest, EmptyTargetWritesNothingToPing) {
    page->MemoPingPage->AppendLine("earlier");
    page->ComboBoxPingList->setEditText("");
    page->ButtonPingPage->click();
    EXPECT_EQ(page->MemoPingPage->Lines(), QStringList{"Nothing to Ping !"});
    EXPECT_FALSE(engine().Running());
    EXPECT_FALSE(engine().TimerPing.isActive());

    page->CheckBoxPingClear->setChecked(false);
    page->ButtonPingPage->click();
    EXPECT_EQ(page->MemoPingPage->Lines(), (QStringList{"Nothing to Ping !", "Nothing to Ping !"}));

    // A run in progress goes on.
    page->ComboBoxPingList->setEditText("127.0.0.1");
    page->ButtonPingPage->click();
    ASSERT_TRUE(engine().Running());
    page->ComboBoxPingList->setEditText("");
    page->ButtonPingPage->click();
    EXPECT_TRUE(engine().Running());
    EXPECT_TRUE(engine().TimerPing.isActive());
    EXPECT_EQ(page->MemoPingPage->Lines().last(), "Nothing to Ping !");
    page->ComboBoxPingList->setEditText("127.0.0.1");
    page->ButtonPingPage->click();
    EXPECT_FALSE(engine().Running());
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");
}

TEST_F(PingPageWindowTest, RecentListOfTenSavedInOneWriteAndLoadedAtStartUp) {
    TIniFile& settings = form->Session().Settings();
    QStringList expected;
    for (int i = 1; i <= 10; ++i) {
        const QString target = QStringLiteral("127.0.0.%1").arg(i);
        const quint64 before = settings.Replacements();
        startAndStop(target);
        expected << target;
        EXPECT_EQ(settings.Replacements() - before, 1u) << i;
    }
    EXPECT_EQ(engine().List(), expected);
    EXPECT_EQ(items(), expected);

    // A target already in the list changes nothing, in the list or the file.
    quint64 before = settings.Replacements();
    startAndStop("127.0.0.3");
    EXPECT_EQ(settings.Replacements(), before);
    EXPECT_EQ(engine().List(), expected);

    // The list is case-sensitive, and when full the new target goes first.
    startAndStop("LOCALHOST");
    expected.prepend("LOCALHOST");
    expected.removeLast();
    EXPECT_EQ(engine().List(), expected);
    EXPECT_EQ(items(), expected);
    EXPECT_EQ(page->ComboBoxPingList->currentText(), "LOCALHOST");

    TIniFile file(folder.file("velmora.ini"));
    TIniFile::Entries entries;
    for (int i = 0; i < 10; ++i)
        entries.append({QStringLiteral("Q-%1").arg(i), expected[i]});
    EXPECT_EQ(file.ReadSection("PingPageQueryList"), entries);

    // The next start shows the saved list.
    form->Session().RequestClose();
    open();
    EXPECT_EQ(items(), expected);
}

TEST_F(PingPageWindowTest, TraceRouteDisablesThePacketControls) {
    // A mouse click, a screen reader's toggle action (what AT-SPI calls) and
    // the space key each tick and untick the box; the packet controls follow
    // its state whichever way it changed.
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(page->CheckBoxPingTR);
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->actionInterface(), nullptr);
    ASSERT_TRUE(
        box->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"click", [&] { page->CheckBoxPingTR->click(); }},
        {"accessible toggle",
         [&] { box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction()); }},
        {"space key", [&] { QTest::keyClick(page->CheckBoxPingTR, Qt::Key_Space); }},
    };
    for (const auto& [how, tick] : ways) {
        tick();
        ASSERT_TRUE(page->CheckBoxPingTR->isChecked()) << how;
        EXPECT_FALSE(page->EditPingPackets->isEnabled()) << how;
        EXPECT_FALSE(page->UpDownPingPackets->isEnabled()) << how;
        EXPECT_FALSE(page->LabelPingPackets->isEnabled()) << how;
        EXPECT_TRUE(page->EditPingTimeOut->isEnabled()) << how;
        tick();
        ASSERT_FALSE(page->CheckBoxPingTR->isChecked()) << how;
        EXPECT_TRUE(page->EditPingPackets->isEnabled()) << how;
        EXPECT_TRUE(page->LabelPingPackets->isEnabled()) << how;
    }
}

TEST_F(PingPageWindowTest, EnterInTheAddressBoxClicksTheButton) {
    page->ComboBoxPingList->setEditText("127.0.0.1");
    QTest::keyClick(page->ComboBoxPingList->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(engine().Running());
    EXPECT_EQ(page->ButtonPingPage->text(), "Stop");
    EXPECT_EQ(items(), QStringList{"127.0.0.1"});
    QTest::keyClick(page->ComboBoxPingList->lineEdit(), Qt::Key_Enter);
    EXPECT_FALSE(engine().Running());
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");
    EXPECT_EQ(page->ComboBoxPingList->currentText(), "127.0.0.1");
}

TEST(PingTimeOutSeconds, NumbersWithinTheBoxRangeAnythingElseFive) {
    const std::pair<const char*, int> cases[] = {{"5", 5},   {"60", 60}, {" 7 ", 7},
                                                 {"0", 1},   {"99", 60}, {"", 5},
                                                 {"abc", 5}, {"2.5", 5}, {"-3", 1}};
    for (auto [text, seconds] : cases)
        EXPECT_EQ(PingTimeOutSeconds(QString::fromLatin1(text)), seconds) << text;
}

} // namespace
