// The reply reader that both clients share: replies cut across reads, and
// replies past their bounds.
#include "net/ReplyEngine.h"

#include <gtest/gtest.h>

namespace {

std::vector<TReply> ReadAll(const QList<QByteArray>& pieces) {
    TReplyReader r;
    std::vector<TReply> out;
    for (const QByteArray& p : pieces) {
        r.Feed(p);
        while (auto reply = r.TakeReply())
            out.push_back(*reply);
    }
    return out;
}

TEST(ReplyReader, RepliesAcrossReads) {
    struct Case {
        const char* name;
        QList<QByteArray> pieces;
        std::vector<int> codes;
        std::vector<QStringList> lines;
    };
    const std::vector<Case> cases{
        {"one piece", {"220 ready\r\n"}, {220}, {{"220 ready"}}},
        {"code split from text", {"22", "0 ready\r\n"}, {220}, {{"220 ready"}}},
        {"CR and LF in two reads", {"250 ok\r", "\n"}, {250}, {{"250 ok"}}},
        {"no line end yet", {"250 ok"}, {}, {}},
        {"multi-line, last line decides",
         {"250-first\r\n250-sec", "ond\r\n250 last\r\n"},
         {250},
         {{"250-first", "250-second", "250 last"}}},
        {"multi-line ended by the bare code", {"250-a\r\n250\r\n"}, {250}, {{"250-a", "250"}}},
        {"other lines inside a multi-line reply",
         {"211-status\r\n  text\r\n214 not the end\r\n211 end\r\n"},
         {211},
         {{"211-status", "  text", "214 not the end", "211 end"}}},
        {"two replies in one read", {"220 a\r\n250 b\r\n"}, {220, 250}, {{"220 a"}, {"250 b"}}},
        {"bare LF", {"221 bye\n"}, {221}, {{"221 bye"}}},
        {"longest line, its CR and LF in two reads",
         {"220 " + QByteArray(TReplyReader::kMaxLine - 4, 'x') + "\r", "\n"},
         {220},
         {{"220 " + QString(TReplyReader::kMaxLine - 4, 'x')}}},
        {"no code", {"hello\r\n"}, {0}, {{"hello"}}},
        {"short code", {"25\r\n"}, {0}, {{"25"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<TReply> got = ReadAll(c.pieces);
        ASSERT_EQ(got.size(), c.codes.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].code, c.codes[i]);
            EXPECT_EQ(got[i].lines, c.lines[i]);
        }
    }
}

// A multi-line reply of `lines` lines of `width` characters each.
QByteArray LongReply(int lines, int width) {
    QByteArray out;
    for (int i = 1; i < lines; ++i)
        out += "220-" + QByteArray(width - 4, 'a') + "\r\n";
    return out + "220 " + QByteArray(width - 4, 'a') + "\r\n";
}

TEST(ReplyReader, RepliesPastTheirBoundsAreRefused) {
    using R = TReplyReader;
    struct Case {
        const char* name;
        QByteArray bytes;
        bool overflows;
    };
    const std::vector<Case> cases{
        {"longest line", QByteArray(R::kMaxLine, 'x') + "\r\n", false},
        {"line one too long", QByteArray(R::kMaxLine + 1, 'x') + "\r\n", true},
        {"no line end at all", QByteArray(R::kMaxLine + 1, 'x'), true},
        {"most lines", LongReply(R::kMaxReplyLines, 10), false},
        {"one line too many", LongReply(R::kMaxReplyLines + 1, 10), true},
        {"most bytes", LongReply(R::kMaxReplyBytes / 1024, 1022), false},
        {"bytes past the bound", LongReply(R::kMaxReplyBytes / 1024 + 1, 1022), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // In pieces of a prime size, so no bound falls on a piece's edge.
        TReplyReader r;
        std::optional<TReply> reply;
        for (qsizetype at = 0; at < c.bytes.size() && !reply; at += 997) {
            r.Feed(c.bytes.mid(at, 997));
            reply = r.TakeReply();
        }
        EXPECT_EQ(r.Overflowed(), c.overflows);
        EXPECT_EQ(bool(reply), !c.overflows);
        if (c.overflows) {
            EXPECT_EQ(r.Buffered(), 0); // nothing of it is kept
        }
        // Clear makes the reader usable again.
        r.Clear();
        r.Feed("250-part\r\n");
        EXPECT_FALSE(r.TakeReply());
        r.Clear();
        r.Feed("220 fresh\r\n");
        reply = r.TakeReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->lines, QStringList{"220 fresh"});
        EXPECT_EQ(r.Buffered(), 0);
    }
}

} // namespace
