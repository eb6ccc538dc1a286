#pragma once

#include <QString>

// A TCP port that nothing listens on at `address` right now.
quint16 FreeTcpPort(const QString& address);
