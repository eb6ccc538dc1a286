#include "SMTPMessage.h"

#include "platform/Addresses.h"

QString SingleLine(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return out;
}

QString Bracketed(const QString& address) {
    QString out = address;
    if (!out.contains(QLatin1Char('<')))
        out.prepend(QLatin1Char('<'));
    if (!out.contains(QLatin1Char('>')))
        out.append(QLatin1Char('>'));
    return out;
}

QByteArray SMTPMessageText(const QString& clockText, const QString& sender, const QString& subject,
                           const QString& recipient, const QString& details) {
    const QStringList lines{
        QStringLiteral("Date: ") + SingleLine(clockText),
        QStringLiteral("From: ") + SingleLine(sender),
        QStringLiteral("Subject: ") + SingleLine(subject).trimmed(),
        QStringLiteral("Reply-To: ") + SingleLine(sender),
        QStringLiteral("To: ") + SingleLine(recipient).trimmed(),
        QString(),
        SingleLine(details).trimmed(),
    };
    QByteArray text;
    for (const QString& line : lines) {
        // A line that begins with "." would otherwise end the message early.
        if (line.startsWith(QLatin1Char('.')))
            text += '.';
        text += line.toUtf8() + "\r\n";
    }
    text += ".\r\n";
    return text;
}

QStringList MXCandidates(const QStringList& answer, const QStringList& authority,
                         const QStringList& additional) {
    QStringList out;
    for (const QStringList* section : {&answer, &authority, &additional})
        for (const QString& value : *section)
            if (const auto a = InetAddr(value))
                out << DottedText(*a);
    return out;
}
