#pragma once

#include "platform/IniFile.h"

#include <QString>
#include <QStringList>

// The section of the web page's keys.
inline const QString kWebPageSection = QStringLiteral("Web Page Settings");

// The texts and ticks of the "Velmora Grid/Log Web Page" controls. The
// session owns one; the page shows it and writes the operator's edits back,
// and the publication steps read it when they run (no Apply needed).
struct TWebPageSettings {
    bool publish = false; // "Output Velmora Grid to Web Page"
    QString hours = QStringLiteral("1");
    QString minutes = QStringLiteral("0");
    bool useFtp = false;
    QString ftpHost;
    QString ftpPort = QStringLiteral("21");
    QString ftpFolder;
    QString ftpUser;
    QString ftpPassword;
    bool anonymous = false;
    bool copyToDrive = false;
    QString drivePath;
    QString browserPath; // "WebBrowserSpecification"

    bool operator==(const TWebPageSettings&) const = default;

    static inline const QString kAnonymousUser = QStringLiteral("anonymous");
    static inline const QString kAnonymousPassword = QStringLiteral("visit@nowhere");

    // Ticking the anonymous box puts the anonymous pair in the user and
    // password boxes; clearing it empties both.
    void SetAnonymous(bool on);

    // Loads every key; a ticked anonymous box counts as ticking it.
    static TWebPageSettings Read(const TIniFile& ini);
    // Apply: the twelve keys in their order, in one replacement of the file
    // (not the browser, which its chooser writes).
    void Write(TIniFile& ini) const;
    static void WriteBrowser(TIniFile& ini, const QString& path);
};

// Where a publication run writes its three pages.
struct TPagePaths {
    QString index, grid, log;
    // The pages the run could not write ("Index", "Grid", "Log"): a file
    // still there is an older run's, and is not to be published as fresh.
    QStringList notWritten;

    // The one rule of both publishing steps for the pages they may take:
    // each written by this run and a regular file now.
    struct TCheck {
        QStringList notWritten; // in page order
        bool missing = false;   // another page is not a file (any more)
        bool Ok() const { return notWritten.isEmpty() && !missing; }
    };
    TCheck Check() const;

    // From a full path in the pages' folder named like the executable: that
    // folder with index.htm; the name with the extension replaced by (or,
    // without one, followed by) .htm; and without the extension, followed
    // by log.htm.
    static TPagePaths ForExecutable(const QString& executablePath);
};
