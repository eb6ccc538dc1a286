#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TDeviceGrid;

// The three static status pages as bytes: ASCII only, CR LF after every
// line. Texts taken from the grid, the log and the clock are escaped (&, <,
// > and ") and every character outside printable ASCII becomes a numeric
// character reference (control characters too, so no text adds a line), so a page renders the same
// under any character-set guess and a location can never inject markup.
namespace WebPages {

QByteArray IndexPage();
// Colours as 0x00BBGGRR; a status cell of exactly "DOWN" takes downColor,
// every other status upColor.
QByteArray GridPage(const TDeviceGrid& grid, unsigned upColor, unsigned downColor,
                    const QString& clockText);
QByteArray LogPage(const QStringList& logLines, const QString& clockText);

// "#rrggbb" for a colour held as 0x00BBGGRR.
QByteArray ColorText(unsigned bgr);
// `text` as HTML character data in ASCII.
void AppendEscaped(QByteArray& out, const QString& text);

} // namespace WebPages
