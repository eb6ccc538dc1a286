#include "dns/DNSResolverPage.h"
#include "DNSMessageBuilder.h"
#include "DnsmasqServer.h"
#include "QtPrinters.h"
#include "ScriptedUdpServer.h"
#include "TestSupport.h"
#include "dns/DNSSettings.h"
#include "platform/IniFile.h"
#include "ui/LogPane.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <thread>

using B = TDNSMessageBuilder;

namespace {

const QString kServer = QStringLiteral("127.77.3.1");

QByteArray AnswerA(const QByteArray& q) {
    QByteArray r = q;
    r[2] = char(0x81);
    r[3] = char(0x80);
    r.replace(6, 2, B::Be16(1));
    return r + B::Pointer(12) + B::Be16(1) + B::Be16(1) + B::Be32(60) + B::Be16(4) +
           QByteArray("\x7f\x01\x02\x03", 4);
}

class DNSResolverPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ini = std::make_unique<TIniFile>(dir.filePath("velmora.ini"));
        page = std::make_unique<TDNSResolverPage>(lists, [this]() -> TIniFile& { return *ini; });
        page->show();
    }
    void TearDown() override { page.reset(); }
    QString Log() const { return page->DNSMemo->toPlainText(); }
    void Query(const QString& server, const QString& name, quint16 port, int timeout = 2) {
        page->ComboBoxDNSServer->setEditText(server);
        page->ComboBoxDNSQuery->setEditText(name);
        page->EditDNSTimeout->setValue(timeout);
        page->SetServerPort(port);
    }
    // Waits, with the event loop running, until `done` holds.
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QTest::qWait(10);
        return done();
    }
    bool WaitIdle() {
        return WaitFor([this] { return !page->QueryRunning(); });
    }
    QStringList Keys(const QString& section) const {
        QStringList keys;
        for (const auto& e : ini->ReadSection(section))
            keys << e.first + "=" + e.second;
        return keys;
    }

    QTemporaryDir dir;
    std::unique_ptr<TIniFile> ini;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    TDNSLists lists;
    std::unique_ptr<TDNSResolverPage> page;
};

TEST_F(DNSResolverPageTest, ControlsCaptionsDefaultsAndRanges) {
    EXPECT_EQ(page->GroupBoxQueryParameters->title(), "Query Parameters");
    EXPECT_EQ(page->GroupBoxOptions->title(), "Options");
    EXPECT_EQ(page->GroupBoxDNSResults->title(), "DNS Results");
    EXPECT_EQ(page->ButtonRunDns->text(), "Go");
    EXPECT_EQ(page->CheckBoxDNSRecursive->text(), "Recursive Lookup");
    EXPECT_TRUE(page->CheckBoxDNSRecursive->isChecked());
    EXPECT_EQ(page->CheckBoxDNSClearWindow->text(), "Clear Window");
    EXPECT_TRUE(page->CheckBoxDNSClearWindow->isChecked());
    EXPECT_EQ(page->EditDNSTimeout->value(), 5);
    EXPECT_EQ(page->EditDNSTimeout->minimum(), 1);
    EXPECT_EQ(page->EditDNSTimeout->maximum(), 20);
    EXPECT_EQ(page->SpeedButtonDeleteDnsServer->toolTip(), "Delete displayed DNS Server from list");
    EXPECT_TRUE(page->ComboBoxDNSQuery->isEditable());
    EXPECT_TRUE(page->ComboBoxDNSServer->isEditable());
    EXPECT_FALSE(page->ComboBoxDNS->isEditable());
    QStringList types;
    for (int i = 0; i < page->ComboBoxDNS->count(); ++i)
        types << page->ComboBoxDNS->itemText(i);
    EXPECT_EQ(types,
              (QStringList{"Address - Address", "CNAME - Canonical Name",
                           "MX Records - Mail Exchange", "NS - Name Server", "PTR - Domain Pointer",
                           "SOA - Start of Authority", "Text - Text Strings", "Any - Any Type"}));
    EXPECT_EQ(page->ComboBoxDNS->currentText(), "Address - Address");

    // Every label names its control; the controls without one have a name.
    std::map<QString, QWidget*> buddies;
    for (QLabel* label : page->findChildren<QLabel*>())
        buddies[label->text()] = label->buddy();
    EXPECT_EQ(buddies["Host Name or IP Address to Resolve"], page->ComboBoxDNSQuery);
    EXPECT_EQ(buddies["Type of Search"], page->ComboBoxDNS);
    EXPECT_EQ(buddies["DNS Server to Use"], page->ComboBoxDNSServer);
    EXPECT_EQ(buddies["Timeout"], page->EditDNSTimeout);
    EXPECT_FALSE(page->SpeedButtonDeleteDnsServer->accessibleName().isEmpty());
    EXPECT_FALSE(page->SpeedButton5->accessibleName().isEmpty());
    EXPECT_FALSE(page->DNSMemo->accessibleName().isEmpty());

    QStringList menu;
    for (QAction* a : page->PopupMenuDNSLog->actions())
        menu << a->text();
    EXPECT_EQ(menu,
              (QStringList{"Cu&t", "&Copy", "Select &All", "Clear...", "&Open...", "Save &As..."}));

    int context = 0;
    QObject::connect(page.get(), &TDNSResolverPage::helpRequested, [&](int c) { context = c; });
    page->SpeedButton5->click();
    EXPECT_EQ(context, 350);
}

