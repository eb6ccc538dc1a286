#include "WebPages.h"

#include "devices/DeviceGrid.h"
#include "platform/TextRules.h"

#include <cstring>

namespace {

// Appends without Qt's general insert path, which dominates a large page.
void put(QByteArray& out, const char* text, qsizetype n) {
    const qsizetype at = out.size();
    if (out.capacity() < at + n)
        out.reserve(2 * (at + n));
    out.resize(at + n);
    std::memcpy(out.data() + at, text, size_t(n));
}

void put(QByteArray& out, const char* text) {
    put(out, text, qsizetype(std::strlen(text)));
}

void put(QByteArray& out, const QByteArray& bytes) {
    put(out, bytes.constData(), bytes.size());
}

constexpr char kEol[] = "\r\n";

void line(QByteArray& out, const char* text) {
    put(out, text);
    put(out, kEol, 2);
}

// Lines 1-27 of the grid and log pages; only the title differs.
void head(QByteArray& out, const char* title) {
    static const char* const before[] = {"<html>", "<head>"};
    static const char* const after[] = {
        "<style type=\"text/css\">",
        "<!--",
        "th",
        "{",
        "background-color:#0000A0;",
        "color:#00FFFF;",
        "}",
        "-->",
        "</style>",
        "<script language=\"Javascript\">",
        "function LmOver(elem) {",
        "elem.style.backgroundColor = '#B1FFB1';",
        "}",
        "function LmOut(elem) {",
        "elem.style.backgroundColor = '';",
        "}",
        "</script>",
        "</head>",
        "<body bgcolor=\"azure\" text=\"black\">",
        "<center>",
        "<input type=\"button\" value=\"Main Menu\" "
        "onClick=\"javascript:window.location='index.htm';\">",
        "</center>",
        "<br />",
        "<table border=\"1\" align=\"center\">",
    };
    for (const char* l : before)
        line(out, l);
    line(out, title);
    for (const char* l : after)
        line(out, l);
}

void captions(QByteArray& out, const char* caption, const QString& clockText) {
    line(out, caption);
    put(out, "<caption align=\"top\"><font size=\"+1\">Updated: ");
    WebPages::AppendEscaped(out, clockText);
    put(out, "</font></caption>");
    put(out, kEol);
}

void tail(QByteArray& out) {
    static const char* const lines[] = {
        "</table>",
        "<br />",
        "<center>",
        "<input type=\"button\" value=\"Main Menu\" "
        "onClick=\"javascript:window.location='index.htm';\">",
        "</center>",
        "</body>",
        "</html>",
    };
    for (const char* l : lines)
        line(out, l);
}

const char* rowOpener(bool white) {
    return white ? "<tr bgcolor=\"#FFFFFF\" onMouseOver=\"LmOver(this);\" "
                   "onMouseOut=\"LmOut(this);\">"
                 : "<tr bgcolor=\"#E6E6E6\" onMouseOver=\"LmOver(this);\" "
                   "onMouseOut=\"LmOut(this);\">";
}

void cell(QByteArray& out, const QString& text, const char* after = "") {
    put(out, "<td align=\"left\">");
    WebPages::AppendEscaped(out, text);
    put(out, after);
    put(out, "</td>");
}

} // namespace

