// libFuzzer target: whatever a server sends, in whatever pieces it arrives,
// the reply reader must cut it into the same bounded replies as when it all
// arrives at once, and hold no more than its bounds allow.
//
// Input: one byte that says how often the rest is sent (from 0xf0 on, 2 to
// 17 times, so that the reply bounds can be reached; otherwise once), then
// the bytes the server sends. The sizes of the
// pieces come from the same bytes, read from the end.
#include "FuzzCheck.h"
#include "net/ReplyEngine.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct TResult {
    std::vector<TReply> replies;
    bool overflowed = false;
    qsizetype buffered = 0;
};

// What TReplyEngine does with each chunk read: feed it, then take replies
// until none is complete.
void take(TReplyReader& reader, TResult& result) {
    while (const std::optional<TReply> reply = reader.TakeReply())
        result.replies.push_back(*reply);
    if (reader.Overflowed())
        result.overflowed = true;
}

void checkReply(const TReply& reply) {
    FUZZ_CHECK(!reply.lines.isEmpty() && reply.lines.size() <= TReplyReader::kMaxReplyLines);
    for (const QString& line : reply.lines)
        FUZZ_CHECK(line.size() <= TReplyReader::kMaxLine && !line.contains(QLatin1Char('\n')));
    const QString& last = reply.lines.last();
    if (reply.code != 0) {
        FUZZ_CHECK(reply.code >= 0 && reply.code <= 999 && last.size() >= 3 &&
                   last.left(3).toInt() == reply.code);
    }
    if (reply.lines.size() > 1) {
        // A multi-line reply opens with "ddd-" and ends on its own code.
        const QString& opening = reply.lines.first();
        FUZZ_CHECK(opening.size() >= 4 && opening[3] == QLatin1Char('-') &&
                   opening.left(3) == last.left(3) && reply.code == last.left(3).toInt());
        FUZZ_CHECK(last.size() == 3 || last[3] == QLatin1Char(' '));
    }
}

bool sameReplies(const std::vector<TReply>& a, const std::vector<TReply>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].code != b[i].code || a[i].lines != b[i].lines)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int repeats = data[0] >= 0xf0 ? 2 + (data[0] & 0x0f) : 1;
    const QByteArray payload(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QByteArray stream;
    for (int i = 0; i < repeats; ++i)
        stream += payload;

    // All at once.
    TResult whole;
    {
        TReplyReader reader;
        reader.Feed(stream);
        take(reader, whole);
        whole.buffered = reader.Buffered();
    }

    // In pieces: each size from one byte, counting back from the end; small
    // sizes are common on the wire, large ones up to one read's worth.
    TResult pieces;
    {
        TReplyReader reader;
        qsizetype from = 0;
        size_t next = size;
        while (from < stream.size()) {
            const uint8_t b = next > 1 ? data[--next] : 0xff;
            const qsizetype n = b < 128 ? qsizetype(b) + 1 : qsizetype(b - 127) * 128;
            reader.Feed(stream.mid(from, n));
            from += n;
            take(reader, pieces);
            if (pieces.overflowed)
                break;
            // Unread bytes never pile up beyond one line and one reply.
            FUZZ_CHECK(reader.Buffered() <= TReplyReader::kMaxLine + TReplyReader::kMaxReplyBytes);
        }
        pieces.buffered = reader.Buffered();
        // Once overflowed, the reader takes nothing until cleared.
        if (reader.Overflowed()) {
            reader.Feed(QByteArrayLiteral("220 again\r\n"));
            FUZZ_CHECK(!reader.TakeReply() && reader.Buffered() == 0);
            reader.Clear();
            reader.Feed(QByteArrayLiteral("220 again\r\n"));
            const std::optional<TReply> again = reader.TakeReply();
            FUZZ_CHECK(again && again->code == 220);
        }
    }

    for (const TReply& r : whole.replies)
        checkReply(r);
    FUZZ_CHECK(whole.overflowed == pieces.overflowed);
    FUZZ_CHECK(sameReplies(pieces.replies, whole.replies));
    FUZZ_CHECK(pieces.buffered == whole.buffered);
    return 0;
}
