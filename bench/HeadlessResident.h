#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

// The resident memory of velmora-headless as a service runs it, for the
// benchmarks that weigh what a feature costs the running program.

inline long ResidentKiB(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The program copied into `dir` with its data file and settings (`settings`
// holds extra keys of the main section), probing as fast as it can.
inline void PrepareHeadlessFolder(const QTemporaryDir& dir, const QByteArray& devices,
                                  const QByteArray& settings = {}) {
    QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless"));
    QFile d(dir.filePath("devices.dat"));
    d.open(QIODevice::WriteOnly);
    d.write(devices);
    d.close();
    QFile ini(dir.filePath("velmora.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[VELMORA Settings]\r\nDATFile=" + dir.filePath("devices.dat").toUtf8() +
              "\r\nVelmoraInterSiteDelay=1\r\nVelmoraInterPacketDelay=100\r\n" + settings +
              "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
    ini.close();
}

// Runs the program in `dir` without a display for ten seconds, then `during`
// (what the benchmark does to it), and gives its resident memory in MB.
inline double HeadlessResidentMB(const QTemporaryDir& dir,
                                 const std::function<void()>& during = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(dir.filePath("velmora-headless"), {});
    p.waitForStarted(5000);
    QThread::sleep(10);
    if (during)
        during();
    const double mb = double(ResidentKiB(p.processId())) / 1024.0;
    p.terminate();
    p.waitForFinished(10000);
    return mb;
}
