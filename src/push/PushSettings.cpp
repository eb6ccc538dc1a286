#include "PushSettings.h"

#include "platform/IniFile.h"

#include <QFile>
#include <QUrl>

namespace {

const QString kSection = QStringLiteral("Push Settings");
const QString kURL = QStringLiteral("WebhookURL");
const QString kFormat = QStringLiteral("WebhookFormat");
const QString kToken = QStringLiteral("WebhookToken");
const QString kDesktop = QStringLiteral("DesktopNotify");

} // namespace

QString WebhookFormatText(TWebhookFormat format) {
    switch (format) {
    case TWebhookFormat::Ntfy:
        return QStringLiteral("ntfy");
    case TWebhookFormat::Slack:
        return QStringLiteral("Slack");
    case TWebhookFormat::Json:
        break;
    }
    return QStringLiteral("JSON");
}

TWebhookFormat WebhookFormatFromText(const QString& text) {
    for (TWebhookFormat f : {TWebhookFormat::Ntfy, TWebhookFormat::Slack})
        if (text.trimmed().compare(WebhookFormatText(f), Qt::CaseInsensitive) == 0)
            return f;
    return TWebhookFormat::Json;
}

TPushSettings TPushSettings::Read(const TIniFile& ini) {
    TPushSettings p;
    p.webhookURL = ini.ReadString(kSection, kURL, QString()).trimmed();
    p.webhookFormat = WebhookFormatFromText(ini.ReadString(kSection, kFormat, QString()));
    p.webhookToken = ini.ReadString(kSection, kToken, QString());
    p.desktopNotify = ini.ReadBool(kSection, kDesktop, false);
    return p;
}

void TPushSettings::Write(TIniFile& ini) const {
    ini.Update([&] {
        ini.WriteString(kSection, kURL, webhookURL);
        ini.WriteString(kSection, kFormat, WebhookFormatText(webhookFormat));
        ini.WriteString(kSection, kToken, webhookToken);
        ini.WriteBool(kSection, kDesktop, desktopNotify);
    });
    GuardToken(ini);
}

void TPushSettings::GuardToken(const TIniFile& ini) const {
    // The token is a secret: a settings file the operator made readable to
    // others is closed again once it holds one.
    if (!webhookToken.isEmpty() && QFile::exists(ini.FileName()))
        QFile::setPermissions(ini.FileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString WebhookURLProblem(const QString& text) {
    if (text.trimmed().isEmpty())
        return QString();
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QStringLiteral("The Webhook URL must begin with http:// or https://.");
    if (url.host().isEmpty())
        return QStringLiteral("The Webhook URL names no host.");
    return QString();
}
