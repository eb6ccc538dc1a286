// The "Velmora Grid/Log Web Page" tab and exploring its pages.
#include "MainWindow.h"

#include "platform/ErrorGuard.h"
#include "platform/Launcher.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "web/Publisher.h"
#include "web/WebPageTab.h"
#include "web/WebSettings.h"

#include <QFileInfo>
#include <QUrl>

void TForm1::bindWeb() {
    connect(WebPage, &TWebPageTab::applyClicked, this,
            [this] { Guarded([this] { session->ButtonApplyWebPageClick(); }); });
    connect(WebPage, &TWebPageTab::helpClicked, this, [this] { HelpContext(300); });
    connect(WebPage, &TWebPageTab::exploreClicked, this,
            [this] { Guarded([this] { ActionIExploreWebPagesExecute(); }); });
    // Loading the settings fills the boxes.
    connect(session, &TSession::MonitorSettingsLoaded, WebPage, &TWebPageTab::ShowBoxes);
}

void TForm1::ActionIExploreWebPagesExecute() {
    // Always the local index page, never a published copy.
    const QString index = session->IndexPagePath();
    if (!QFileInfo::exists(index)) {
        Prompts().Message(index + QStringLiteral(" not found."), QStringLiteral("Web Not Found"),
                          TPrompts::Buttons::Ok, TPrompts::Icon::Information);
        return;
    }
    auto chooseBrowser = [this] {
        const QString chosen = Prompts().OpenFileName(
            QStringLiteral("Find Web Browser - Select the Web Browser you "
                           "wish to use."),
            QStringLiteral("Program File (*)|*"), QString(), QStringLiteral("/usr/bin"));
        if (!chosen.isEmpty())
            FileOpenWebBrowserAccept(chosen);
    };
    const QString browser = session->Publisher().Boxes().browserPath;
    if (browser.isEmpty()) {
        // No browser chosen: the desktop's own, else the operator picks one.
        if (!Launcher().OpenBrowser(QUrl::fromLocalFile(index).toString(), QString()))
            chooseBrowser();
        return;
    }
    const QFileInfo program(browser);
    // A stored browser that has gone does not fall back to the default.
    if (!program.isFile() || !program.isExecutable())
        chooseBrowser();
    else
        Launcher().OpenBrowser(index, browser);
}

void TForm1::FileOpenWebBrowserAccept(const QString& browser) {
    session->Publisher().Boxes().browserPath = browser;
    TWebPageSettings::WriteBrowser(session->Settings(), browser);
    ActionIExploreWebPagesExecute();
}
