#include "web/WebPages.h"
#include "devices/DeviceGrid.h"
#include "web/WebSettings.h"

#include <gtest/gtest.h>

namespace {

// Expected pages are written with "\n" and compared with CR LF line ends.
QByteArray crlf(const char* text) {
    return QByteArray(text).replace("\n", "\r\n");
}

const char kHeadTop[] = "<html>\n<head>\n";
const char kHeadRest[] =
    R"(<style type="text/css">
<!--
th
{
background-color:#0000A0;
color:#00FFFF;
}
-->
</style>
<script language="Javascript">
function LmOver(elem) {
elem.style.backgroundColor = '#B1FFB1';
}
function LmOut(elem) {
elem.style.backgroundColor = '';
}
</script>
</head>
<body bgcolor="azure" text="black">
<center>
<input type="button" value="Main Menu" onClick="javascript:window.location='index.htm';">
</center>
<br />
<table border="1" align="center">
)";
const char kTail[] = R"(</table>
<br />
<center>
<input type="button" value="Main Menu" onClick="javascript:window.location='index.htm';">
</center>
</body>
</html>
)";
const char kGridHeader[] = R"(<tr>
<th>IP Address</th>
<th>Location</th>
<th>Critical</th>
<th>Status</th>
<th>Since</th>
<th>Packets<br />Sent</th>
<th>Packets<br />Received</th>
<th>% Ok</th>
<th>Min. (msec)<br />Response</th>
<th>Avg. (msec)<br />Response</th>
<th>Max. (msec)<br />Response</th>
</tr>
)";
const char kWhite[] =
    R"(<tr bgcolor="#FFFFFF" onMouseOver="LmOver(this);" onMouseOut="LmOut(this);">)";
const char kGrey[] =
    R"(<tr bgcolor="#E6E6E6" onMouseOver="LmOver(this);" onMouseOut="LmOut(this);">)";

QByteArray gridPage(const QByteArray& clock, const QByteArray& rows) {
    return crlf(kHeadTop) + crlf("<title>Velmora Grid Status</title>\n") + crlf(kHeadRest) +
           crlf(R"(<caption align="top"><font size="+2">Velmora Status</font></caption>
<caption align="top"><font size="+1">Updated: )") +
           clock + crlf("</font></caption>\n") + crlf(kGridHeader) + rows + crlf(kTail);
}

QByteArray logPage(const QByteArray& clock, const QByteArray& rows) {
    return crlf(kHeadTop) + crlf("<title>Velmora Log</title>\n") + crlf(kHeadRest) +
           crlf(R"(<caption align="top"><font size="+2">Velmora Log</font></caption>
<caption align="top"><font size="+1">Updated: )") +
           clock + crlf(R"(</font></caption>
<tr>
<th>Status</th>
<th>IP Address</th>
<th>Since</th>
<th>Location</th>
</tr>
)") + rows +
           crlf(kTail);
}

std::array<QString, Col::Count> row(std::initializer_list<const char*> cells) {
    std::array<QString, Col::Count> r;
    int i = 0;
    for (const char* c : cells)
        r[size_t(i++)] = QString::fromUtf8(c);
    return r;
}

// A device row as the page must show it: cells 0-2 plain, the status in
// its colour, 4 and 6-11 each followed by a no-break space.
QByteArray deviceRow(bool white, const std::array<const char*, 11>& shown, const char* color) {
    QByteArray out = white ? kWhite : kGrey;
    for (int c = 0; c < 3; ++c)
        out += QByteArray("<td align=\"left\">") + shown[size_t(c)] + "</td>";
    out += QByteArray("<td align=\"left\"><b><font color=\"") + color + "\">" + shown[3] +
           "</font></b>&nbsp;</td>";
    for (int c = 4; c < 11; ++c)
        out += QByteArray("<td align=\"left\">") + shown[size_t(c)] + "&nbsp;</td>";
    return out + "</tr>\r\n";
}

constexpr unsigned kBlue = 0xFF0000; // 0x00BBGGRR
constexpr unsigned kRed = 0x0000FF;

} // namespace

