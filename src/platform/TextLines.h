#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Text files as the program reads and writes them: CR LF or LF end a line,
// Ctrl-Z ends the file, a last line without a line end counts. A line that is
// not valid UTF-8 is taken as Latin-1, so files written on Windows still load.
namespace TextLines {

constexpr int kMaxDataLine = 254;

// Decodes one line's bytes (no line end).
QString DecodeLine(const QByteArray& bytes);

// The text a reader makes of one line's bytes (no line end): decoded, NULs
// dropped, cut as Split cuts it.
QString LineText(QByteArrayView raw, int maxChars = 0);

// Splits file contents into lines. With maxChars > 0 a longer line is cut to
// that many characters and reading goes on with the next line.
QStringList Split(const QByteArray& contents, int maxChars = 0);

// Reads a whole file; false when it exists but cannot be read.
bool ReadFile(const QString& path, QStringList& lines, int maxChars = 0);

// Reads a file a block at a time and hands each line to `take` as soon as it
// is complete, so a large file is never held whole, neither as bytes nor as
// lines. Same rules as Split. False when the file cannot be opened or a read
// fails; lines before the failure have been handed over by then.
bool ForEachLine(const QString& path, int maxChars, const std::function<void(QString&&)>& take);

// Writes the lines, each ended with CR LF, atomically (temporary file beside
// the target, then rename). Returns false and leaves the old file intact on
// any failure.
bool WriteFile(const QString& path, const QStringList& lines);

// Who may read a file that the write creates; an existing file keeps its
// permissions whatever this says.
enum class TNewFile { Default, OwnerOnly };

// Replaces the file's contents with `data` atomically and durably: the new
// file is synced before it is renamed over the old one, and the folder after.
// Returns false and leaves the old file intact on any failure, a full disk
// included.
bool WriteBytes(const QString& path, const QByteArray& data, TNewFile newFile = TNewFile::Default);

// Encodes lines with CR LF after each.
QByteArray Join(const QStringList& lines);

} // namespace TextLines
