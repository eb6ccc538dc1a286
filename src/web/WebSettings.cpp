#include "WebSettings.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString kPublish = QStringLiteral("WebPageCheckBoxVelmora");
const QString kHours = QStringLiteral("WebPageEditHours");
const QString kMinutes = QStringLiteral("WebPageEditMin");
const QString kUseFtp = QStringLiteral("CheckBoxWebPageFTP");
const QString kHost = QStringLiteral("EditWebPageFTPHost");
const QString kPort = QStringLiteral("EditWebPageFTPPort");
const QString kFolder = QStringLiteral("EditWebPageFTPFolder");
const QString kUser = QStringLiteral("EditWebPageFTPUserID");
const QString kPassword = QStringLiteral("EditWebPageFTPPassword");
const QString kAnonymous = QStringLiteral("CheckBoxAnonymousAccount");
const QString kCopy = QStringLiteral("CheckBoxWebPageLocalDrive");
const QString kDrivePath = QStringLiteral("EditWebPageDrivePath");
const QString kBrowser = QStringLiteral("WebBrowserSpecification");

} // namespace

void TWebPageSettings::SetAnonymous(bool on) {
    anonymous = on;
    ftpUser = on ? kAnonymousUser : QString();
    ftpPassword = on ? kAnonymousPassword : QString();
}

TWebPageSettings TWebPageSettings::Read(const TIniFile& ini) {
    const QString& s = kWebPageSection;
    TWebPageSettings w;
    w.publish = ini.ReadBool(s, kPublish, false);
    // The boxes show the stored text; the up-downs hold them in range.
    w.hours = QString::number(std::clamp(ini.ReadInteger(s, kHours, 1), 0, 23));
    w.minutes = QString::number(std::clamp(ini.ReadInteger(s, kMinutes, 0), 0, 59));
    w.useFtp = ini.ReadBool(s, kUseFtp, false);
    w.ftpHost = ini.ReadString(s, kHost, QString());
    w.ftpPort = ini.ReadString(s, kPort, QStringLiteral("21"));
    w.ftpFolder = ini.ReadString(s, kFolder, QString());
    w.ftpUser = ini.ReadString(s, kUser, QString());
    w.ftpPassword = ini.ReadString(s, kPassword, QString());
    if (ini.ReadBool(s, kAnonymous, false))
        w.SetAnonymous(true);
    w.copyToDrive = ini.ReadBool(s, kCopy, false);
    w.drivePath = ini.ReadString(s, kDrivePath, QString());
    w.browserPath = ini.ReadString(s, kBrowser, QString());
    return w;
}

void TWebPageSettings::Write(TIniFile& ini) const {
    const QString& s = kWebPageSection;
    ini.Update([&] {
        ini.WriteBool(s, kPublish, publish);
        ini.WriteString(s, kHours, hours);
        ini.WriteString(s, kMinutes, minutes);
        ini.WriteBool(s, kUseFtp, useFtp);
        ini.WriteString(s, kHost, ftpHost);
        ini.WriteString(s, kPort, ftpPort);
        ini.WriteString(s, kFolder, ftpFolder);
        ini.WriteString(s, kUser, ftpUser);
        ini.WriteString(s, kPassword, ftpPassword);
        ini.WriteBool(s, kAnonymous, anonymous);
        ini.WriteBool(s, kCopy, copyToDrive);
        ini.WriteString(s, kDrivePath, drivePath);
    });
}

void TWebPageSettings::WriteBrowser(TIniFile& ini, const QString& path) {
    ini.WriteString(kWebPageSection, kBrowser, path);
}

TPagePaths TPagePaths::ForExecutable(const QString& executablePath) {
    const QFileInfo exe(executablePath);
    QString folder = exe.absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QString stem = exe.fileName();
    const qsizetype dot = stem.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        stem.truncate(dot);
    return {folder + QStringLiteral("index.htm"),
            folder + stem + QStringLiteral(".htm"),
            folder + stem + QStringLiteral("log.htm"),
            {}};
}

TPagePaths::TCheck TPagePaths::Check() const {
    TCheck c;
    const std::pair<const QString*, QLatin1String> all[] = {{&index, QLatin1String("Index")},
                                                            {&grid, QLatin1String("Grid")},
                                                            {&log, QLatin1String("Log")}};
    for (const auto& [path, name] : all) {
        if (notWritten.contains(name))
            c.notWritten << name;
        else if (!QFileInfo(*path).isFile())
            c.missing = true;
    }
    return c;
}
