#pragma once

#include <QString>

// The client's local data folder derived from this program's own application-data folder:
// the trailing `ownName` is replaced by `clientName` ("…/share/Salvent" → "…/share/Brevix").
// Empty when the folder does not end in `ownName`.
QString DeriveClientDataFolder(const QString& ownDataFolder, const QString& ownName, const QString& clientName);

// Whether a folder may be removed as the client's data: never an empty or relative path, the
// root, the home folder, the program folder, or an ancestor of the home or program folder.
bool IsRemovableDataFolder(const QString& folder, const QString& homeFolder, const QString& programFolder);
