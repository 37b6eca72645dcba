#pragma once

#include <QString>

// The client's name from its program file (App/startEXE): the file name without folder and
// without its last suffix ("Brevix.exe" → "Brevix"). Empty when that leaves no name.
QString ClientNameFromProgram(const QString& program);

// The client's local data folder derived from this program's own application-data folder:
// the trailing `ownName` is replaced by `clientName` ("…/share/Salvent" → "…/share/Brevix").
// Empty when the folder does not end in `ownName`.
QString DeriveClientDataFolder(const QString& ownDataFolder, const QString& ownName, const QString& clientName);

// The folder to remove as the client's own data, or empty when `folder` is not that folder.
// After links and dot segments are resolved it must lie inside the user's data location
// `dataHome` (not be it), carry the client's name as its last component, and be neither the
// program folder, nor inside it, nor one of its ancestors; the folder's own entry must not be a
// link (links in the path above it are followed). `why` tells what was refused.
QString ClientDataFolder(const QString& folder, const QString& clientName, const QString& dataHome,
                         const QString& programFolder, QString* why);
