#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The texts the SMTP client puts on the wire. Everything that comes from
// the settings or a queue entry passes SingleLine first, so no text can end
// a command, start another or add a header.

// CR and LF (alone or as a pair) become one blank each.
QString SingleLine(const QString& text);

// "<" in front unless the text already holds one, ">" behind likewise.
QString Bracketed(const QString& address);

// The message after DATA, every line ended by CR LF, the body line
// dot-stuffed, closed by the "." line.
QByteArray SMTPMessageText(const QString& clockText, const QString& sender, const QString& subject,
                           const QString& recipient, const QString& details);

// The addresses to try: every value of the answer, authority and additional
// sections, in that order, that is a dotted address; duplicates kept.
QStringList MXCandidates(const QStringList& answer, const QStringList& authority,
                         const QStringList& additional);
