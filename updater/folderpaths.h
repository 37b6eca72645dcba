#pragma once

#include <QString>

// The absolute path with links resolved as far as it exists and dot segments removed from the
// rest. Relative paths resolve against the current directory.
QString ResolvedPath(const QString& path);

// Whether the resolved `path` lies strictly inside the resolved `folder`.
bool IsInsideFolder(const QString& path, const QString& folder);

// Whether the folder that holds `file` is `root` or lies inside it once links are resolved.
// The file's own entry is not looked at: writes replace it, never follow it. When the folder
// leads elsewhere, a line naming both goes to standard error.
bool FolderStaysInside(const QString& file, const QString& root);