namespace WebPages {

void AppendEscaped(QByteArray& out, const QString& text) {
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = p + text.size();
    auto plain = [](char32_t c) {
        return c >= 0x20 && c < 0x7f && c != '&' && c != '<' && c != '>' && c != '"';
    };
    while (p < end) {
        // Most text needs no escaping: copy a run of it in one step.
        const char16_t* run = p;
        while (p < end && plain(*p))
            ++p;
        if (p > run) {
            const qsizetype at = out.size(), n = p - run;
            if (out.capacity() < at + n)
                out.reserve(2 * (at + n));
            out.resize(at + n);
            char* d = out.data() + at;
            for (const char16_t* q = run; q < p; ++q)
                *d++ = char(*q);
            continue;
        }
        char32_t c = *p++;
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        switch (c) {
        case '&':
            put(out, "&amp;");
            break;
        case '<':
            put(out, "&lt;");
            break;
        case '>':
            put(out, "&gt;");
            break;
        case '"':
            put(out, "&quot;");
            break;
        default:
            put(out, "&#");
            put(out, QByteArray::number(uint(c)));
            put(out, ";", 1);
        }
    }
}

QByteArray ColorText(unsigned bgr) {
    const unsigned r = bgr & 0xff, g = (bgr >> 8) & 0xff, b = (bgr >> 16) & 0xff;
    return "#" + QByteArray::number((r << 16) | (g << 8) | b, 16).rightJustified(6, '0');
}

QByteArray IndexPage() {
    static const char* const lines[] = {
        "<html>",
        "<head>",
        "<title>Velmora Web Menu</title>",
        "<style type=\"text/css\">",
        "<!--",
        "th",
        "{",
        "color:#000000;",
        "}",
        "-->",
        "</style>",
        "<script language=\"Javascript\">",
        "function showwebpage() {",
        "with (document.forms[0]) {",
        "window.location=p_webpage[p_webpage.selectedIndex].value;",
        "}",
        "}",
        "</script>",
        "</head>",
        "<body bgcolor=\"azure\" text=\"black\">",
        "<br /><br /><br />",
        "<form method=\"POST\" action=\"javascript:showwebpage();\">",
        "<table border=\"1\" align=\"center\">",
        "<caption align=\"top\"><font size=\"+2\">Velmora Web Menu</font></caption>",
        "<tr>",
        "<th align=\"right\">Web Page to Show</th>",
        "<td align=\"left\">",
        "<select name=\"p_webpage\" size=\"1\">",
        "<option value=\"velmora.htm\">Velmora Grid</option>",
        "<option value=\"velmoralog.htm\">Velmora Log</option>",
        "</select>",
        "</td>",
        "</tr>",
        "<tr>",
        "<td colspan=\"2\" align=\"center\">",
        "<input type=\"submit\" value=\"Submit\">",
        "</td>",
        "</tr>",
        "</table>",
        "</form>",
        "</body>",
        "</html>",
    };
    QByteArray out;
    for (const char* l : lines)
        line(out, l);
    return out;
}

QByteArray GridPage(const TDeviceGrid& grid, unsigned upColor, unsigned downColor,
                    const QString& clockText) {
    QByteArray out;
    const int rows = grid.RowCount();
    out.reserve(2048 + qsizetype(rows) * 640);
    head(out, "<title>Velmora Grid Status</title>");
    captions(out, "<caption align=\"top\"><font size=\"+2\">Velmora Status</font></caption>",
             clockText);
    line(out, "<tr>");
    static const char* const headings[] = {
        "<th>IP Address</th>",
        "<th>Location</th>",
        "<th>Critical</th>",
        "<th>Status</th>",
        "<th>Since</th>",
        "<th>Packets<br />Sent</th>",
        "<th>Packets<br />Received</th>",
        "<th>% Ok</th>",
        "<th>Min. (msec)<br />Response</th>",
        "<th>Avg. (msec)<br />Response</th>",
        "<th>Max. (msec)<br />Response</th>",
    };
    for (const char* h : headings)
        line(out, h);
    line(out, "</tr>");

    const QByteArray up = ColorText(upColor), down = ColorText(downColor);
    static constexpr int kStatistics[] = {4, 6, 7, 8, 9, 10, 11};
    for (int r = 1; r < rows; ++r) {
        put(out, rowOpener(r % 2 == 1));
        for (int c = 0; c < 3; ++c)
            cell(out, grid.Cell(r, c));
        const QString status = grid.Cell(r, 3);
        put(out, "<td align=\"left\"><b><font color=\"");
        put(out, status == QLatin1String("DOWN") ? down : up);
        put(out, "\">");
        AppendEscaped(out, status);
        put(out, "</font></b>&nbsp;</td>");
        for (int c : kStatistics)
            cell(out, grid.Cell(r, c), "&nbsp;");
        put(out, "</tr>");
        put(out, kEol);
    }
    tail(out);
    return out;
}

QByteArray LogPage(const QStringList& logLines, const QString& clockText) {
    QByteArray out;
    head(out, "<title>Velmora Log</title>");
    captions(out, "<caption align=\"top\"><font size=\"+2\">Velmora Log</font></caption>",
             clockText);
    line(out, "<tr>");
    line(out, "<th>Status</th>");
    line(out, "<th>IP Address</th>");
    line(out, "<th>Since</th>");
    line(out, "<th>Location</th>");
    line(out, "</tr>");
    const QString tab(QLatin1Char('\t'));
    for (qsizetype i = 0; i < logLines.size(); ++i) {
        put(out, rowOpener(i % 2 == 0));
        for (const QString& field : SplitText(logLines[i], tab))
            cell(out, field);
        put(out, "</tr>");
        put(out, kEol);
    }
    tail(out);
    return out;
}

} // namespace WebPages
