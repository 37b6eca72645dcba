#include "filemethods.h"

#include "chosenpaths.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QThread>
#include <QUrl>

bool creatFileToDevice(std::string fileName)
{
    const QString path = QString::fromUtf8(fileName.c_str());
    if (!ChosenPaths::Instance().IsWritable(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    file.close();
    return true;
}

bool writeFileToDevice(std::string fileName, std::string item, bool append)
{
    const QString path = QString::fromUtf8(fileName.c_str());
    if (!ChosenPaths::Instance().IsWritable(path))
        return false;
    QFile file(path);
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate);
    if (!file.open(mode))
        return false;
    const qint64 written = file.write(item.data(), static_cast<qint64>(item.size()));
    const bool ok = written == static_cast<qint64>(item.size()) && file.flush();
    file.close();
    return ok;
}

bool openUrlByBrowser(std::string url)
{
    const QUrl address(QString::fromUtf8(url.c_str()), QUrl::TolerantMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return false;
    if (QThread::currentThread() == app->thread())
        return QDesktopServices::openUrl(address);
    bool opened = false;
    QMetaObject::invokeMethod(
        app, [&] { opened = QDesktopServices::openUrl(address); }, Qt::BlockingQueuedConnection);
    return opened;
}
