#pragma once

#include <QString>

class TIniFile;

// The body a webhook receiver expects.
enum class TWebhookFormat { Json, Ntfy, Slack };

QString WebhookFormatText(TWebhookFormat format);
// The setting's text, in any case; anything else is Json.
TWebhookFormat WebhookFormatFromText(const QString& text);

// The keys of the "Push Settings" section. With no URL nothing is pushed.
struct TPushSettings {
    QString webhookURL;
    TWebhookFormat webhookFormat = TWebhookFormat::Json;
    QString webhookToken;
    bool desktopNotify = false;

    bool operator==(const TPushSettings&) const = default;

    static TPushSettings Read(const TIniFile& ini);
    // All four keys in one replacement of the file.
    void Write(TIniFile& ini) const;
    // A settings file that holds a token is made its owner's alone.
    void GuardToken(const TIniFile& ini) const;
};

// Why a webhook URL cannot be used; empty when it can (an empty URL can:
// it switches pushing off).
QString WebhookURLProblem(const QString& url);
