#pragma once

#include <QString>

// The application folder the shell reads its files from: the executable's
// folder unless another one was set (the program sets the one it stored at
// start, tests set a temporary folder).
namespace ShellPaths {

QString ApplicationFolder();
void SetApplicationFolder(const QString& folder);

QString HistoryFile();

} // namespace ShellPaths
