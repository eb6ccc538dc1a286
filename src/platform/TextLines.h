#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files as the program reads and writes them: CR LF or LF end a line,
// Ctrl-Z ends the file, a last line without a line end counts. A line that is
// not valid UTF-8 is taken as Latin-1, so files written on Windows still load.
namespace TextLines {

constexpr int kMaxDataLine = 254;

// Decodes one line's bytes (no line end).
QString DecodeLine(const QByteArray& bytes);

// Splits file contents into lines. With maxChars > 0 a longer line is cut to
// that many characters and reading goes on with the next line.
QStringList Split(const QByteArray& contents, int maxChars = 0);

// Reads a whole file; false when it exists but cannot be read.
bool ReadFile(const QString& path, QStringList& lines, int maxChars = 0);

// Writes the lines, each ended with CR LF, atomically (temporary file beside
// the target, then rename). Returns false and leaves the old file intact on
// any failure.
bool WriteFile(const QString& path, const QStringList& lines);

// Who may read a file that the write creates; an existing file keeps its
// permissions whatever this says.
enum class TNewFile { Default, OwnerOnly };

// Replaces the file's contents with `data` atomically. Returns false and
// leaves the old file intact on any failure, a full disk included.
bool WriteBytes(const QString& path, const QByteArray& data,
                TNewFile newFile = TNewFile::Default);

// Encodes lines with CR LF after each.
QByteArray Join(const QStringList& lines);

} // namespace TextLines
