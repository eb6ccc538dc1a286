// The device editing dialogs as the operator uses them: the grid popup, the
// Tasks menu, the fields, check boxes and buttons; and the window's file and
// colour choosers.
#include "GridColumn.h"
#include "TestFiles.h"
#include "UnwritableFolder.h"
#include "WindowTest.h"
#include "devices/DeviceEditDialogs.h"
#include "devices/DeviceGrid.h"
#include "devices/GridView.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorSetupPage.h"
#include "session/Session.h"
#include "ui/DialogPrompts.h"
#include "ui/SolidColorDialog.h"
#include "window/MainWindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct DeviceEditingWindowTest : TWindowTest {
    QString datPath = folder.file("net.dat");
    QString dat() const { return datPath; }

    void SetUp() override { open("10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n"); }

    // The window started afresh on a data file with these lines.
    void open(const QByteArray& devices) {
        form.reset();
        WriteTestFile(dat(), devices);
        WriteTestFile(folder.file("velmora.ini"),
                      "[VELMORA Settings]\r\nDATFile=" + dat().toUtf8() +
                          "\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
        OpenWindow();
    }

    template <class Dialog> Dialog* openedBy(const char* action) {
        QAction* a = Named<QAction>(*form, action);
        if (!a)
            return nullptr;
        EXPECT_TRUE(a->isEnabled()) << action;
        a->trigger();
        auto* d = form->findChild<Dialog*>();
        EXPECT_NE(d, nullptr) << action;
        if (d) {
            EXPECT_TRUE(d->isVisible() && d->isModal());
        }
        return d;
    }
    // The control a caption names: the buddy of the label with that text,
    // else the control a screen reader announces with it.
    static QWidget* byCaption(QWidget* root, const QString& caption) {
        for (QLabel* l : root->findChildren<QLabel*>())
            if (l->text().remove('&') == caption && l->buddy())
                return l->buddy();
        for (QWidget* w : root->findChildren<QWidget*>()) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            if (a && !qobject_cast<QLabel*>(w) && a->text(QAccessible::Name) == caption)
                return w;
        }
        ADD_FAILURE() << "no control named " << caption.toStdString();
        return nullptr;
    }
    void select(int row) {
        auto* sg = Named<TGridView>(*form, "sg");
        sg->setCurrentIndex(form->Session().Grid().index(row - 1, 1));
        ASSERT_EQ(form->Session().SelectedRow(), row);
    }
    static void closes(QPointer<QDialog> d) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(d.isNull()) << "destroyed when closed";
    }

    // The operator's three changes, each carried into the data file.
    void deleteRow(int row) {
        select(row);
        prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::Yes};
        auto* sg = Named<TGridView>(*form, "sg");
        sg->PopupMenuVelmoraGridPopup();
        sg->ActionDeleteGridDevice->trigger();
    }
    void editRow(int row, const QString& location) {
        select(row);
        auto* d = openedBy<TDlgEditGridDevice>("ActionEditGridDevice");
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(d->CheckBoxUpdateDat->isChecked());
        d->EditLocation->setText(location);
        d->BtnUpdateDevice->click();
        closes(d);
    }
    void insert(const QString& address, const QString& location) {
        auto* d = openedBy<TDlgInsertGridDevice>("ActionInsertGridDevice");
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(d->CheckBoxAppendDat->isChecked());
        d->EditIP->setText(address);
        d->EditLocation->setText(location);
        d->BtnAddDevice->click();
        d->BtnDone->click();
        closes(d);
    }
    QStringList locations() const { return GridColumn(form->Session().Grid(), Col::Location); }
    QStringList captions() const { return prompts.Captions(); }
};

