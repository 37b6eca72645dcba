#pragma once

#include <QString>

// Stops every process of this user whose executable is exactly the file `executable`, never
// this process: its folder is resolved, the file itself is not, so a program folder entry
// that is a link to a program elsewhere matches no process of that program; SIGKILL to each process id, then waits at most `waitMs` until all are
// gone. An empty or missing path stops nothing. Returns the number of processes signalled.
int StopProgramAt(const QString& executable, int waitMs);

// Sets the execute bits that go with the file's read bits. A link is left alone: its mode is
// that of whatever it leads to.
bool MakeExecutable(const QString& path);

// Starts the program by full path, detached, with `folder` as its current directory.
bool StartProgramDetached(const QString& program, const QString& folder);