TEST(WebPages, IndexPageIsTheFixedMenu) {
    EXPECT_EQ(WebPages::IndexPage(), crlf(R"(<html>
<head>
<title>Velmora Web Menu</title>
<style type="text/css">
<!--
th
{
color:#000000;
}
-->
</style>
<script language="Javascript">
function showwebpage() {
with (document.forms[0]) {
window.location=p_webpage[p_webpage.selectedIndex].value;
}
}
</script>
</head>
<body bgcolor="azure" text="black">
<br /><br /><br />
<form method="POST" action="javascript:showwebpage();">
<table border="1" align="center">
<caption align="top"><font size="+2">Velmora Web Menu</font></caption>
<tr>
<th align="right">Web Page to Show</th>
<td align="left">
<select name="p_webpage" size="1">
<option value="velmora.htm">Velmora Grid</option>
<option value="velmoralog.htm">Velmora Log</option>
</select>
</td>
</tr>
<tr>
<td colspan="2" align="center">
<input type="submit" value="Submit">
</td>
</tr>
</table>
</form>
</body>
</html>
)"));
}

TEST(WebPages, EmptyGridHasCaptionsAndHeaderOnly) {
    TDeviceGrid grid;
    grid.SetGridHeader();
    // Before the first tick the clock text is empty.
    EXPECT_EQ(WebPages::GridPage(grid, kBlue, kRed, QString()), gridPage("", ""));
}

TEST(WebPages, GridRowsAlternateAndOnlyExactDownTakesTheDownColour) {
    TDeviceGrid grid;
    grid.SetGridHeader();
    grid.AppendRow(row({"10.0.0.1", "Core", "Yes", "DOWN", "Mon Jan 05, 2026 10:00:00", "x", "4",
                        "0", "0", "", "", "", "hidden"}));
    grid.AppendRow(
        row({"10.0.0.2", "Edge", "No", "down", "s", "", "4", "4", "100", "1", "2", "3"}));
    grid.AppendRow(row({"10.0.0.3", "", "", "Idle"}));
    grid.AppendRow(row({"", "", "", "Up"}));
    grid.AppendRow(row({})); // every cell empty, the status too

    const QByteArray rows =
        deviceRow(true,
                  {"10.0.0.1", "Core", "Yes", "DOWN", "Mon Jan 05, 2026 10:00:00", "4", "0", "0",
                   "", "", ""},
                  "#ff0000") +
        deviceRow(false, {"10.0.0.2", "Edge", "No", "down", "s", "4", "4", "100", "1", "2", "3"},
                  "#0000ff") +
        deviceRow(true, {"10.0.0.3", "", "", "Idle", "", "", "", "", "", "", ""}, "#0000ff") +
        deviceRow(false, {"", "", "", "Up", "", "", "", "", "", "", ""}, "#0000ff") +
        deviceRow(true, {"", "", "", "", "", "", "", "", "", "", ""}, "#0000ff");
    EXPECT_EQ(WebPages::GridPage(grid, kBlue, kRed, QStringLiteral("Thu Dec 10, 2026 19:00:00")),
              gridPage("Thu Dec 10, 2026 19:00:00", rows));
}

TEST(WebPages, TextsFromTheGridAndLogAreEscapedAsAscii) {
    TDeviceGrid grid;
    grid.SetGridHeader();
    grid.AppendRow(row(
        {"10.0.0.1", "<script>alert(1)</script> & \"Caf\xc3\xa9\" \xf0\x9f\x93\xa1", "", "Up"}));
    const QByteArray page = WebPages::GridPage(grid, kBlue, kRed, QStringLiteral("<b>"));
    EXPECT_TRUE(page.contains("<td align=\"left\">&lt;script&gt;alert(1)&lt;/script&gt; &amp; "
                              "&quot;Caf&#233;&quot; &#128225;</td>"));
    EXPECT_TRUE(page.contains("Updated: &lt;b&gt;</font>"));
    EXPECT_FALSE(page.contains("<script>alert"));
    for (char c : page)
        ASSERT_TRUE(uchar(c) < 0x80) << "not ASCII";

    // A line break inside a text never adds a line to the page.
    const QByteArray log = WebPages::LogPage({QStringLiteral("a\rb\nc")}, QString());
    EXPECT_EQ(log.count("\r\n"), logPage("", "").count("\r\n") + 1);
    EXPECT_TRUE(log.contains("a&#13;b&#10;c"));
}

TEST(WebPages, ColourTextIsLowercaseRgbFromBgr) {
    EXPECT_EQ(WebPages::ColorText(0xFF0000), "#0000ff");
    EXPECT_EQ(WebPages::ColorText(0x0000FF), "#ff0000");
    EXPECT_EQ(WebPages::ColorText(0x00CC8844), "#4488cc");
    EXPECT_EQ(WebPages::ColorText(0), "#000000");
}

TEST(WebPages, LogRowsSplitAtTabs) {
    const QStringList lines = {
        QStringLiteral("DOWN\t10.0.0.1\tThu Dec 10, 2026 19:00:00\tCore"),
        QStringLiteral("no tab here"),
        QString(),
        QStringLiteral("trailing\t"),
        QStringLiteral("a\t\tb"),
    };
    const QByteArray rows =
        QByteArray(kWhite) +
        "<td align=\"left\">DOWN</td><td align=\"left\">10.0.0.1</td>"
        "<td align=\"left\">Thu Dec 10, 2026 19:00:00</td><td align=\"left\">Core</td></tr>\r\n" +
        kGrey + "<td align=\"left\">no tab here</td></tr>\r\n" + kWhite + "</tr>\r\n" + kGrey +
        "<td align=\"left\">trailing</td></tr>\r\n" + kWhite +
        "<td align=\"left\">a</td><td align=\"left\"></td><td align=\"left\">b</td></tr>\r\n";
    EXPECT_EQ(WebPages::LogPage(lines, QStringLiteral("now")), logPage("now", rows));
}

TEST(WebPages, PagePathsFollowTheExecutableName) {
    struct Case {
        const char* exe;
        const char* index;
        const char* grid;
        const char* log;
    } cases[] = {
        {"/opt/v/velmora", "/opt/v/index.htm", "/opt/v/velmora.htm", "/opt/v/velmoralog.htm"},
        {"/opt/v/other", "/opt/v/index.htm", "/opt/v/other.htm", "/opt/v/otherlog.htm"},
        {"/opt/v/other.exe", "/opt/v/index.htm", "/opt/v/other.htm", "/opt/v/otherlog.htm"},
        {"/velmora", "/index.htm", "/velmora.htm", "/velmoralog.htm"},
    };
    for (const Case& c : cases) {
        const TPagePaths p = TPagePaths::ForExecutable(QString::fromUtf8(c.exe));
        EXPECT_EQ(p.index, QString::fromUtf8(c.index)) << c.exe;
        EXPECT_EQ(p.grid, QString::fromUtf8(c.grid)) << c.exe;
        EXPECT_EQ(p.log, QString::fromUtf8(c.log)) << c.exe;
    }
}
