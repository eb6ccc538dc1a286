#include "HeadlessRun.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

THeadlessRun::~THeadlessRun() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(3000);
}

void THeadlessRun::Start(const QString& program, const QStringList& args, const QString& netns,
                         QProcess::ProcessChannelMode channels) {
    out.clear();
    err.clear();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(channels);
    if (netns.isEmpty())
        process.start(program, args);
    else
        process.start("ip", QStringList{"netns", "exec", netns, program} + args);
    ASSERT_TRUE(process.waitForStarted(5000)) << program.toStdString();
}

void THeadlessRun::Drain() {
    out += QString::fromUtf8(process.readAllStandardOutput());
    err += QString::fromUtf8(process.readAllStandardError());
}

bool THeadlessRun::WaitForLine(const QString& prefix, int ms) {
    return WaitForLines(prefix, 1, ms);
}

bool THeadlessRun::WaitForLines(const QString& prefix, int count, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        process.waitForReadyRead(200);
        Drain();
        int seen = 0;
        for (const QString& line : out.split('\n'))
            if (line.startsWith(prefix) && ++seen >= count)
                return true;
        if (process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

const QString& THeadlessRun::Out() {
    Drain();
    return out;
}

const QString& THeadlessRun::Err() {
    Drain();
    return err;
}