TEST_F(DeviceEditingWindowTest, InsertDialogAddsDevicesAndStaysOpen) {
    auto* d = openedBy<TDlgInsertGridDevice>("ActionInsertGridDevice");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Insert Device in Velmora Grid");
    EXPECT_EQ(byCaption(d, "IP Address:"), d->EditIP);
    EXPECT_EQ(byCaption(d, "Location:"), d->EditLocation);
    EXPECT_EQ(byCaption(d, "Critical Site:"), d->ComboBoxCritical);
    EXPECT_EQ(byCaption(d, "Only applicable for EMAIL delivery"), d->ComboBoxCritical);
    EXPECT_EQ(byCaption(d, "Append to file: net.dat"), d->CheckBoxAppendDat);
    EXPECT_EQ(byCaption(d, "Add"), d->BtnAddDevice);
    EXPECT_EQ(byCaption(d, "Done"), d->BtnDone);
    EXPECT_EQ(d->focusWidget(), d->EditIP);
    EXPECT_TRUE(d->CheckBoxAppendDat->isChecked());
    EXPECT_EQ(d->ComboBoxCritical->currentText(), "No");
    EXPECT_EQ(d->ComboBoxCritical->count(), 2);
    EXPECT_EQ(d->ComboBoxCritical->itemText(1), "Yes");

    // The record's widths: longer typing is cut.
    QTest::keyClicks(d->EditIP, "10.100.100.1001234");
    EXPECT_EQ(d->EditIP->text(), "10.100.100.1001");
    d->EditLocation->setText(QString(300, 'x'));
    EXPECT_EQ(d->EditLocation->text().size(), 254);

    // A refusal keeps the typed values.
    d->EditIP->clear();
    QTest::keyClicks(d->EditIP, "10.0.0.1");
    QTest::keyClicks(d->EditLocation, "again");
    d->EditLocation->setText("again");
    d->BtnAddDevice->click();
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().caption, "Duplicate IP Address");
    EXPECT_EQ(d->EditIP->text(), "10.0.0.1");

    d->EditIP->setText("10.0.0.3");
    d->EditLocation->setText("gamma");
    d->ComboBoxCritical->setCurrentIndex(1);
    d->BtnAddDevice->click();
    ASSERT_EQ(form->Session().Grid().RowCount(), 4);
    EXPECT_EQ(form->Session().Grid().Cell(3, Col::Critical), "Yes");
    EXPECT_TRUE(d->EditIP->text().isEmpty() && d->EditLocation->text().isEmpty());
    EXPECT_EQ(d->ComboBoxCritical->currentText(), "No");
    EXPECT_FALSE(d->CheckBoxAppendDat->isChecked()) << "unticked for the next device";
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n"
                                   "10.0.0.3\tgamma\tYes\r\n");

    d->EditIP->setText("10.0.0.4");
    d->EditLocation->setText("delta");
    QTest::keyClick(d->EditLocation, Qt::Key_Return); // Add is the default button
    EXPECT_EQ(form->Session().Grid().RowCount(), 5);
    EXPECT_EQ(ReadTestFile(dat()).count("\r\n"), 3) << "not ticked: the file stays";
    d->BtnDone->click();
    closes(d);
}

TEST_F(DeviceEditingWindowTest, EditDialogShowsTheSelectedRowAndUpdatesIt) {
    select(2);
    auto* d = openedBy<TDlgEditGridDevice>("ActionEditGridDevice");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Update Grid Device");
    EXPECT_EQ(d->EditIP->text(), "10.0.0.2");
    EXPECT_EQ(d->EditLocation->text(), "beta");
    EXPECT_EQ(d->ComboBoxCritical->currentText(), "Yes");
    EXPECT_EQ(byCaption(d, "IP Address:"), d->EditIP);
    EXPECT_EQ(byCaption(d, "Update file: net.dat"), d->CheckBoxUpdateDat);
    EXPECT_TRUE(d->CheckBoxUpdateDat->isChecked());
    EXPECT_TRUE(d->BtnUpdateDevice->isDefault());
    EXPECT_EQ(d->CancelBtn->text(), "Done");
    d->EditLocation->setText("beta moved");
    d->ComboBoxCritical->setCurrentIndex(0);
    d->BtnUpdateDevice->click();
    closes(d);
    EXPECT_EQ(form->Session().Grid().Cell(2, Col::Location), "beta moved");
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.2\tbeta moved\tNo\r\n");

    // A refused edit closes the dialog too.
    d = openedBy<TDlgEditGridDevice>("ActionEditGridDevice");
    ASSERT_NE(d, nullptr);
    d->EditIP->setText("10.0.0");
    d->BtnUpdateDevice->click();
    EXPECT_EQ(prompts.messages.back().caption, "Invalid IP Address Syntax");
    closes(d);
}

