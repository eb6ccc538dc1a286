#include "WebhookReceiver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>
#include <unistd.h>

namespace {

bool run(const QString& command) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// One request a line each: the body and the headers, base64 so that any
// byte of them survives; written under a temporary name and renamed, so
// that a reader sees whole records only.
const char* kRecorder = "d=$0; n=$(date +%s%N); "
                        "for v in \"$@\"; do printf '%s' \"$v\" | base64 -w0; echo; done "
                        "> \"$d/.$n\" && mv \"$d/.$n\" \"$d/req-$n\"";

} // namespace

QString TWebhookReceiver::Unavailable() {
    if (QStandardPaths::findExecutable(QStringLiteral("webhook")).isEmpty())
        return QStringLiteral("the webhook package is not installed");
    return QString();
}

TWebhookReceiver::TWebhookReceiver(const QString& netns, const QString& a, quint16 p,
                                   const QString& token, const QString& cert, const QString& key)
    : address(a), port(p), secure(!cert.isEmpty()) {
    QJsonArray args{QJsonObject{{"source", "string"}, {"name", "-c"}},
                    QJsonObject{{"source", "string"}, {"name", kRecorder}},
                    QJsonObject{{"source", "string"}, {"name", dir.filePath("got")}},
                    QJsonObject{{"source", "raw-request-body"}}};
    for (const char* h : {"Authorization", "Content-Type", "Title", "Priority", "Tags"})
        args.append(QJsonObject{{"source", "header"}, {"name", h}});
    const QJsonObject hook{
        {"id", "velmora"},
        {"execute-command", "/bin/sh"},
        {"pass-arguments-to-command", args},
        {"http-methods", QJsonArray{"POST"}},
        {"trigger-rule-mismatch-http-response-code", 401},
        {"trigger-rule",
         QJsonObject{
             {"match", QJsonObject{{"type", "value"},
                                   {"value", "Bearer " + token},
                                   {"parameter", QJsonObject{{"source", "header"},
                                                             {"name", "Authorization"}}}}}}}};
    QDir().mkpath(dir.filePath("got"));
    QFile hooks(dir.filePath("hooks.json"));
    if (!hooks.open(QIODevice::WriteOnly) ||
        hooks.write(QJsonDocument(QJsonArray{hook}).toJson()) <= 0) {
        problem = QStringLiteral("cannot write hooks.json");
        return;
    }
    hooks.close();
    QStringList command{
        QStringLiteral("webhook"), "-hooks",  hooks.fileName(), "-ip", address, "-port",
        QString::number(port),     "-verbose"};
    if (secure)
        command += {"-secure", "-cert", cert, "-key", key};
    if (!netns.isEmpty())
        command = QStringList{"netns", "exec", netns} + command;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(netns.isEmpty() ? command.takeFirst() : QStringLiteral("ip"), command);
    if (!process.waitForStarted(5000)) {
        problem = "webhook did not start: " + process.errorString();
        return;
    }
    // It says when it listens; its own namespace may be out of our reach.
    QElapsedTimer t;
    t.start();
    QByteArray said;
    while (t.elapsed() < 10000 && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        said += process.readAll();
        if (said.contains("serving hooks on")) {
            QTest::qWait(200);
            return;
        }
    }
    problem = "webhook did not come up: " + QString::fromUtf8(said);
}

TWebhookReceiver::~TWebhookReceiver() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

QString TWebhookReceiver::Url(const QString& host) const {
    return QStringLiteral("%1://%2:%3/hooks/velmora")
        .arg(secure ? "https" : "http", host.isEmpty() ? address : host)
        .arg(port);
}

QList<TWebhookReceiver::TReceived> TWebhookReceiver::Received() const {
    QList<TReceived> got;
    const QDir d(dir.filePath("got"));
    for (const QString& name : d.entryList({"req-*"}, QDir::Files, QDir::Name)) {
        QFile f(d.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QList<QByteArray> v;
        for (const QByteArray& line : f.readAll().split('\n'))
            v << QByteArray::fromBase64(line);
        got.append({v.value(0), v.value(1), v.value(2), v.value(3), v.value(4), v.value(5)});
    }
    return got;
}

QList<TWebhookReceiver::TReceived> TWebhookReceiver::AwaitReceived(int n, int ms) const {
    QElapsedTimer t;
    t.start();
    QList<TReceived> got = Received();
    while (got.size() < n && t.elapsed() < ms) {
        QTest::qWait(100);
        got = Received();
    }
    return got;
}

QString TWebhookReceiver::Log() const {
    return QString::fromUtf8(const_cast<QProcess&>(process).readAll());
}

QString TTestHostNamespace::Unavailable() {
    if (::geteuid() != 0)
        return QStringLiteral("network namespaces need root");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return QStringLiteral("the ip tool is not installed");
    return QString();
}

TTestHostNamespace::TTestHostNamespace() {
    const int pid = int(::getpid());
    subnet = pid % 250 + 1;
    name = QStringLiteral("vm-push-%1").arg(pid);
    vethHere = QStringLiteral("vpush%1").arg(pid % 100000);
    const QString n = name, v = vethHere, net = QStringLiteral("10.233.%1").arg(subnet);
    run("ip netns del " + n + " 2>/dev/null");
    if (!run("ip netns add " + n) ||
        !run("ip link add " + v + " type veth peer name eth0 netns " + n) ||
        !run("ip addr add " + net + ".1/30 dev " + v) || !run("ip link set " + v + " up") ||
        !run("ip -n " + n + " addr add " + net + ".2/30 dev eth0") ||
        !run("ip -n " + n + " link set eth0 up") || !run("ip -n " + n + " link set lo up"))
        problem = "cannot make the namespace " + n;
}

TTestHostNamespace::~TTestHostNamespace() {
    // Deleting the namespace removes both ends of the pair.
    run("ip netns del " + name + " 2>/dev/null");
    run("ip link del " + vethHere + " 2>/dev/null");
}
