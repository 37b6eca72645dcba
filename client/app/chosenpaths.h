#pragma once

#include <QMutex>
#include <QSet>
#include <QString>

// Paths the user chose in this run through the client's own dialogs: the page
// may write only there. A chosen file allows that file; a chosen folder allows
// the files inside it. Any thread.
class ChosenPaths
{
public:
    static ChosenPaths& Instance();

    void AllowFile(const QString& path);
    void AllowFolder(const QString& path);
    bool IsWritable(const QString& path) const;
    void Clear();

private:
    mutable QMutex m_mutex;
    QSet<QString> m_files;
    QSet<QString> m_folders;
};