TEST_F(DeviceEditingWindowTest, DeleteFromThePopupAsksAndRewritesTheFile) {
    select(1);
    prompts.answers = {TPrompts::Answer::Yes, TPrompts::Answer::Yes};
    auto* sg = Named<TGridView>(*form, "sg");
    sg->PopupMenuVelmoraGridPopup();
    ASSERT_TRUE(sg->ActionDeleteGridDevice->isVisible() && sg->ActionDeleteGridDevice->isEnabled());
    sg->ActionDeleteGridDevice->trigger();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "Are you sure you want to delete: 10.0.0.1 ?");
    // Both questions are plain boxes, without the question-mark icon.
    EXPECT_EQ(prompts.messages[0].icon, TPrompts::Icon::None);
    EXPECT_EQ(prompts.messages[1].caption, "Velmora DAT File Update");
    EXPECT_EQ(prompts.messages[1].icon, TPrompts::Icon::None);
    EXPECT_EQ(form->Session().Grid().RowCount(), 2);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.2\tbeta\tYes\r\n");
    // One device left: the entry is hidden, edit and insert stay.
    sg->PopupMenuVelmoraGridPopup();
    EXPECT_FALSE(sg->ActionDeleteGridDevice->isVisible());
    EXPECT_TRUE(sg->ActionEditGridDevice->isVisible() && sg->ActionEditGridDevice->isEnabled());
    EXPECT_TRUE(sg->ActionInsertGridDevice->isVisible() && sg->ActionInsertGridDevice->isEnabled());
}

TEST_F(DeviceEditingWindowTest, MergeDialogFromTheTasksMenu) {
    WriteTestFile(folder.file("more.dat"), "10.0.0.2\tbeta\r\n10.0.0.9\tomega\r\n");
    QAction* entry = Named<QAction>(*form, "MergeintoDataGrid1");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), "&Insert into Data Grid...");
    auto* d = openedBy<TDlgMergeIntoDevGrid>("MergeintoDataGrid1");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "Merge File Into Device Grid");
    EXPECT_EQ(byCaption(d, "File to Merge:"), d->EditMergeFile);
    EXPECT_EQ(byCaption(d, "Click to Select the File"), d->SpeedButton1);
    EXPECT_EQ(d->SpeedButton1->toolTip(), "Click to Select the File");
    EXPECT_EQ(byCaption(d, "Append to file: net.dat"), d->CheckBoxUpdateDat);
    EXPECT_TRUE(d->OKBtn->isDefault());
    prompts.fileNames = {folder.file("more.dat")};
    d->SpeedButton1->click();
    EXPECT_EQ(prompts.fileDialogTitles, QStringList{"Select a File to Merge Into the Data Grid"});
    EXPECT_EQ(d->EditMergeFile->text(), folder.file("more.dat"));
    d->OKBtn->click();
    closes(d);
    ASSERT_EQ(form->Session().Grid().RowCount(), 4);
    EXPECT_EQ(form->Session().Grid().Cell(3, Col::Address), "10.0.0.9");
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n"
                                   "10.0.0.9\tomega\tNo\r\n");
}

