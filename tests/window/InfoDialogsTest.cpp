// The Info menu's "Winsock Information" and "About" boxes, opened as the
// operator opens them.
#include "window/InfoDialogs.h"
#include "WindowTest.h"
#include "monitor/MonitorCycle.h"
#include "session/Session.h"
#include "session/SystemInfo.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/utsname.h>

namespace {

struct InfoDialogsTest : TWindowTest {
    template <class T> T* open(const char* action) {
        QAction* a = Named<QAction>(*form, action);
        EXPECT_TRUE(a->isEnabled()) << action;
        a->trigger();
        return form->findChild<T*>();
    }
};

TEST_F(InfoDialogsTest, InfoMenuEntriesAreEnabled) {
    for (const char* name : {"Help1", "Winsock1", "SessionInformation1", "AboutVelmora1"})
        EXPECT_TRUE(Named<QAction>(*form, name)->isEnabled()) << name;
}

TEST_F(InfoDialogsTest, WinsockInformationShowsTheSystemsFigures) {
    TSockInfo* d = open<TSockInfo>("Winsock1");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Winsock Information");
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->windowModality(), Qt::WindowModal);

    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    EXPECT_EQ(d->LabelVersion->text(), "Version: 2.2");
    EXPECT_EQ(d->LabelDescription->text(),
              QStringLiteral("Description: %1 %2").arg(u.sysname, u.release));
    EXPECT_EQ(d->LabelStatus->text(), "Status: Running");
    EXPECT_EQ(d->LabelMaxSockets->text(), QStringLiteral("Max Sockets: %1").arg(files.rlim_cur));
    EXPECT_EQ(d->LabelMaxUdp->text(), "Largest UDP Datagram: 65507 bytes");
    char name[101] = {};
    ASSERT_EQ(::gethostname(name, 100), 0);
    EXPECT_EQ(d->LabelHostName->text(), QStringLiteral("Host Name: ") + name);
    EXPECT_EQ(d->LabelHostIP->text(), "Host IP: " + form->Session().LocalHostIP());
    EXPECT_TRUE(d->OKBtn->isDefault());
    d->OKBtn->click();
    EXPECT_FALSE(d->isVisible());
}

TEST_F(InfoDialogsTest, AnUnreadableHostNameShowsUnknownAndNoAddress) {
    TSession::Options o;
    o.settingsPath = folder.file("other.ini");
    o.prompts = &prompts;
    o.echo = [](const QString&, int) { return TEchoResult{}; };
    o.hostName = [] { return std::optional<QString>(); };
    TSession session(o);
    session.Start();
    TSockInfo d(session);
    EXPECT_EQ(d.LabelHostName->text(), "Host Name: Unknown:");
    EXPECT_EQ(d.LabelHostIP->text(), "Host IP: ");
    EXPECT_EQ(d.LabelVersion->text(), "Version: 2.2");
    session.RequestClose();
}

TEST(MemoryKBText, WholeKilobytesWithTheLocalesSeparator) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    struct Case {
        quint64 bytes;
        const QLocale& locale;
        const char* text;
    };
    const Case cases[] = {
        {2ull << 30, english, "2,097,152 KB"},
        {2ull << 30, german, "2.097.152 KB"},
        {0, english, "0 KB"},
        {1023, english, "1 KB"},
        {511, english, "0 KB"},
        {(16ull << 30) + 512, english, "16,777,217 KB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MemoryKBText(c.bytes, c.locale), c.text) << c.bytes;
}

TEST_F(InfoDialogsTest, AboutShowsMemoryAndMailsTheContact) {
    TAboutBox* d = open<TAboutBox>("AboutVelmora1");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "About Velmora");
    EXPECT_EQ(d->ProductName->text(), "Velmora");
    EXPECT_EQ(d->Version->text(), "Version 2.5");
    EXPECT_TRUE(d->OKButton->isDefault());

    const std::optional<TPhysicalMemory> memory = PhysicalMemory();
    ASSERT_TRUE(memory);
    EXPECT_GT(memory->total, 0u);
    EXPECT_LE(memory->available, memory->total);
    EXPECT_EQ(d->LabelTotalMem->text(), MemoryKBText(memory->total));
    EXPECT_TRUE(QRegularExpression(R"(^\d[\d,. \x{a0}\x{202f}']* KB$)")
                    .match(d->LabelAvailMem->text())
                    .hasMatch())
        << d->LabelAvailMem->text().toStdString();

    // Each memory figure and the contact link are found by their captions.
    QStringList captions;
    for (QLabel* l : d->findChildren<QLabel*>())
        if (l->buddy())
            captions << l->text();
    EXPECT_EQ(captions, (QStringList{"Comments can be sent to:", "Total Physical Memory:",
                                     "Available Physical Memory:"}));

    emit d->Label1->linkActivated(QStringLiteral("mailto:") + TAboutBox::kContactAddress);
    EXPECT_EQ(launcher.browserUrls, QStringList{"mailto:" + TAboutBox::kContactAddress});
}

} // namespace
