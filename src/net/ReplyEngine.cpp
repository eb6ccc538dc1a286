#include "ReplyEngine.h"

#include <QAbstractSocket>
#include <algorithm>

namespace {

// What one read takes from the socket, and what the socket may hold
// unread, so that a peer that floods us costs a bounded amount of memory.
constexpr qint64 kReadChunk = 16 * 1024;
constexpr qint64 kSocketBuffer = 64 * 1024;

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The three-digit code a line begins with, or an empty text.
QString LineCode(const QString& line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return QString();
    return line.left(3);
}

} // namespace

void TReplyReader::Feed(const QByteArray& bytes) {
    if (overflowed)
        return;
    // Taken bytes leave the front only once they are at least half of the
    // buffer, so each byte is moved a bounded number of times.
    if (pos > 0 && pos >= buffer.size() / 2) {
        buffer.remove(0, pos);
        scanned -= pos;
        pos = 0;
    }
    buffer += bytes;
}

std::optional<QString> TReplyReader::takeLine() {
    const qsizetype end = buffer.indexOf('\n', std::max(pos, scanned));
    if (end < 0) {
        scanned = buffer.size();
        // A CR last may be the start of the line's CR LF, whose LF is still
        // on its way: the line is not too long for it.
        const qsizetype held = buffer.size() - pos - (buffer.endsWith('\r') ? 1 : 0);
        if (held > kMaxLine)
            overflow();
        return std::nullopt;
    }
    qsizetype length = end - pos;
    // CR LF is the rule; a bare LF is taken too.
    if (length > 0 && buffer.at(end - 1) == '\r')
        --length;
    if (length > kMaxLine) {
        overflow();
        return std::nullopt;
    }
    QString line = QString::fromUtf8(buffer.constData() + pos, length);
    pos = scanned = end + 1;
    return line;
}

void TReplyReader::overflow() {
    Clear();
    overflowed = true;
}

std::optional<TReply> TReplyReader::TakeReply() {
    while (!overflowed) {
        const std::optional<QString> line = takeLine();
        if (!line)
            break;
        const QString code = LineCode(*line);
        if (pending.isEmpty()) {
            if (!code.isEmpty() && line->size() > 3 && line->at(3) == QLatin1Char('-')) {
                pending << *line;
                pendingBytes = line->size() + 2;
                pendingCode = code;
                continue;
            }
            return TReply{code.isEmpty() ? 0 : code.toInt(), {*line}};
        }
        pending << *line;
        pendingBytes += line->size() + 2;
        if (pending.size() > kMaxReplyLines || pendingBytes > kMaxReplyBytes) {
            overflow();
            break;
        }
        const bool last =
            code == pendingCode && (line->size() == 3 || line->at(3) == QLatin1Char(' '));
        if (!last)
            continue;
        TReply reply{code.toInt(), pending};
        pending.clear();
        pendingBytes = 0;
        pendingCode.clear();
        return reply;
    }
    return std::nullopt;
}

void TReplyReader::Clear() {
    buffer.clear();
    pos = scanned = 0;
    pending.clear();
    pendingBytes = 0;
    pendingCode.clear();
    overflowed = false;
}

bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

bool HasLineBreak(const QByteArray& text) {
    return text.contains('\r') || text.contains('\n');
}

TReplyEngine::TReplyEngine(QAbstractSocket& socket, QObject* parent)
    : QObject(parent), socket(socket) {
    socket.setReadBufferSize(kSocketBuffer);
    connect(&socket, &QAbstractSocket::readyRead, this, &TReplyEngine::readAvailable);
    connect(&ConnectTimer, &QTimer::timeout, this, [this] {
        Abort();
        emit ConnectTimedOut();
    });
    connect(&StepTimer, &QTimer::timeout, this, [this] {
        StepTimer.stop();
        emit StepTimedOut();
    });
}

void TReplyEngine::Open(const QString& host, quint16 port) {
    DropInput();
    socket.connectToHost(host, port);
}

void TReplyEngine::Abort() {
    ConnectTimer.stop();
    StepTimer.stop();
    socket.abort();
    DropInput();
}

void TReplyEngine::Shutdown(QObject* owner) {
    socket.disconnect(owner);
    disconnect(owner);
    Abort();
}

bool TReplyEngine::Send(const QByteArray& command) {
    if (HasLineBreak(command))
        return false;
    write(command + "\r\n", command);
    return true;
}

std::optional<QByteArray> TReplyEngine::SendSecret(const QByteArray& command, int shownWords) {
    if (HasLineBreak(command))
        return std::nullopt;
    const QList<QByteArray> words = command.trimmed().split(' ');
    QByteArray shown = words.mid(0, shownWords).join(' ');
    shown += shown.isEmpty() ? "****" : " ****";
    write(command + "\r\n", shown);
    return shown;
}

void TReplyEngine::SendText(const QByteArray& text) {
    write(text, text);
}

void TReplyEngine::write(const QByteArray& bytes, const QByteArray& shown) {
    // Unread bytes still in the socket are older than this command too.
    socket.readAll();
    DropInput();
    socket.write(bytes);
    if (!transcript)
        return;
    QList<QByteArray> lines = shown.split('\n');
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        record(TDirection::Sent, QString::fromUtf8(line));
    }
}

void TReplyEngine::record(TDirection direction, const QString& text) {
    if (transcript)
        transcript(direction, text);
}

void TReplyEngine::DropInput() {
    reader.Clear();
    ++epoch;
}

void TReplyEngine::StartStepTimer() {
    StepTimer.stop();
    StepTimer.start();
}

void TReplyEngine::StopStepTimer() {
    StepTimer.stop();
}

void TReplyEngine::readAvailable() {
    // A handler may send the next command or give the connection up, which
    // drops what is left: stop as soon as that happens.
    const quint64 current = epoch;
    while (current == epoch && socket.bytesAvailable() > 0) {
        const QByteArray chunk = socket.read(kReadChunk);
        if (chunk.isEmpty())
            break;
        reader.Feed(chunk);
        while (current == epoch) {
            const std::optional<TReply> reply = reader.TakeReply();
            if (!reply)
                break;
            for (const QString& line : reply->lines)
                record(TDirection::Received, line);
            emit ReplyReceived(*reply);
        }
        if (current == epoch && reader.Overflowed()) {
            Abort();
            emit ReplyTooLong();
            return;
        }
    }
}