TEST_F(DeviceEditingWindowTest, SaveStateOnExitHidesEveryFileCheckBox) {
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->cbSaveState->setChecked(true);
    select(1);
    auto* insert = openedBy<TDlgInsertGridDevice>("ActionInsertGridDevice");
    ASSERT_NE(insert, nullptr);
    EXPECT_TRUE(insert->CheckBoxAppendDat->isHidden());
    insert->EditIP->setText("10.0.0.3");
    insert->EditLocation->setText("gamma");
    insert->CheckBoxAppendDat->setChecked(true); // hidden: never counts
    insert->BtnAddDevice->click();
    EXPECT_EQ(form->Session().Grid().RowCount(), 4);
    insert->BtnDone->click();
    auto* edit = openedBy<TDlgEditGridDevice>("ActionEditGridDevice");
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->CheckBoxUpdateDat->isHidden());
    edit->BtnUpdateDevice->click();
    auto* merge = openedBy<TDlgMergeIntoDevGrid>("MergeintoDataGrid1");
    ASSERT_NE(merge, nullptr);
    EXPECT_TRUE(merge->CheckBoxUpdateDat->isHidden());
    EXPECT_FALSE(merge->CheckBoxUpdateDat->isChecked());
    merge->CancelBtn->click();
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n");
}

TEST_F(DeviceEditingWindowTest, AddDuringAProbeKeepsTheFieldsAndAddsAtItsEnd) {
    QSemaphore gate;
    form->Session().Cycle().SetEcho([&gate](const QString&, int) {
        gate.acquire();
        TEchoResult r;
        r.replied = true;
        return r;
    });
    TMonitorSettings m = form->Session().Monitor();
    m.packetsPerSite = 1;
    form->Session().SetMonitorSettings(m);
    form->Session().Cycle().TimerInterSiteTimer();
    form->Session().Cycle().StopTimers();
    form->Session().Cycle().TimerInterPacketTimer();
    // A failed check still lets the worker end.
    struct Release {
        QSemaphore& g;
        ~Release() { g.release(8); }
    } release{gate};
    ASSERT_TRUE(form->Session().Running().probe);

    auto* d = openedBy<TDlgInsertGridDevice>("ActionInsertGridDevice");
    ASSERT_NE(d, nullptr);
    d->EditIP->setText("10.0.0.3");
    d->EditLocation->setText("gamma");
    d->BtnAddDevice->click();
    EXPECT_EQ(form->Session().Grid().RowCount(), 3) << "not under a probe";
    EXPECT_EQ(d->EditIP->text(), "10.0.0.3") << "kept until it is added";
    EXPECT_TRUE(d->CheckBoxAppendDat->isChecked());

    QSignalSpy done(&form->Session().Cycle(), &TMonitorCycle::packetDone);
    gate.release();
    ASSERT_TRUE(done.wait(5000));
    ASSERT_EQ(form->Session().Grid().RowCount(), 4);
    EXPECT_EQ(form->Session().Grid().Cell(3, Col::Location), "gamma");
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n"
                                   "10.0.0.3\tgamma\tNo\r\n");
    d->BtnDone->click();
}

TEST_F(DeviceEditingWindowTest, EditWithoutASelectedDeviceOpensNothing) {
    ASSERT_EQ(form->Session().SelectedRow(), 0);
    Named<QAction>(*form, "ActionEditGridDevice")->trigger();
    EXPECT_EQ(form->findChild<TDlgEditGridDevice*>(), nullptr);
}

// The operator edited the file by hand while the monitor ran: a device added,
// typing errors, a comment. Deleting a device takes out its line alone.
TEST_F(DeviceEditingWindowTest, DeleteKeepsTheLinesOfTheFileEditedByHand) {
    const QByteArray byHand = "10.0.0.7\thand added\r\n"
                              "10.0.0.300\ttypo in the address\r\n"
                              "10.0.0.8 spaces for a tab\r\n"
                              "10.0.0.1\talpha\tYes\tfour fields\r\n"
                              "\t10.0.0.9\tno address\r\n"
                              "; spare\r\n"
                              "short\r\n";
    QFile f(dat());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(byHand);
    f.close();
    deleteRow(1); // alpha
    ASSERT_EQ(locations(), QStringList{"beta"});
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.2\tbeta\tYes\r\n" + byHand);
}

