#pragma once

// File and folder helpers over Qt's file classes. Path arguments are texts in
// the local 8-bit encoding (see Utf8ToLocal8Bit).

#include <functional>

#include <QString>
#include <QtGlobal>

class QFile;
class QIODevice;

namespace Tolvane {

// The path itself when nothing exists there, else "base (n).suffix" with the
// smallest n from 1 up that is free.
QString MakeUniqueFileName(const char* path);
// The same over a path in Unicode, where taken(name) also rules a name out.
QString MakeUniqueFileName(const QString& path, const std::function<bool(const QString&)>& taken);
// The name without any of / : * ? " < > |, so that it stays one name within its folder.
QString CleanFileName(QString name);
QString GetAppDirPath();
// Creates the folder with its parents; false for a blank text or on failure.
bool MakePath(const char* folder);
bool RemoveFile(const char* path);
// Removes path only when it is a file.
bool RemoveFileIfExists(const char* path);
// Opens path with an fopen-style mode ("rb", "w", "a+", ...); null on failure.
// The caller owns the file (CloseQFile).
QFile* OpenQFile(const char* path, const char* mode);
// Closes and deletes the file; always returns null.
QFile* CloseQFile(QFile* file);
// -1 for a null device, 0 when position cannot be reached, else what read gives.
qint64 ReadQFileAt(QIODevice* device, qint64 position, char* buffer, qint64 length);
// -1 for a null device, else what write gives.
qint64 WriteQFile(QIODevice* device, const char* data, qint64 length);
// 0 for a null device.
qint64 GetQFileSize(QIODevice* device);
// -1 for a null device.
qint64 GetQIODeviceSizeOrError(QIODevice* device);
bool RenameQFile(QFile* file, const char* newName);

} // namespace Tolvane
