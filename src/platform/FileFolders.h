#pragma once

#include <QString>

// Where Velmora keeps the files it writes. The program's folder holds them
// all while it is a portable copy (a settings file already there, or a
// folder the program can write that is not an installed prefix's bin
// folder); otherwise the per-user folders of the XDG base directory rules.
// The choice is made once, at the first call, and kept for the process.

// The settings file and its lock; ends in exactly one "/".
QString SettingsFolder();
// The monitor log backup and the web pages; ends in exactly one "/".
QString DataFolder();
// Whether the per-user folders are in use.
bool PerUserFolders();
// Whether `path` lies in one of the per-user folders: files Velmora creates
// there are readable by their owner only.
bool InPerUserFolder(const QString& path);

// The help contents: velmora.hlp beside the program when there is one (any
// letter case), else the pages built beside it (velmora-help/), otherwise
// the pages installed under the prefix.
QString HelpFilePath();

// Makes the choice again at the next call (after the program folder or the
// environment changed in a test).
void ResetFileFoldersForTesting();