TEST_F(DNSResolverPageTest, StopDuringASilentQueryWritesOnlyTheAbortLine) {
    TScriptedUdpServer server(kServer, [](const QByteArray&) { return std::nullopt; });
    ASSERT_NE(server.Port(), 0);
    Query(kServer, "www.velmora.test", server.Port(), 1);

    QElapsedTimer t;
    t.start();
    page->ButtonRunDns->click();
    EXPECT_LT(t.elapsed(), 500) << "Go must not wait for the server";
    EXPECT_EQ(page->ButtonRunDns->text(), "Stop");
    EXPECT_TRUE(page->QueryRunning());

    // The event loop keeps running while the query waits.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    QTest::qWait(300);
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(server.Received().size(), 1);

    page->ButtonRunDns->click();
    EXPECT_EQ(page->ButtonRunDns->text(), "Go");
    EXPECT_FALSE(page->QueryRunning());
    EXPECT_EQ(Log(), ":::DNS Aborted by User.");

    // Past the time-out the worker has ended and has written nothing.
    QTest::qWait(1200);
    EXPECT_EQ(Log(), ":::DNS Aborted by User.");
    EXPECT_EQ(page->ButtonRunDns->text(), "Go");
}

TEST_F(DNSResolverPageTest, ResultsOfAQueryStoppedWhileWaitingAreStillShown) {
    TScriptedUdpServer server(kServer, [](const QByteArray& q) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return std::optional<QByteArray>(AnswerA(q));
    });
    ASSERT_NE(server.Port(), 0);
    Query(kServer, "www.velmora.test", server.Port(), 3);
    page->ButtonRunDns->click();
    // Stop once the query is out (a Stop before that skips the query).
    ASSERT_TRUE(WaitFor([&] { return server.Received().size() == 1; }));
    page->ButtonRunDns->click();
    QTest::qWait(1000);
    EXPECT_EQ(Log(), ":::DNS Aborted by User.\n:Answer Records\n\n"
                     "www.velmora.test\t\tTTL: 60 sec.\tClass:IN   Type:A\t127.1.2.3\n\n\n"
                     "Non-Authoritative response from DNS Server: 127.77.3.1");
}