// Rows that share an address are told apart by their location; like rows
// (address and location the same) keep a line each.
TEST_F(DeviceEditingWindowTest, DeleteAndEditChangeTheLineOfThatRowOnly) {
    open("10.0.0.1\talpha\r\n"
         "10.0.0.1\tbackup\tYes\r\n"
         "10.0.0.2\tbeta\r\n"
         "10.0.0.2\tbeta\tYes\r\n");
    ASSERT_EQ(locations(), (QStringList{"alpha", "backup", "beta", "beta"}));
    editRow(2, "backup moved");
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\talpha\r\n"
                                   "10.0.0.1\tbackup moved\tYes\r\n"
                                   "10.0.0.2\tbeta\r\n"
                                   "10.0.0.2\tbeta\tYes\r\n");
    deleteRow(1);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tbackup moved\tYes\r\n"
                                   "10.0.0.2\tbeta\r\n"
                                   "10.0.0.2\tbeta\tYes\r\n");
    // Of the two like rows, the critical one goes, and the line with its flag.
    const int critical = form->Session().Grid().Cell(2, Col::Critical) == "Yes" ? 2 : 3;
    deleteRow(critical);
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tbackup moved\tYes\r\n"
                                   "10.0.0.2\tbeta\r\n");
    EXPECT_EQ(captions(),
              (QStringList{"Delete Velmora Device from Grid", "Velmora DAT File Update",
                           "Delete Velmora Device from Grid", "Velmora DAT File Update"}));
}

// A new line goes into the file in the encoding the file was read in.
TEST_F(DeviceEditingWindowTest, NewLinesTakeTheEncodingOfTheFile) {
    const struct {
        const char* name;
        QByteArray file;
        QString typed;
        QByteArray added;
    } cases[] = {
        {"Latin-1", "10.0.0.1\tK\xf6ln\r\n", "M\u00fcnchen", "10.0.0.3\tM\xfcnchen\tNo\r\n"},
        {"UTF-8", "10.0.0.1\tK\xc3\xb6ln\r\n", "M\u00fcnchen", "10.0.0.3\tM\xc3\xbcnchen\tNo\r\n"},
        {"ASCII", "10.0.0.1\tKoeln\r\n", "M\u00fcnchen", "10.0.0.3\tM\xc3\xbcnchen\tNo\r\n"},
        // Latin-1 has no euro sign: UTF-8 keeps the text whole.
        {"Latin-1, text beyond it", "10.0.0.1\tK\xf6ln\r\n", "Kasse \u20ac",
         "10.0.0.3\tKasse \xe2\x82\xac\tNo\r\n"},
    };
    for (const auto& c : cases) {
        open(c.file);
        insert("10.0.0.3", c.typed);
        EXPECT_EQ(ReadTestFile(dat()), c.file + c.added) << c.name;
    }

    open("10.0.0.1\tK\xf6ln\r\n10.0.0.2\tM\xfcnchen\tYes\r\n");
    ASSERT_EQ(locations(), (QStringList{"K\u00f6ln", "M\u00fcnchen"}));
    editRow(1, "K\u00f6ln S\u00fcd");
    EXPECT_EQ(ReadTestFile(dat()), "10.0.0.1\tK\xf6ln S\xfc"
                                   "d\tNo\r\n10.0.0.2\tM\xfcnchen\tYes\r\n");
}

