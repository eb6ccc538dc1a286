#pragma once

// Small rules the FTP client's files share.

#include "net/ReplyEngine.h"
#include "web/FtpClient.h"

#include <QString>

namespace ftp {

inline bool Between(int code, int low, int high) {
    return code >= low && code <= high;
}

// The reply line an error box shows: the first line, without its line end.
inline QString ReplyLine(const TReply& reply) {
    return reply.lines.value(0);
}

inline TFtpError Error(TFtpError::TKind kind, const QString& text) {
    return TFtpError{kind, text};
}

} // namespace ftp