TEST_F(DNSResolverPageTest, AWorkerLeftBehindByStopDoesNotEndTheNextQuery) {
    TScriptedUdpServer server(kServer, [](const QByteArray&) { return std::nullopt; });
    ASSERT_NE(server.Port(), 0);
    Query(kServer, "www.velmora.test", server.Port(), 1);
    page->ButtonRunDns->click(); // first query, 1 s
    page->ButtonRunDns->click(); // Stop
    page->EditDNSTimeout->setValue(3);
    page->ButtonRunDns->click(); // second query, 3 s
    QTest::qWait(1500);          // the first worker has ended by now
    EXPECT_EQ(page->ButtonRunDns->text(), "Stop");
    EXPECT_TRUE(page->QueryRunning());
    page->ButtonRunDns->click();
    EXPECT_EQ(Log(), ":::DNS Aborted by User.");
}

TEST_F(DNSResolverPageTest, AnsweredQueryIsLoggedAndRemembered) {
    TScriptedUdpServer server(kServer, [](const QByteArray& q) { return AnswerA(q); });
    ASSERT_NE(server.Port(), 0);
    page->DNSMemo->setPlainText("old line");
    page->CheckBoxDNSRecursive->setChecked(false);
    Query(kServer, "www.velmora.test", server.Port());
    page->ButtonRunDns->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(page->ButtonRunDns->text(), "Go");
    EXPECT_EQ(Log(), ":Answer Records\n\n"
                     "www.velmora.test\t\tTTL: 60 sec.\tClass:IN   Type:A\t127.1.2.3\n\n\n"
                     "Non-Authoritative response from DNS Server: 127.77.3.1");
    ASSERT_EQ(server.Received().size(), 1);
    EXPECT_EQ(quint8(server.Received()[0][2]), 0) << "recursion not desired";
    EXPECT_EQ(page->QueryList(), QStringList{"www.velmora.test"});
    EXPECT_EQ(Keys("DNS Query List"), QStringList{"DNSQ-0=www.velmora.test"});

    // "Clear Window" unticked keeps what the pane held.
    page->CheckBoxDNSClearWindow->setChecked(false);
    page->ComboBoxDNS->setCurrentText("Any - Any Type");
    page->ButtonRunDns->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Log().startsWith(":Answer Records\n"));
    EXPECT_EQ(Log().count("Non-Authoritative response"), 2);
    ASSERT_EQ(server.Received().size(), 2);
    EXPECT_EQ(server.Received()[1].right(4).toHex(), "00ff0001");
}

TEST_F(DNSResolverPageTest, MissingInputAndFailures) {
    page->DNSMemo->setPlainText("old line");
    Query("", "www.velmora.test", 53);
    page->ButtonRunDns->click();
    EXPECT_EQ(Log(), ":::No DNS Server Address Specified.");
    EXPECT_EQ(page->ButtonRunDns->text(), "Go");

    Query(kServer, "", 53);
    page->ButtonRunDns->click();
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(page->QueryRunning());
    EXPECT_TRUE(page->QueryList().isEmpty());

    // A pointer query that cannot be built fails at once.
    page->ComboBoxDNS->setCurrentText("PTR - Domain Pointer");
    Query(kServer, "localhost", 53);
    page->ButtonRunDns->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), ":::Error Resolving: localhost");
}

TEST_F(DNSResolverPageTest, QueryListFollowsTheRecentListRule) {
    ini->WriteString("DNS Query List", "DNSQ-11", "stale");
    lists = TDNSLists::Read(*ini);
    page->ShowLists();
    TScriptedUdpServer server(kServer, [](const QByteArray& q) { return AnswerA(q); });
    ASSERT_NE(server.Port(), 0);
    auto ask = [&](const QString& name) {
        Query(kServer, name, server.Port());
        page->ButtonRunDns->click();
        ASSERT_TRUE(WaitIdle());
    };
    for (int i = 0; i < 9; ++i)
        ask(QString("n%1.test").arg(i));
    QStringList asked;
    for (int i = 0; i < 9; ++i)
        asked << QString("n%1.test").arg(i);
    EXPECT_EQ(page->QueryList(), QStringList{"stale"} + asked);

    ask("n3.test"); // already there: nothing changes
    EXPECT_EQ(page->QueryList(), QStringList{"stale"} + asked);
    ask("new.test"); // full: goes first, the last drops out
    EXPECT_EQ(page->QueryList(), (QStringList{"new.test", "stale"} + asked.mid(0, 8)));
    // Rewritten from DNSQ-0 on; the old DNSQ-11 is gone.
    QStringList keys;
    for (int i = 0; i < 10; ++i)
        keys << QString("DNSQ-%1=%2").arg(i).arg(page->QueryList()[i]);
    EXPECT_EQ(Keys("DNS Query List"), keys);
    EXPECT_EQ(page->ComboBoxDNSQuery->count(), 10);
    EXPECT_EQ(page->ComboBoxDNSQuery->currentText(), "new.test");
}