// The data file's folder cannot be written, the file can: an appended line
// goes in place; what cannot be written at all is said.
TEST_F(DeviceEditingWindowTest, DataFileInAReadOnlyFolder) {
    ASSERT_TRUE(QDir().mkpath(folder.file("ro")));
    datPath = folder.file("ro/net.dat");
    const QByteArray lines = "10.0.0.1\talpha\r\n10.0.0.2\tbeta\tYes\r\n";
    open(lines);
    TUnwritableFolder readOnly(folder.file("ro"));
    ASSERT_TRUE(readOnly.ok);

    insert("10.0.0.3", "gamma");
    EXPECT_EQ(ReadTestFile(dat()), lines + "10.0.0.3\tgamma\tNo\r\n");
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text.toStdString();
    EXPECT_EQ(QDir(folder.file("ro")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"net.dat"});

    // The rewrite of an edit or a delete needs a new file beside the old:
    // refused, said, and the file stays.
    const QByteArray before = ReadTestFile(dat());
    const QString unable = "Unable to write to " + dat();
    editRow(1, "alpha moved");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, unable);
    EXPECT_EQ(prompts.messages[0].caption, "Velmora");
    deleteRow(2);
    ASSERT_EQ(prompts.messages.size(), 4u);
    EXPECT_EQ(prompts.messages[3].text, unable);
    EXPECT_EQ(ReadTestFile(dat()), before);

    // Nor may the file be written now: the append fails too, and says so.
    ASSERT_EQ(::chmod(QFile::encodeName(dat()).constData(), 0444), 0);
    insert("10.0.0.4", "delta");
    ASSERT_EQ(prompts.messages.size(), 5u);
    EXPECT_EQ(prompts.messages[4].text, unable);
    EXPECT_EQ(form->Session().Grid().Cell(form->Session().Grid().RowCount() - 1, Col::Location),
              "delta")
        << "the grid keeps the device";
    EXPECT_EQ(ReadTestFile(dat()), before);
    EXPECT_EQ(QDir(folder.file("ro")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"net.dat"});
}

// The window's own choosers, behind the prompts interface.
TEST(DialogPromptsTest, OpenDialogsTakeTheirDefaultExtension) {
    QTemporaryDir dir;
    WriteTestFile(dir.filePath("hosts.dat"), "10.0.0.1\talpha\r\n");
    WriteTestFile(dir.filePath("monitor.log"), "line\r\n");
    TDialogPrompts dialogs;
    for (auto [typed, ext, expected] :
         {std::tuple{"hosts", "dat", "hosts.dat"}, std::tuple{"monitor", "log", "monitor.log"}}) {
        QString suffix;
        QTimer::singleShot(0, [&, typed = typed] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            suffix = d->defaultSuffix();
            auto* name = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(typed);
            QTest::keyClick(name, Qt::Key_Return);
        });
        // A dialog that refuses the name would stay open (behind a box
        // saying so): close whatever is open then.
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        guard.start(1000);
        const QString got = dialogs.OpenFileName("Open", "Files (*.*)|*.*", ext, dir.path());
        EXPECT_EQ(suffix, ext);
        EXPECT_EQ(got, dir.filePath(expected)) << typed;
    }
}

TEST(DialogPromptsTest, ColourChooserOffersSolidColoursWithoutACustomPart) {
    TDialogPrompts dialogs;
    const QColor initial = TSolidColorDialog::Colors().value(5);
    QString title;
    int swatches = 0;
    bool preset = false, custom = false, translucent = false;
    QTimer::singleShot(0, [&] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        title = d->objectName();
        for (QToolButton* b : d->findChildren<QToolButton*>()) {
            ++swatches;
            preset |= b->isChecked() && b->accessibleName() == initial.name();
        }
        for (QWidget* w : d->findChildren<QWidget*>()) {
            auto* a = QAccessible::queryAccessibleInterface(w);
            custom |= a && a->text(QAccessible::Name).contains("Custom", Qt::CaseInsensitive);
            custom |= qobject_cast<QLineEdit*>(w) != nullptr; // no colour typed in
        }
        for (const QColor& c : TSolidColorDialog::Colors())
            translucent |= c.alpha() != 255;
        d->findChild<QToolButton*>("swatch9")->click();
        QTest::keyClick(d, Qt::Key_Return);
    });
    const auto chosen = dialogs.ChooseColor(initial.rgba());
    EXPECT_EQ(title, "colordlg");
    EXPECT_EQ(swatches, 48);
    EXPECT_TRUE(preset);
    EXPECT_FALSE(custom);
    EXPECT_FALSE(translucent);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QColor::fromRgba(*chosen), TSolidColorDialog::Colors().value(9));

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(dialogs.ChooseColor(initial.rgba()).has_value()) << "cancelled";
}

} // namespace
