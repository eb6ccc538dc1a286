#include "CommandLine.h"

#include "Version.h"

#include <QFile>
#include <cstdio>

namespace {

// QApplication's own options: those that take the next argument as value,
// and those that stand alone.
const QStringList kQtWithValue = {"-platform",        "-platformpluginpath",
                                  "-platformtheme",   "-plugin",
                                  "-qwindowgeometry", "-qwindowicon",
                                  "-qwindowtitle",    "-display",
                                  "-geometry",        "-style",
                                  "-stylesheet",      "-session"};
const QStringList kQtAlone = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};

QString helpText(const TProgramText& p) {
    QString t = QStringLiteral("Usage: %1 [options]\n%2\n\n"
                               "Options:\n"
                               "  -h, --help     show this help and exit\n"
                               "  -V, --version  show the version and exit\n")
                    .arg(p.name, p.summary);
    if (p.qtOptions)
        t += QStringLiteral(
            "  Qt's own options (-platform NAME, -style NAME, -display DISPLAY, ...)\n"
            "  are passed on to Qt.\n");
    t += QStringLiteral(
        "\nFiles: a portable copy keeps velmora.ini, velmora.log and the web pages\n"
        "beside the program. An installed copy, or one in a folder it cannot write,\n"
        "keeps the settings in $XDG_CONFIG_HOME/velmora/ (~/.config/velmora/) and\n"
        "the rest in $XDG_DATA_HOME/velmora/ (~/.local/share/velmora/).\n");
    return t;
}

QString wrong(const TProgramText& p, const QString& what) {
    return QStringLiteral("%1: %2\n").arg(p.name, what) + helpText(p);
}

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments, const TProgramText& program) {
    TCommandLine r;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            r = {false, 0, helpText(program), {}};
            return r;
        }
        if (a == QLatin1String("-V") || a == QLatin1String("--version")) {
            r = {false,
                 0,
                 QStringLiteral("%1 %2\n").arg(program.name, QLatin1String(kVelmoraVersion)),
                 {}};
            return r;
        }
        if (program.qtOptions) {
            // Qt accepts its options with one dash or two.
            const QString single = a.startsWith(QLatin1String("--")) ? a.mid(1) : a;
            if (kQtAlone.contains(single))
                continue;
            if (kQtWithValue.contains(single)) {
                if (i + 1 < arguments.size()) {
                    ++i;
                    continue;
                }
                return {false,
                        2,
                        {},
                        wrong(program, QStringLiteral("option '%1' needs a value").arg(a))};
            }
        }
        if (a.startsWith(QLatin1Char('-')))
            return {false, 2, {}, wrong(program, QStringLiteral("unknown option '%1'").arg(a))};
        return {false, 2, {}, wrong(program, QStringLiteral("unexpected argument '%1'").arg(a))};
    }
    return r;
}

QStringList Arguments(int argc, char** argv) {
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list << QFile::decodeName(argv[i]);
    return list;
}

bool Obey(const TCommandLine& commandLine) {
    const QByteArray out = commandLine.out.toLocal8Bit();
    const QByteArray err = commandLine.err.toLocal8Bit();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fwrite(err.constData(), 1, size_t(err.size()), stderr);
    std::fflush(stdout);
    std::fflush(stderr);
    return commandLine.run;
}
