#include "FreeTcpPort.h"
#include "FtpTestSupport.h"
#include "PyftpdlibServer.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// The pages as a server stores them in ASCII mode (TYPE A): with its own
// line ends, which on Linux are LF.
QByteArray StoredAscii(const QByteArray& page) {
    QByteArray b = page;
    return b.replace("\r\n", "\n");
}

class FtpPyftpdlibTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    std::unique_ptr<TPyftpdlibServer> server;
    TFtpRig rig;
    quint16 port = 0;

    void SetUp() override {
        if (!TPyftpdlibServer::Available())
            GTEST_SKIP() << "python3-pyftpdlib is not installed";
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkdir("pages"));
        port = FreeTcpPort("127.0.0.1");
        ASSERT_NE(port, 0);
        server =
            std::make_unique<TPyftpdlibServer>("127.0.0.1", port, home.path(), "velmora", "s3cret");
        ASSERT_EQ(server->Error(), QString());
        rig.boxes.ftpPort = QString::number(port);
    }

    QStringList Successful(bool withFolder) const {
        const QString up =
            "Success: cmdUpload  - Velmora HTML File Copied to 127.0.0.1:" + rig.boxes.ftpPort +
            rig.boxes.ftpFolder;
        QStringList lines{"FTP Transfer Initiated on: " + rig.clock,
                          "FTP Connected to Host: 127.0.0.1"};
        if (withFolder)
            lines << "Success: cmdChangeDir";
        return lines + QStringList{"Success: cmdDoCommand", up, up, up,
                                   "FTP Disconnected from Host: 127.0.0.1"};
    }

    void ExpectPagesIn(const QString& folder) {
        EXPECT_EQ(ReadTestFile(folder + "/index.htm"), StoredAscii(TFtpRig::IndexBytes()));
        EXPECT_EQ(ReadTestFile(folder + "/velmora.htm"), StoredAscii(TFtpRig::GridBytes()));
        EXPECT_EQ(ReadTestFile(folder + "/velmoralog.htm"),
                  StoredAscii(ReadTestFile(rig.pages.log)));
    }
};

TEST_F(FtpPyftpdlibTest, PagesArriveInTheHostFolder) {
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log, Successful(true));
    ExpectPagesIn(home.filePath("pages"));
    EXPECT_FALSE(QFile::exists(home.filePath("index.htm")));
}

TEST_F(FtpPyftpdlibTest, WithoutAFolderPagesGoToTheHomeFolder) {
    rig.boxes.ftpFolder.clear();
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log, Successful(false));
    ExpectPagesIn(home.path());
}

TEST_F(FtpPyftpdlibTest, AnonymousAccount) {
    rig.boxes.SetAnonymous(true);
    EXPECT_EQ(rig.boxes.ftpUser, "anonymous");
    EXPECT_EQ(rig.boxes.ftpPassword, "visit@nowhere");
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log, Successful(true));
    ExpectPagesIn(home.filePath("pages"));
}

// The real server's refusals: a wrong password, and a folder that does
// not exist (the run ends with the server's reply line).
TEST_F(FtpPyftpdlibTest, Refusals) {
    rig.boxes.ftpPassword = "wrong";
    EXPECT_EQ(rig.Run(), Ended(false));
    EXPECT_EQ(rig.log,
              (QStringList{"FTP Transfer Initiated on: " + rig.clock,
                           "FTP Connection Failure.\nThe FTP->Connect() method failed to "
                           "connect to Host",
                           "FTP Disconnected from Host: 127.0.0.1",
                           "[FTP Error: FTP Login Failure]", "FTP Connect Unsuccessful.",
                           "  - Connection to 127.0.0.1:" + rig.boxes.ftpPort + " failed."}));

    rig.log.clear();
    rig.boxes.ftpPassword = "s3cret";
    rig.boxes.ftpFolder = "/missing";
    const TOutcome outcome = rig.Run();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->first);
    EXPECT_TRUE(outcome->second.startsWith("550 ")) << outcome->second.toStdString();
    EXPECT_EQ(
        rig.log,
        (QStringList{"FTP Transfer Initiated on: " + rig.clock, "FTP Connected to Host: 127.0.0.1",
                     "FTP Disconnected from Host: 127.0.0.1", "Failure: cmdChangeDir"}));
}

} // namespace