TEST_F(DNSResolverPageTest, ListsLoadAndShrinkingListsLeaveNoStaleKeys) {
    ini->WriteString("DNS Settings", "DNS-0", "127.0.0.1");
    ini->WriteString("DNS Settings", "DNS-1", "ns.velmora.test");
    ini->WriteString("DNS Query List", "DNSQ-0", "a.test");
    ini->WriteString("DNS Query List", "DNSQ-1", "b.test");
    ini->WriteString("DNS Query List", "DNSQ-2", "c.test");
    lists = TDNSLists::Read(*ini);
    page->ShowLists();
    EXPECT_EQ(page->ServerList(), (QStringList{"127.0.0.1", "ns.velmora.test"}));
    EXPECT_EQ(page->ShownServer(), "127.0.0.1");
    EXPECT_EQ(page->ServerCount(), 2);
    EXPECT_EQ(page->ComboBoxDNSQuery->currentText(), "a.test");

    // Deleting asks first; No leaves the list alone.
    page->ComboBoxDNSServer->setCurrentIndex(1);
    prompts.answers = {TPrompts::Answer::No};
    page->SpeedButtonDeleteDnsServerClick();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Are you sure ?");
    EXPECT_EQ(prompts.messages[0].caption, "Remove DNS Entry");
    EXPECT_EQ(page->ServerCount(), 2);

    prompts.answers = {TPrompts::Answer::Yes};
    page->SpeedButtonDeleteDnsServerClick();
    EXPECT_EQ(page->ServerList(), QStringList{"127.0.0.1"});
    EXPECT_EQ(page->ShownServer(), "127.0.0.1");
    EXPECT_EQ(Keys("DNS Settings"), QStringList{"DNS-0=127.0.0.1"});
    EXPECT_EQ(Keys("DNS Query List"),
              (QStringList{"DNSQ-0=a.test", "DNSQ-1=b.test", "DNSQ-2=c.test"}));

    // A shown text that is not in the list deletes nothing but still saves.
    page->ComboBoxDNSServer->setEditText("typed.velmora.test");
    prompts.answers = {TPrompts::Answer::Yes};
    page->SpeedButtonDeleteDnsServerClick();
    EXPECT_EQ(page->ServerList(), QStringList{"127.0.0.1"});
    EXPECT_EQ(page->ShownServer(), "127.0.0.1");

    prompts.answers = {TPrompts::Answer::Yes};
    page->SpeedButtonDeleteDnsServerClick();
    EXPECT_TRUE(page->ServerList().isEmpty());
    EXPECT_EQ(page->ShownServer(), "");
    EXPECT_TRUE(Keys("DNS Settings").isEmpty());
}

TEST_F(DNSResolverPageTest, LineWithoutEqualsSignIsAServerWhole) {
    QFile f(ini->FileName());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[DNS Settings]\r\n127.0.0.9\r\nDNS-1=x=y\r\n");
    f.close();
    lists = TDNSLists::Read(*ini);
    page->ShowLists();
    EXPECT_EQ(page->ServerList(), (QStringList{"127.0.0.9", "x=y"}));
}

