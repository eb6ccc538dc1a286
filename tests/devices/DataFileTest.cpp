#include "devices/DataFile.h"
#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "platform/ClockTexts.h"
#include "platform/TextOrder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace {

// Address, location, critical flag of one device row.
using Device = std::array<QString, 3>;
using Devices = std::vector<Device>;

const QDateTime kNow(QDate(2006, 9, 5), QTime(19, 33, 31));
const Device kLoopback = {"127.0.0.1", "loopback", "No"};

Devices devicesOf(const TDeviceGrid& grid) {
    Devices out;
    for (int r = 1; r <= grid.DeviceCount(); ++r)
        out.push_back(
            {grid.Cell(r, Col::Address), grid.Cell(r, Col::Location), grid.Cell(r, Col::Critical)});
    return out;
}

class DataFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TDeviceGrid grid;

    QString file(const QByteArray& bytes, const QString& name = "devices.dat") {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return path;
    }
};

struct LoadCase {
    const char* name;
    QByteArray contents;
    Devices devices;
};

class DataFileRules : public DataFileTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(DataFileRules, Rows) {
    const LoadCase& c = GetParam();
    // The order must hold whatever the locale, the bare C locale included.
    for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        TLocaleScope scope(l);
        SCOPED_TRACE(l.name().toStdString());
        ASSERT_TRUE(LoadDataFile(grid, file(c.contents), kNow));
        EXPECT_EQ(devicesOf(grid), c.devices);
        EXPECT_EQ(grid.DataFileLabel(), c.devices == Devices{kLoopback} ? "" : "devices.dat");
        EXPECT_TRUE(grid.HeaderFixed());
    }
}

const QByteArray k254 = "10.0.0.1\t" + QByteArray(254 - 9, 'L');
const QByteArray k300 = "10.0.0.2\t" + QByteArray(300 - 9, 'M') + "\tYes";

