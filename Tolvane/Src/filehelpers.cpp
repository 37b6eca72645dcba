#include "filehelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstring>

namespace Tolvane {

namespace {

QString pathText(const char* path)
{
    return path ? QString::fromLocal8Bit(path) : QString();
}

QIODevice::OpenMode openModeFromText(const char* mode)
{
    const bool append = std::strchr(mode, 'a');
    const bool plus = std::strchr(mode, '+');
    const bool write = std::strchr(mode, 'w');
    const bool read = std::strchr(mode, 'r');
    const bool binary = std::strchr(mode, 'b');

    QIODevice::OpenMode result = QIODevice::NotOpen;
    if (append)
        result |= QIODevice::Append;
    if (plus)
        result |= QIODevice::ReadWrite;
    if (write)
        result |= QIODevice::Truncate;
    if (!plus && !write && read)
        result |= QIODevice::ReadOnly;
    if (!plus && !read && write)
        result |= QIODevice::WriteOnly;
    if (!plus && !read && !write && append)
        result |= QIODevice::WriteOnly;
    if (!binary)
        result |= QIODevice::Text;
    return result;
}

} // namespace

QString MakeUniqueFileName(const char* path)
{
    return MakeUniqueFileName(pathText(path), [](const QString&) { return false; });
}

QString MakeUniqueFileName(const QString& original, const std::function<bool(const QString&)>& taken)
{
    QString suffix = QFileInfo(original).suffix();
    if (!suffix.isEmpty())
        suffix.prepend(QLatin1Char('.'));
    const QString base = original.left(original.size() - suffix.size());

    QString name = original;
    for (int counter = 1; QFileInfo::exists(name) || taken(name); ++counter)
        name = QStringLiteral("%1 (%2)%3").arg(base, QString::number(counter), suffix);
    return name;
}

QString CleanFileName(QString name)
{
    static const QRegularExpression kForbidden(QStringLiteral("[/:*?\"<>|]"));
    return name.remove(kForbidden);
}

QString GetAppDirPath()
{
    return QCoreApplication::applicationDirPath();
}

bool MakePath(const char* folder)
{
    const QString path = pathText(folder).trimmed();
    if (path.isEmpty())
        return false;
    if (QDir(path).exists())
        return true;
    return QDir().mkpath(path);
}

bool RemoveFile(const char* path)
{
    return QFile::remove(pathText(path));
}

bool RemoveFileIfExists(const char* path)
{
    const QString name = pathText(path);
    if (!QFileInfo(name).isFile())
        return false;
    return QFile::remove(name);
}

QFile* OpenQFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    auto* file = new QFile(pathText(path));
    if (!file->open(openModeFromText(mode))) {
        delete file;
        return nullptr;
    }
    return file;
}

QFile* CloseQFile(QFile* file)
{
    if (file) {
        file->close();
        delete file;
    }
    return nullptr;
}

qint64 ReadQFileAt(QIODevice* device, qint64 position, char* buffer, qint64 length)
{
    if (!device)
        return -1;
    if (!device->seek(position))
        return 0;
    return device->read(buffer, length);
}

qint64 WriteQFile(QIODevice* device, const char* data, qint64 length)
{
    if (!device)
        return -1;
    return device->write(data, length);
}

qint64 GetQFileSize(QIODevice* device)
{
    return device ? device->size() : 0;
}

qint64 GetQIODeviceSizeOrError(QIODevice* device)
{
    return device ? device->size() : -1;
}

bool RenameQFile(QFile* file, const char* newName)
{
    if (!file || !newName)
        return false;
    return file->rename(pathText(newName));
}

} // namespace Tolvane
