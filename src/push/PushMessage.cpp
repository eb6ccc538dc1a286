#include "PushMessage.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// A JSON string literal, quotes included.
QByteArray jsonString(const QString& s) {
    const QByteArray array = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonObject(const QList<QPair<const char*, QString>>& fields) {
    QByteArray out = "{";
    for (const auto& [name, value] : fields) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        out += name;
        out += "\":";
        out += jsonString(value);
    }
    out += '}';
    return out;
}

const QByteArray kJson = "application/json";

} // namespace

QByteArray HeaderValue(const QString& text) {
    QString clean = text;
    for (QChar& c : clean)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    const QByteArray utf8 = clean.toUtf8();
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80)
            return "=?UTF-8?B?" + utf8.toBase64() + "?=";
    return utf8;
}

TPushRequest ComposePush(TWebhookFormat format, const TPushEntry& e) {
    TPushRequest r;
    auto header = [&r](const char* name, const QByteArray& value) {
        r.headers.append({QByteArray(name), value});
    };
    switch (format) {
    case TWebhookFormat::Json:
        header("Content-Type", kJson);
        r.body = jsonObject({{"address", e.address},
                             {"location", e.location},
                             {"state", e.state},
                             {"time", e.time},
                             {"text", e.text}});
        break;
    case TWebhookFormat::Slack:
        header("Content-Type", kJson);
        r.body = jsonObject({{"text", e.text}});
        break;
    case TWebhookFormat::Ntfy: {
        const bool down = e.state == QLatin1String("DOWN");
        const bool up = e.state == QLatin1String("Up");
        header("Content-Type", "text/plain; charset=utf-8");
        QString title = QStringLiteral("Velmora: ") + e.state;
        if (!e.location.isEmpty())
            title += QLatin1Char(' ') + e.location;
        header("Title", HeaderValue(title));
        header("Priority", down ? "high" : "default");
        header("Tags", down ? "rotating_light" : up ? "white_check_mark" : "test_tube");
        r.body = e.text.toUtf8();
        break;
    }
    }
    return r;
}
