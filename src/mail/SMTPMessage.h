#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The texts the SMTP client puts on the wire. Everything of the settings or
// a queue entry that goes into the message passes SingleLine first, so no
// text can end the message or add a header; a command that would hold a
// line break is refused by the reply engine instead.

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
