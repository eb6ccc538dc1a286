#include "FreeTcpPort.h"

#include <QHostAddress>
#include <QTcpServer>

quint16 FreeTcpPort(const QString& address) {
    QTcpServer probe;
    if (!probe.listen(QHostAddress(address), 0))
        return 0;
    return probe.serverPort();
}