TEST_F(DNSResolverPageTest, EnterInTheComboBoxes) {
    TScriptedUdpServer server(kServer, [](const QByteArray& q) { return AnswerA(q); });
    ASSERT_NE(server.Port(), 0);
    // Server box: the shown text joins the list, which is saved.
    page->ComboBoxDNSServer->setEditText(kServer);
    QTest::keyClick(page->ComboBoxDNSServer->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(page->ServerList(), QStringList{kServer});
    EXPECT_EQ(Keys("DNS Settings"), QStringList{"DNS-0=" + kServer});
    QTest::keyClick(page->ComboBoxDNSServer->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(page->ServerList(), QStringList{kServer});

    // Query box: runs the query.
    page->SetServerPort(server.Port());
    page->ComboBoxDNSQuery->setEditText("www.velmora.test");
    QTest::keyClick(page->ComboBoxDNSQuery->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(page->ButtonRunDns->text(), "Stop");
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Log().endsWith("response from DNS Server: 127.77.3.1"));
    EXPECT_EQ(page->ComboBoxDNSQuery->count(), 1);
}

TEST_F(DNSResolverPageTest, ServerSpecificationInputBox) {
    page->PromptForServerIfNone(); // empty list: asks; Cancel changes nothing
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].kind, TScriptedPrompts::Kind::Input);
    EXPECT_EQ(prompts.messages[0].caption, "DNS Server Specification");
    EXPECT_EQ(prompts.messages[0].text, "Enter DNS Server IP Address or Host Name:");
    EXPECT_EQ(prompts.messages[0].value, "");
    EXPECT_FALSE(ini->SectionExists("DNS Settings"));

    prompts.inputs = {QString("127.0.0.1"), QString("ns.velmora.test")};
    page->GetDNSAddress1Click();
    page->GetDNSAddress1Click();
    EXPECT_EQ(page->ServerList(), (QStringList{"127.0.0.1", "ns.velmora.test"}));
    EXPECT_EQ(page->ShownServer(), "127.0.0.1"); // entry 0 is shown
    EXPECT_EQ(Keys("DNS Settings"), (QStringList{"DNS-0=127.0.0.1", "DNS-1=ns.velmora.test"}));

    prompts.messages.clear();
    page->PromptForServerIfNone(); // the list has entries: no question
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(DNSResolverPageTest, LogCommands) {
    page->DNSMemo->setPlainText("line 1\nline\t2");
    prompts.answers = {TPrompts::Answer::No};
    page->ActionClearDNSLog->trigger();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Are you sure ?");
    EXPECT_EQ(prompts.messages[0].caption, "Clear Log");
    EXPECT_EQ(Log(), "line 1\nline\t2");

    const QString path = dir.filePath("dns.log");
    prompts.fileNames = {path, path};
    page->FileSaveAsDNSLog->trigger();
    EXPECT_EQ(prompts.fileDialogs.back().kind, TScriptedPrompts::Kind::SaveFile);
    EXPECT_EQ(prompts.fileDialogs.back().text, "Save DNS Log");
    EXPECT_EQ(prompts.fileDialogs.back().filter, "Log Files (*.log)|*.log|All Files (*.*)|*.*");
    EXPECT_EQ(prompts.fileDialogs.back().defaultExt, "log");
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("line 1\r\nline\t2\r\n"));

    page->FileOpenDNSLog->trigger();
    EXPECT_EQ(prompts.fileDialogs.back().kind, TScriptedPrompts::Kind::OpenFile);
    EXPECT_EQ(prompts.fileDialogs.back().text, "Open DNS Log");
    EXPECT_EQ(prompts.fileDialogs.back().filter, "Log Files (*.log)|*.log|All Files (*.*)|*.*");
    EXPECT_EQ(prompts.fileDialogs.back().defaultExt, "log");
    EXPECT_EQ(launcher.editorPaths, QStringList{path});
    EXPECT_EQ(Log(), "line 1\nline\t2");

    prompts.answers = {TPrompts::Answer::Yes};
    page->ActionClearDNSLog->trigger();
    EXPECT_EQ(Log(), "");
}

