#include "ReplyEngine.h"

#include <QAbstractSocket>
#include <QTimer>

namespace {

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

std::optional<QString> TReplyReader::takeLine() {
    qsizetype end = buffer.indexOf('\n');
    qsizetype next = end + 1;
    if (end < 0) {
        if (buffer.size() < kMaxLine)
            return std::nullopt;
        end = next = kMaxLine;
    }
    QByteArray raw = buffer.left(end);
    buffer.remove(0, next);
    // CR LF is the rule; a bare LF is taken too.
    if (raw.endsWith('\r'))
        raw.chop(1);
    return QString::fromUtf8(raw);
}

std::optional<TReply> TReplyReader::TakeReply() {
    while (const std::optional<QString> line = takeLine()) {
        const QString code = LineCode(*line);
        if (pending.isEmpty()) {
            if (!code.isEmpty() && line->size() > 3 && line->at(3) == QLatin1Char('-')) {
                pending << *line;
                pendingCode = code;
                continue;
            }
            return TReply{code.isEmpty() ? 0 : code.toInt(), {*line}};
        }
        pending << *line;
        const bool last =
            code == pendingCode && (line->size() == 3 || line->at(3) == QLatin1Char(' '));
        if (!last)
            continue;
        TReply reply{code.toInt(), pending};
        pending.clear();
        pendingCode.clear();
        return reply;
    }
    return std::nullopt;
}

void TReplyReader::Clear() {
    buffer.clear();
    pending.clear();
    pendingCode.clear();
}

TPingPong::TPingPong(QAbstractSocket& socket, QTimer& stepTimer, QObject* parent)
    : QObject(parent), socket(socket), stepTimer(stepTimer) {
    connect(&socket, &QAbstractSocket::readyRead, this, &TPingPong::readAvailable);
    connect(&stepTimer, &QTimer::timeout, this, [this] {
        this->stepTimer.stop();
        emit StepTimedOut();
    });
}

void TPingPong::Send(const QByteArray& command) {
    // Unread bytes still in the socket are older than this command too.
    socket.readAll();
    DropInput();
    socket.write(command);
}

void TPingPong::DropInput() {
    reader.Clear();
    ++epoch;
}

void TPingPong::StartStepTimer() {
    stepTimer.stop();
    stepTimer.start();
}

void TPingPong::StopStepTimer() {
    stepTimer.stop();
}

void TPingPong::readAvailable() {
    reader.Feed(socket.readAll());
    // A handler may send the next command or give the connection up, which
    // drops what is left: stop as soon as that happens.
    const quint64 current = epoch;
    while (current == epoch) {
        const std::optional<TReply> reply = reader.TakeReply();
        if (!reply)
            break;
        emit ReplyReceived(*reply);
    }
}
