#pragma once

#include <QString>

// The executable's folder, ending in exactly one "/".
QString ProgramFolder();
// Tests point the program at a folder of their own; empty restores the real
// one. The files' folders are chosen again after it.
void SetProgramFolderForTesting(const QString& folder);

// The path of `name` in `folder`, matching an existing file whatever the
// letter case; when none exists, the path as given.
QString FindFileAnyCase(const QString& folder, const QString& name);
