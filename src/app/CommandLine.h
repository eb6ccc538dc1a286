#pragma once

#include <QString>
#include <QStringList>

// The options both front ends share: --help, --version, and a refusal of
// anything else. Parsed from the raw arguments before any Qt application
// exists, so --help works without a display.
struct TCommandLine {
    bool run = true;  // false: print and exit with exitCode
    int exitCode = 0; // 0 after --help or --version, 2 after a wrong argument
    QString out;      // for standard output
    QString err;      // for standard error
};

struct TProgramText {
    QString name;    // "velmora" or "velmora-headless"
    QString summary; // one line on what this front end is
    // Qt's own options the window accepts and leaves to QApplication.
    bool qtOptions = false;
};

TCommandLine ParseCommandLine(const QStringList& arguments, const TProgramText& program);
// Arguments from main(); arguments[0], the program, is left out.
QStringList Arguments(int argc, char** argv);
// Prints the result's texts; true when the program should go on.
bool Obey(const TCommandLine& commandLine);
