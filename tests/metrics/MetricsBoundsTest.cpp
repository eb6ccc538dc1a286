// The listener's bounds, each on the real civetweb listener: silent
// clients, an oversized header, and the paths it answers.
#include "MetricsProbe.h"
#include "devices/DeviceGrid.h"
#include "metrics/Metrics.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

int connectSilently(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct MetricsBoundsTest : ::testing::Test {
    TDeviceGrid grid;
    std::unique_ptr<TMetrics> metrics;
    quint16 port = FreePort();

    void SetUp() override {
        grid.SetGridHeader();
        grid.AppendRow({"10.0.0.1", "alpha", "No"});
        metrics = std::make_unique<TMetrics>(grid);
        QSignalSpy listening(metrics.get(), &TMetrics::ListenerChanged);
        metrics->Listen(QString::number(port));
        ASSERT_TRUE(listening.wait(5000));
    }
};

TEST_F(MetricsBoundsTest, SilentConnectionsTimeOutAndNeverHoldUpAScrape) {
    std::vector<int> silent;
    QElapsedTimer opened;
    opened.start();
    for (int i = 0; i < 16; ++i) {
        const int fd = connectSilently(port);
        ASSERT_GE(fd, 0);
        silent.push_back(fd);
    }
    // One more that starts a request and then says nothing.
    const int partial = connectSilently(port);
    ASSERT_GE(partial, 0);
    ASSERT_GT(::send(partial, "GET /metr", 9, MSG_NOSIGNAL), 0);
    silent.push_back(partial);

    const THttpReply r = HttpGet("127.0.0.1", port, "/metrics", 6000);
    EXPECT_EQ(r.status, 200);
    EXPECT_LT(r.ms, 6000);
    EXPECT_TRUE(r.body.contains("velmora_devices 1"));

    // Each silent client is let go within the 5 s request time-out.
    for (const int fd : silent) {
        pollfd p{fd, POLLIN, 0};
        const int left = int(6000 - opened.elapsed());
        EXPECT_EQ(::poll(&p, 1, std::max(left, 0)), 1) << "still open after 6 s";
        // Closed, or for the half request an error status, never a scrape.
        char head[16] = {};
        const ssize_t n = ::recv(fd, head, sizeof head - 1, MSG_DONTWAIT);
        if (n > 0) {
            EXPECT_EQ(fd, partial);
            const QByteArray status(head);
            EXPECT_TRUE(status.startsWith("HTTP/1.") && status.mid(9, 1) == "4") << head;
        }
        ::close(fd);
    }
    EXPECT_LT(opened.elapsed(), 6000);
}

TEST_F(MetricsBoundsTest, AHugeHeaderIsRefusedAndCostsNoMemory) {
    const qint64 before = ResidentKb(::getpid());
    const QByteArray line = "X-Filler: " + QByteArray(1 << 20, 'a') + "\r\n";
    for (int i = 0; i < 4; ++i) {
        const THttpReply r = HttpGet("127.0.0.1", port, "/metrics", 6000, line);
        EXPECT_FALSE(r.answered && r.status == 200) << "a 1 MiB header was served";
        if (r.answered) {
            EXPECT_GE(r.status, 400) << r.head.toStdString();
        }
    }
    const qint64 grown = ResidentKb(::getpid()) - before;
    EXPECT_LT(grown, 20 * 1024) << "kB";
    // A header just under the bound still gets its answer.
    const THttpReply ok =
        HttpGet("127.0.0.1", port, "/metrics", 6000, "X-Filler: " + QByteArray(7000, 'a') + "\r\n");
    EXPECT_EQ(ok.status, 200);
}

TEST_F(MetricsBoundsTest, OnlyMetricsAndALinkToIt) {
    struct Case {
        const char* path;
        int status;
    } cases[] = {{"/metrics", 200},    {"/", 200},           {"/metrics/", 404},
                 {"/metricsx", 404},   {"/index.html", 404}, {"/../etc/passwd", 404},
                 {"/favicon.ico", 404}};
    for (const Case& c : cases) {
        const THttpReply r = HttpGet("127.0.0.1", port, c.path);
        EXPECT_EQ(r.status, c.status) << c.path;
    }
    const THttpReply root = HttpGet("127.0.0.1", port, "/");
    EXPECT_TRUE(root.body.contains("<a href=\"/metrics\">")) << root.body.toStdString();
    EXPECT_TRUE(root.head.contains("Content-Type: text/html"));
    const THttpReply m = HttpGet("127.0.0.1", port, "/metrics");
    EXPECT_TRUE(m.head.contains("Content-Type: text/plain")) << m.head.toStdString();
}

} // namespace

namespace {

// Texts the grid can hold that the text format must escape: each stays in
// its own label, and the whole is still valid.
TEST_F(MetricsBoundsTest, LabelValuesAreEscaped) {
    grid.AppendRow({"10.0.0.2", "two\nlines"});
    grid.AppendRow({"10.0.0.3", "back\\slash \"quoted\""});
    grid.AppendRow({"10.0.0.4", "tab\there, caf\u00e9"});
    const QByteArray text = HttpGet("127.0.0.1", port, "/metrics").body;
    EXPECT_EQ(
        Sample(text, DeviceSeries("velmora_device_echo_requests_total", "10.0.0.2", "two\\nlines")),
        0)
        << text.toStdString();
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_echo_requests_total", "10.0.0.3",
                                        "back\\\\slash \\\"quoted\\\"")),
              0);
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_echo_requests_total", "10.0.0.4",
                                        "tab\there, caf\xc3\xa9")),
              0);
    EXPECT_EQ(Sample(text, "velmora_devices"), 4);
    ExpectPromtoolAccepts(text);
}

} // namespace