INSTANTIATE_TEST_SUITE_P(
    Cases, DataFileRules,
    ::testing::Values(
        LoadCase{"EmptyFile", "", {kLoopback}},
        LoadCase{"OnlyCommentsAndBlankLines",
                 "; devices\r\n\r\n;10.0.0.1\tcommented out\tYes\r\n   \r\n\n",
                 {kLoopback}},
        LoadCase{"TwoFieldsIsNotCritical", "10.0.0.1\tRouter\r\n", {{"10.0.0.1", "Router", "No"}}},
        LoadCase{
            "TrailingTabIsNotCritical", "10.0.0.1\tRouter\t\r\n", {{"10.0.0.1", "Router", "No"}}},
        LoadCase{"EmptyLocationAndYesAnyCase",
                 "10.0.0.1\t\tYES\r\n10.0.0.2\t\tyEs\r\n",
                 {{"10.0.0.1", "", "Yes"}, {"10.0.0.2", "", "Yes"}}},
        LoadCase{"YesWithBlankIsNo",
                 "10.0.0.1\tRouter\tYes \r\n10.0.0.2\tHub\t Yes\r\n",
                 {{"10.0.0.2", "Hub", "No"}, {"10.0.0.1", "Router", "No"}}},
        LoadCase{"OtherFlagIsNo", "10.0.0.1\tRouter\t1\r\n", {{"10.0.0.1", "Router", "No"}}},
        LoadCase{
            "NothingTrimmed", "10.0.0.1\t Router \tYes\r\n", {{"10.0.0.1", " Router ", "Yes"}}},
        LoadCase{"BadLinesIgnored",
                 "255.255.255.255\tBroadcast\tYes\r\n"
                 "10.0.0.1\ta\tYes\textra\r\n"
                 "10.0.0.1\r\n"
                 "10.0.0.10\t\r\n"
                 "10.0.0.1onefield\r\n"
                 "\t10.0.0.1\tLeading tab\r\n"
                 "1.1.1\ta\r\n" // 7 characters
                 "300.1.1.1\tBad address\r\n"
                 "router.example\tNot an address\r\n"
                 "1.1.1\tab\r\n", // 8 characters
                 {{"1.1.1", "ab", "No"}}},
        LoadCase{
            "AddressKeptAsWritten",
            "010.0.0.1\tOctal\r\n127.1\tShort\r\n0x7f000001\tHex\r\n",
            {{"0x7f000001", "Hex", "No"}, {"010.0.0.1", "Octal", "No"}, {"127.1", "Short", "No"}}},
        LoadCase{"DuplicatesKept",
                 "10.0.0.1\tA\r\n10.0.0.1\tA\r\n",
                 {{"10.0.0.1", "A", "No"}, {"10.0.0.1", "A", "No"}}},
        LoadCase{
            "OrderedByLocationAnyCase",
            "10.0.0.1\tbeta\r\n10.0.0.2\tGamma\r\n10.0.0.3\talpha\r\n",
            {{"10.0.0.3", "alpha", "No"}, {"10.0.0.1", "beta", "No"}, {"10.0.0.2", "Gamma", "No"}}},
        LoadCase{"EqualLocationsByAddress",
                 "10.0.0.9\tHub\r\n10.0.0.1\thub\r\n10.0.0.5\tHub\r\n10.0.0.2\tHubs\r\n",
                 {{"10.0.0.1", "hub", "No"},
                  {"10.0.0.5", "Hub", "No"},
                  {"10.0.0.9", "Hub", "No"},
                  {"10.0.0.2", "Hubs", "No"}}},
        LoadCase{"Line254Loads", k254 + "\r\n", {{"10.0.0.1", QString(245, 'L'), "No"}}},
        // U+1F600 takes characters 254 and 255: the cut leaves it out whole.
        LoadCase{"CutFallsBetweenCharacters",
                 "10.0.0.1\t" + QByteArray(244, 'L') + "\xF0\x9F\x98\x80\tYes\r\n",
                 {{"10.0.0.1", QString(244, 'L'), "No"}}},
        LoadCase{"OverlongLineIsCutAndTheRestLoads",
                 k300 + "\r\n" + QByteArray(5000, 'x') + "\r\n10.0.0.3\tafter\r\n",
                 {{"10.0.0.3", "after", "No"}, {"10.0.0.2", QString(245, 'M'), "No"}}},
        LoadCase{"LfLineEnds",
                 "10.0.0.1\tb\tYes\n10.0.0.2\ta\n",
                 {{"10.0.0.2", "a", "No"}, {"10.0.0.1", "b", "Yes"}}},
        LoadCase{"LastLineWithoutLineEnd",
                 "10.0.0.1\tb\r\n10.0.0.2\ta\tyes",
                 {{"10.0.0.2", "a", "Yes"}, {"10.0.0.1", "b", "No"}}},
        LoadCase{"NothingAfterCtrlZ",
                 "10.0.0.1\tb\r\n\x1a"
                 "10.0.0.2\ta\r\n",
                 {{"10.0.0.1", "b", "No"}}},
        LoadCase{"NulBytesLoseNoLine",
                 QByteArray("10.0.0.1\tN") + '\0' + "ul\r\n" + QByteArray(3, '\0') +
                     "\r\n10.0.0.2\tnext\r\n",
                 {{"10.0.0.2", "next", "No"}, {"10.0.0.1", "Nul", "No"}}},
        LoadCase{"Utf8ByteOrderMark",
                 "\xEF\xBB\xBF"
                 "10.0.0.1\tRouter\r\n",
                 {{"10.0.0.1", "Router", "No"}}},
        LoadCase{"Latin1Location",
                 "10.0.0.1\tM\xfcnchen\r\n10.0.0.2\tK\xc3\xb6ln\r\n",
                 {{"10.0.0.2", QString::fromUtf8("K\xc3\xb6ln"), "No"},
                  {"10.0.0.1", QString::fromUtf8("M\xc3\xbcnchen"), "No"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataFileTest, LfAndCrLfFilesLoadAlike) {
    const QByteArray lines = "10.0.0.1\tb\tYes\n;c\n\n10.0.0.2\ta\n10.0.0.3\tc\tno\n";
    ASSERT_TRUE(LoadDataFile(grid, file(lines, "lf.dat"), kNow));
    const Devices lf = devicesOf(grid);
    ASSERT_TRUE(
        LoadDataFile(grid, file(QByteArray(lines).replace("\n", "\r\n"), "crlf.dat"), kNow));
    EXPECT_EQ(devicesOf(grid), lf);
    EXPECT_EQ(lf.size(), 3u);
}

// Enough devices for the file to span several read blocks and for the sort
// to go by buckets. The rows come in the order of one plain stable sort of
// the whole entries, and entries equal but for letter case (the same device
// listed twice, say) keep their file order.
TEST_F(DataFileTest, LargeFileLoadsInPlainSortOrder) {
    std::mt19937 rng(11);
    const QStringList sites = {"site", "Site", "SITE", "Hub", "hub"};
    QByteArray bytes = "; generated\r\n";
    Devices lines;
    for (int i = 0; i < 30000; ++i) {
        const unsigned r = rng();
        const Device d = {QStringLiteral("10.0.%1.%2").arg(r % 3).arg(r / 3 % 4),
                          QStringLiteral("%1 %2").arg(sites[int(r / 12 % 5)]).arg(r / 60 % 400),
                          r / 24000 % 3 ? "No" : "Yes"};
        lines.push_back(d);
        bytes += (d[0] + '\t' + d[1] + '\t' + (d[2] == "Yes" ? "yes" : "no")).toUtf8() +
                 (i % 7 ? "\r\n" : "\n");
        if (i % 1000 == 0)
            bytes += "; comment\r\nnot a device\r\n";
    }
    ASSERT_GT(bytes.size(), 2 * 256 * 1024);
    const QString path = file(bytes);
    for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        TLocaleScope scope(l);
        SCOPED_TRACE(l.name().toStdString());
        const TTextOrder order;
        Devices expected = lines;
        std::stable_sort(expected.begin(), expected.end(), [&](const Device& a, const Device& b) {
            return order.Compare(a[1] + '\t' + a[0] + '\t' + a[2],
                                 b[1] + '\t' + b[0] + '\t' + b[2]) < 0;
        });
        ASSERT_TRUE(LoadDataFile(grid, path, kNow));
        EXPECT_EQ(devicesOf(grid), expected);
    }
}

TEST_F(DataFileTest, EveryRowStartsAYearBeforeTheLoad) {
    ASSERT_TRUE(LoadDataFile(grid, file("10.0.0.1\ta\r\n10.0.0.2\tb\r\n10.0.0.3\tc\r\n"), kNow));
    ASSERT_EQ(grid.DeviceCount(), 3);
    for (int r = 1; r <= 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(ParseSinceKey(grid.Cell(r, Col::SinceKey)), kNow.addDays(-365));
        for (int c : {3, 4, 6, 7, 8, 9, 10, 11, 12})
            EXPECT_EQ(grid.Cell(r, c), "") << "column " << c;
        EXPECT_FALSE(grid.Row(r).notification.pending);
    }
    for (int c = 0; c < Col::Count; ++c)
        EXPECT_EQ(grid.Cell(0, c), TDeviceGrid::HeaderTexts().at(c));
}

TEST_F(DataFileTest, NoFileGivesTheLoopbackRow) {
    for (const QString& path : {QString(), dir.filePath("missing.dat"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(LoadDataFile(grid, file("10.0.0.1\tstale\r\n", "other.dat"), kNow));
        EXPECT_EQ(grid.DataFileLabel(), "other.dat");
        ASSERT_TRUE(LoadDataFile(grid, path, kNow));
        EXPECT_EQ(devicesOf(grid), Devices{kLoopback});
        EXPECT_EQ(ParseSinceKey(grid.Cell(1, Col::SinceKey)), kNow.addDays(-365));
        EXPECT_EQ(grid.DataFileLabel(), "");
        EXPECT_TRUE(grid.HeaderFixed());
    }
}

TEST_F(DataFileTest, LabelIsTheFileNameCutTo100) {
    const QString name = QString(120, 'n') + ".dat";
    ASSERT_TRUE(LoadDataFile(grid, file("10.0.0.1\ta\r\n", name), kNow));
    EXPECT_EQ(grid.DataFileLabel(), name.left(100));
}

// An existing file that cannot be opened: header row only, not fixed, and the
// status bar keeps what it showed. Root opens any file, so the load runs with
// another effective user.
TEST_F(DataFileTest, UnreadableFileLeavesHeaderOnly) {
    const QString path = file("10.0.0.1\ta\r\n", "locked.dat");
    // The group bits count too: only the effective user changes below.
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                      QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), open));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    ASSERT_TRUE(LoadDataFile(grid, file("10.0.0.2\tb\r\n", "shown.dat"), kNow));

    const bool root = geteuid() == 0;
    if (root && seteuid(65534) != 0)
        GTEST_SKIP() << "running as root without the right to change the effective user";
    const bool loaded = LoadDataFile(grid, path, kNow);
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
    }

    EXPECT_FALSE(loaded);
    EXPECT_EQ(grid.DeviceCount(), 0);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_FALSE(grid.HeaderFixed());
    EXPECT_EQ(grid.DataFileLabel(), "shown.dat");
}

TEST(DataFileLine, WrittenLineLoadsBack) {
    const TDeviceEntry e{"10.0.0.1", "Core router", "Yes"};
    EXPECT_EQ(DataFileLine(e), "10.0.0.1\tCore router\tYes");
    const auto back = ParseDataFileLine(DataFileLine(e));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->address, e.address);
    EXPECT_EQ(back->location, e.location);
    EXPECT_EQ(back->critical, e.critical);
}

} // namespace
