#pragma once

#include <QString>

namespace DownloadPaths {

// A name beside path that names no existing file: path itself when free, else
// "base (n).suffix" with the first free n from 1.
QString uniqueFileName(const QString& path);

}  // namespace DownloadPaths