// A line or paragraph separator in a record shows escaped, so the record
// stays on its line and cannot add a line that looks like the program's own.
TEST_F(DNSResolverPageTest, LineSeparatorsInATextRecordAreEscaped) {
    TScriptedUdpServer server(kServer, [](const QByteArray& q) {
        QByteArray r = q;
        r[2] = char(0x81);
        r[3] = char(0x80);
        r.replace(6, 2, B::Be16(1));
        const QByteArray text = QString::fromUtf8("one\u2029:::two\u2028\u0085!").toUtf8();
        return r + B::Pointer(12) + B::Be16(16) + B::Be16(1) + B::Be32(60) +
               B::Be16(int(text.size()) + 1) + char(text.size()) + text;
    });
    ASSERT_NE(server.Port(), 0);
    page->ComboBoxDNS->setCurrentText("Text - Text Strings");
    Query(kServer, "www.velmora.test", server.Port());
    page->ButtonRunDns->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), ":Answer Records\n\n"
                     "www.velmora.test\t\tTTL: 60 sec.   Class:IN\n"
                     "Type:TXT\t\tone\\226\\128\\169:::two\\226\\128\\168\\194\\133!\n\n\n"
                     "Non-Authoritative response from DNS Server: 127.77.3.1");
    EXPECT_EQ(page->DNSMemo->document()->blockCount(), 7);
}

// The page against a real server: what the log shows for a mail-exchange
// query with its additional addresses.
TEST_F(DNSResolverPageTest, MailExchangeFromDnsmasq) {
    if (!TDnsmasqServer::Available())
        GTEST_SKIP() << "dnsmasq is not installed (scripts/packages.txt lists dnsmasq-base)";
    quint16 port = 0;
    {
        // A free port on our address, released for dnsmasq.
        TScriptedUdpServer probe(kServer, [](const QByteArray&) { return std::nullopt; });
        port = probe.Port();
    }
    TDnsmasqServer dnsmasq(kServer, port,
                           {"--local-ttl=60", "--mx-host=velmora.test,mx1.velmora.test,10",
                            "--host-record=mx1.velmora.test,127.0.0.25"});
    ASSERT_EQ(dnsmasq.Error(), QString());
    page->ComboBoxDNS->setCurrentText("MX Records - Mail Exchange");
    Query(kServer, "velmora.test", port);
    page->ButtonRunDns->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log(), ":Answer Records\n\n"
                     "velmora.test\t\tClass:IN   Type:MX   Preference: 10   TTL: 60 sec.\n"
                     "\t\t\tExchange: mx1.velmora.test\n\n\n"
                     ":Additional Records\n\n"
                     "mx1.velmora.test\t\tTTL: 60 sec.\tClass:IN   Type:A\t127.0.0.25\n\n\n"
                     "Authoritative response from DNS Server: 127.77.3.1");
}

} // namespace

namespace {

TEST_F(DNSResolverPageTest, ASettingsFileThatCannotBeWrittenIsReported) {
    ini = std::make_unique<TIniFile>(dir.filePath("missing/folder/velmora.ini"));
    page->ComboBoxDNSServer->setEditText(kServer);
    QTest::keyClick(page->ComboBoxDNSServer->lineEdit(), Qt::Key_Return);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to " + ini->FileName());
    EXPECT_EQ(prompts.messages[0].caption, "Velmora");

    // The server question's write goes through the same display.
    prompts.messages.clear();
    page->GetDNSAddress1Click(); // Cancel: nothing is written
    prompts.inputs = {QString("127.0.0.1")};
    page->GetDNSAddress1Click();
    QStringList shown;
    for (const auto& a : prompts.messages)
        if (a.kind == TScriptedPrompts::Kind::Message)
            shown << a.text;
    EXPECT_EQ(shown, QStringList{"Unable to write to " + ini->FileName()});
}

} // namespace
