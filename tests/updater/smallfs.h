#pragma once

#include <QString>

// A small file system mounted on a folder for the life of the object, so that writes there
// run out of space. Needs the right to mount (root in CI); Mount() says why when it cannot.
class SmallFileSystem
{
public:
    ~SmallFileSystem();

    // Mounts a file system of `bytes` on `folder` (made if missing).
    bool Mount(const QString& folder, qint64 bytes, QString* why);
    // Fills it until fewer than `freeBytes` stay free.
    bool FillLeaving(qint64 freeBytes);
    qint64 FreeBytes() const;

private:
    QString m_folder;
};
