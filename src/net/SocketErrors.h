#pragma once

#include <QAbstractSocket>
#include <QString>

// The socket error numbers and texts the FTP dialogue reports (the numbering
// operators know from the Windows socket layer: 10061 is a refused
// connection). Every text comes from the one table in SocketErrors.cpp.

constexpr int kWouldBlock = 10035;

// The number for a Linux errno; 0 when none maps.
int SocketErrorNumber(int linuxErrno);
// The number for a Qt socket error; 0 when none maps.
int SocketErrorNumber(QAbstractSocket::SocketError error);
// "10061:Connection refused"; a number missing from the table gives
// "Unknown Error No. " and the number.
QString SocketErrorText(int number);
