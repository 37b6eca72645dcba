#include "downloadbyremote.h"

#include <stdio.h>
#include <unistd.h>

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <foundation/JsonRead.h>

#include "filehelpers.h"
#include "texthelpers.h"

namespace Tolvane {

CDownloadByRemote::CDownloadByRemote(IDevice* device, const Json::Value& fileInfo, const std::string& folder,
                                     const std::string& fileName, bool byPiece, bool adjustName)
    : IDownload(device, fileInfo, folder, fileName, false), m_byPiece(byPiece), m_adjustName(adjustName)
{
}

CDownloadByRemote::~CDownloadByRemote()
{
    Stop();
}

bool CDownloadByRemote::Start()
{
    if (m_device == nullptr || m_state.load() == StateFinished) {
        SetState(StateFailed);
        return false;
    }
    const Json::Value* path = Foundation::JsonFind(m_fileInfo, "FilePath");
    const Json::Value* contents = Foundation::JsonFind(m_fileInfo, "FileContents");
    const bool byPath = path != nullptr && path->isString();
    if (!byPath && (contents == nullptr || !contents->isString())) {
        SetState(StateFailed);
        return false;
    }
    if (!MakePath(m_folder.c_str())) {
        qDebug() << "CDownloadByRemote::Start: ERROR: MakeDir failed!" << "path:" << m_folder.c_str();
        SetState(StateFailed);
        return false;
    }
    QString local = QString::fromStdString(m_folder + "/" + m_fileName);
    if (m_adjustName) {
        local = MakeUniqueFileName(local.toLocal8Bit().constData());
    }

    if (byPath) {
        const std::string remote = Foundation::JsonStringOrEmpty(*path);
        const QByteArray localUtf8 = local.toUtf8();
        bool ok = false;
        if (m_byPiece) {
            ok = m_device->DownloadPieceFile(remote.c_str(), localUtf8.constData());
        } else {
            ok = m_device->DownloadRemoteFile(Utf8ToLocal8Bit(QByteArray(remote.c_str())).constData(),
                                              Utf8ToLocal8Bit(localUtf8).constData());
        }
        if (ok) {
            m_progress = 100.0;
        } else {
            RemoveFile(local.toLocal8Bit().constData());
        }
        SetState(ok ? StateFinished : StateFailed);
        return ok;
    }

    // Written whole beside the target and renamed over it, so a failure leaves no partial
    // file and whatever was there (a file, a link, a named pipe) is replaced, never opened.
    const bool ok = WriteContents(Foundation::JsonStringOrEmpty(*contents), local);
    if (ok) {
        m_progress = 100.0;
    }
    SetState(ok ? StateFinished : StateFailed);
    return ok;
}

bool CDownloadByRemote::WriteContents(const std::string& text, const QString& localPath)
{
    static const std::string kPrefix = "base64,";
    const std::string::size_type at = text.find(kPrefix);
    const std::string encoded = at == std::string::npos ? text : text.substr(at + kPrefix.size());
    const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(encoded));
    QTemporaryFile file(localPath + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        return false;
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush() && ::fsync(file.handle()) == 0 &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    file.close();
    if (!written || ::rename(QFile::encodeName(file.fileName()).constData(),
                             QFile::encodeName(localPath).constData()) != 0) {
        return false;  // the temporary file goes with the object
    }
    file.setAutoRemove(false);
    return true;
}

bool CDownloadByRemote::Stop()
{
    const int state = m_state.load();
    if (state != StateFinished && state != StateFailed) {
        SetState(StateFinished);
    }
    return true;
}

bool CDownloadByRemote::Pause()
{
    return false;
}

bool CDownloadByRemote::Resume()
{
    return false;
}

}  // namespace Tolvane
