#include "mail/SMTPMessage.h"

#include <gtest/gtest.h>

namespace {

TEST(SMTPText, BracketsAndLineBreaks) {
    EXPECT_EQ(Bracketed("ops@velmora.test"), "<ops@velmora.test>");
    EXPECT_EQ(Bracketed("<ops@velmora.test>"), "<ops@velmora.test>");
    EXPECT_EQ(Bracketed("<ops@velmora.test"), "<ops@velmora.test>");
    EXPECT_EQ(Bracketed("Ops <ops@velmora.test>"), "Ops <ops@velmora.test>");
    EXPECT_EQ(SingleLine("a\r\nb\rc\nd"), "a b c d");
    EXPECT_EQ(SingleLine("a\n\nb"), "a  b");
}

TEST(SMTPText, MessageTextIsExactDotStuffedAndCannotBeCutShort) {
    EXPECT_EQ(SMTPMessageText("Thu Dec 10, 2026 11:22:33", "me@velmora.test", " Velmora Alert ",
                              " ops@velmora.test ", " Router room [ 10.1.2.3 ]  DOWN on: now "),
              QByteArray("Date: Thu Dec 10, 2026 11:22:33\r\n"
                         "From: me@velmora.test\r\n"
                         "Subject: Velmora Alert\r\n"
                         "Reply-To: me@velmora.test\r\n"
                         "To: ops@velmora.test\r\n"
                         "\r\n"
                         "Router room [ 10.1.2.3 ]  DOWN on: now\r\n"
                         ".\r\n"));
    // A body that begins with a dot keeps it; one that carries line breaks
    // stays one line, so neither ends the message nor adds a header.
    EXPECT_EQ(SMTPMessageText("t", "me@x", "s", "to@x", ".hidden [ 1.2.3.4 ]"),
              QByteArray("Date: t\r\nFrom: me@x\r\nSubject: s\r\nReply-To: me@x\r\nTo: to@x\r\n"
                         "\r\n..hidden [ 1.2.3.4 ]\r\n.\r\n"));
    const QByteArray injected = SMTPMessageText("t", "me@x\r\nBcc: all@x", "s\r\nX-Evil: 1", "to@x",
                                                "room\r\n.\r\nMAIL FROM:<spam@x>\r\n");
    EXPECT_EQ(injected, QByteArray("Date: t\r\nFrom: me@x Bcc: all@x\r\nSubject: s X-Evil: 1\r\n"
                                   "Reply-To: me@x Bcc: all@x\r\nTo: to@x\r\n\r\n"
                                   "room . MAIL FROM:<spam@x>\r\n.\r\n"));
}

TEST(SMTPText, CandidatesAreDottedAddressesInSectionOrder) {
    EXPECT_EQ(MXCandidates({"mx1.velmora.test", "127.0.0.9"}, {"ns1.velmora.test"},
                           {"127.0.0.26", "127.0.0.25", "127.0.0.26"}),
              (QStringList{"127.0.0.9", "127.0.0.26", "127.0.0.25", "127.0.0.26"}));
    EXPECT_EQ(MXCandidates({"mx1.velmora.test"}, {}, {}), QStringList());
}

} // namespace
