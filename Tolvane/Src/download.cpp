#include "download.h"

#include <chrono>

#include <QDebug>
#include <QFile>
#include <QString>
#include <QThread>

#include <foundation/JsonRead.h>

#include "filehelpers.h"
#include "jsonhelper.h"
#include "playlibrary.h"
#include "texthelpers.h"

namespace Tolvane {

namespace {

constexpr int32_t kStreamBufferSize = 4194304;
constexpr int kFeedAttempts = 20;
constexpr int kFeedRetryMs = 50;
constexpr int kWriteAttempts = 3;
constexpr int kDrainPollMs = 5;
constexpr int kDrainSettleMs = 500;
// A player that converts nothing for this long has stalled, as one that refuses input does.
constexpr std::chrono::milliseconds kStallTimeout(kFeedAttempts * kFeedRetryMs);
constexpr int32_t kBufferKindDecoded = 3;

}  // namespace

// --- IDownload ---

IDownload::IDownload(IDevice* device, const Json::Value& fileInfo, const std::string& folder,
                     const std::string& fileName, bool byTime)
    : m_device(device),
      m_fileInfo(fileInfo),
      m_folder(folder),
      m_fileName(fileName),
      m_byTime(byTime),
      m_recordFormat(RecordFormatOf(fileName))
{
}

IDownload::~IDownload() = default;

double IDownload::GetProgressPercent()
{
    return m_progress.load();
}

double IDownload::GetDownloadedSize()
{
    return static_cast<double>(m_downloadedSize.load());
}

int IDownload::GetState()
{
    return m_state.load();
}

bool IDownload::SetStateHandler(const StateHandler& handler)
{
    m_handler = handler;
    return true;
}

void IDownload::SetState(int state)
{
    m_state.store(state);
    if (!m_handler.empty()) {
        m_handler(this, state);
    }
}

int IDownload::RecordFormatOf(const std::string& fileName)
{
    const std::string::size_type dot = fileName.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
    if (extension == "mp4") {
        return 5;
    }
    if (extension == "avi") {
        return 1;
    }
    if (extension == "ts") {
        return 9;
    }
    if (extension == "asf") {
        return 2;
    }
    return 0;
}

// --- CDownloadNormal ---

CDownloadNormal::CDownloadNormal(HostContext* context, IDevice* device, const Json::Value& fileInfo,
                                 const std::string& folder, const std::string& fileName, bool byTime)
    : IDownload(device, fileInfo, folder, fileName, byTime),
      m_context(context != nullptr ? *context : HostContext()),
      m_dataSink(this, &CDownloadNormal::OnData),
      m_positionSink(this, &CDownloadNormal::OnPosition)
{
}

CDownloadNormal::~CDownloadNormal()
{
    {
        std::lock_guard<std::mutex> lock(m_asyncLock);
        if (m_asyncStop.joinable()) {
            m_asyncStop.join();
        }
    }
    Shutdown(true);
}

bool CDownloadNormal::Start()
{
    if (m_device == nullptr) {
        SetState(StateFailed);
        return false;
    }
    Json::Value info = m_fileInfo;
    CJsonHelper::LowerFirstLetterOfKeys(info);
    m_totalSize = static_cast<uint32_t>(static_cast<int64_t>(Foundation::JsonToDouble(Foundation::JsonMember(info, "length"))));
    if (m_recordFormat == 0) {
        const long handle = StartDeviceTransfer(info);
        m_handle = handle;
        SetState(handle != 0 ? StateDownloading : StateFailed);
        qDebug() << "CDownloadNormal::Start: pDevice->DownloadByFile: m_streamHandle:" << handle;
    } else {
        StartConverting(info);
    }
    return true;
}

void CDownloadNormal::StartConverting(Json::Value& info)
{
    HostContext* context = &m_context;
    if (m_port == 0) {
        int32_t port = 0;
        if (PLAY_CALL(context, PLAY_GetFreePort, &port) == 0 || port == 0) {
            SetState(StateFailed);
            return;
        }
        m_port = port;
    }
    const int32_t mode = PLAY_CALL(context, PLAY_SetStreamOpenMode, m_port, 1);
    const int32_t open = PLAY_CALL(context, PLAY_OpenStream, m_port, nullptr, 0, kStreamBufferSize);
    if (mode == 0 && open == 0) {
        // No stream to feed: give the port back and end as failed rather than idle for ever.
        PLAY_CALL(context, PLAY_ReleasePort, m_port);
        m_port = 0;
        SetState(StateFailed);
        return;
    }
    const long handle = StartDeviceTransfer(info);
    m_handle = handle;
    if (handle != 0) {
        qDebug() << "CDownloadNormal::Start: pDevice->DownloadByFile: m_streamHandle:" << handle;
        if (PLAY_CALL(context, PLAY_Play, m_port, nullptr) != 0) {
            const std::string path = m_folder + "/" + m_fileName;
            PLAY_CALL(context, PLAY_StartDataRecord, m_port, Utf8ToLocal8BitStd(path.c_str()).c_str(),
                      m_recordFormat);
            {
                std::lock_guard<std::mutex> lock(m_outputLock);
                m_outputPath = QString::fromStdString(path);
            }
            SetState(StateDownloading);
            return;
        }
        // The player cannot play: the transfer would feed a released port.
        StopDeviceTransfer();
        m_handle = 0;
    }
    ReleasePort();
    SetState(StateFailed);
}

void CDownloadNormal::ReleasePort()
{
    if (m_port != 0) {
        PLAY_CALL(&m_context, PLAY_CloseStream, m_port);
        PLAY_CALL(&m_context, PLAY_ReleasePort, m_port);
        m_port = 0;
    }
}

long CDownloadNormal::StartDeviceTransfer(Json::Value& info)
{
    const QString name = QString::fromStdString(m_fileName);
    info["recordFileType"] = name.endsWith(".rkv", Qt::CaseInsensitive) ? 0 : 4;
    return m_device->DownloadByFile(info, m_folder.c_str(), m_fileName.c_str(), &m_positionSink, &m_dataSink);
}

bool CDownloadNormal::StopDeviceTransfer()
{
    return m_device != nullptr && m_device->StopDownload(m_handle);
}

bool CDownloadNormal::OnData(const unsigned char* data, uint32_t size, uint32_t reserved, uint32_t /*dataType*/)
{
    if (m_state.load() != StateDownloading) {
        return false;
    }
    if (m_recordFormat != 0) {
        if (data == nullptr || size == 0) {
            if (size == 0) {
                OnPosition(1, -1);
                return false;
            }
            return true;
        }
        int32_t result = 0;
        for (int attempt = 0; attempt < kFeedAttempts; ++attempt) {
            result = PLAY_CALL(&m_context, PLAY_InputData, m_port, data, static_cast<int32_t>(size));
            if (result == 1) {
                m_downloadedSize += size;
                return true;
            }
            QThread::msleep(kFeedRetryMs);
        }
        if (result != 0) {
            return true;
        }
        StopLater();
        return false;
    }

    std::unique_lock<std::mutex> lock(m_outputLock);
    if (reserved != 0 || m_output == nullptr) {
        m_output = CloseQFile(m_output);
        if (!MakePath(m_folder.c_str())) {
            qDebug() << "CDownloadNormal::Start: ERROR: MakeDir failed!" << "path:" << m_folder.c_str();
            SetState(StateFailed);
            return false;
        }
        const QString path = MakeUniqueFileName((m_folder + "/" + m_fileName).c_str());
        // Only a new file: an entry that took the name meanwhile (a link, a named pipe) is
        // never opened.
        m_output = new QFile(path);
        if (!m_output->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            delete m_output;
            m_output = nullptr;
        }
        if (m_output == nullptr) {
            qDebug() << "CDownloadNormal::Start: ERROR: OpenFileIO failed!" << "fileName:" << path;
            lock.unlock();
            SetState(StateFailed);
            return false;
        }
        m_outputPath = path;
        // The device delivers a refused block again.
        return false;
    }
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (WriteOutput(reinterpret_cast<const char*>(data), size) != -1) {
            m_downloadedSize += size;
            return true;
        }
    }
    // The disk takes no more: refusing the block would have the device offer it for ever.
    qDebug() << "CDownloadNormal::OnData: ERROR: write failed!" << "fileName:" << m_outputPath;
    m_output = CloseQFile(m_output);
    DiscardOutput();
    lock.unlock();
    SetState(StateFailed);
    return false;
}

qint64 CDownloadNormal::WriteOutput(const char* data, qint64 size)
{
    return WriteQFile(m_output, data, size);
}

void CDownloadNormal::DiscardOutput()
{
    if (!m_outputPath.isEmpty()) {
        RemoveFileIfExists(m_outputPath.toLocal8Bit().constData());
    }
}

void CDownloadNormal::OnPosition(uint32_t /*total*/, int32_t downloaded)
{
    if (downloaded == -1 && m_recordFormat != 0 && !FinishConversion()) {
        // The player kept part of the stream: the converted file is incomplete.
        qDebug() << "CDownloadNormal::OnPosition: ERROR: the player did not convert the whole stream";
        DiscardLockedOutput();
        SetState(StateFailed);
        return;
    }
    if (downloaded == -1 || downloaded == -2) {
        // Everything received is on disk before anyone hears of the end.
        if (!CloseOutput() && downloaded == -1) {
            qDebug() << "CDownloadNormal::OnPosition: ERROR: the file could not be completed";
            DiscardLockedOutput();
            SetState(StateFailed);
            return;
        }
    }
    if (downloaded == -1) {
        if (m_totalSize.load() != 0) {
            m_downloadedSize = m_totalSize.load();
            m_progress = 100.0;
        }
        SetState(StateFinished);
        return;
    }
    if (downloaded == -2) {
        DiscardLockedOutput();  // a device failure leaves a truncated copy
        SetState(StateFailed);
    }
    const uint32_t total = m_totalSize.load();
    if (total == 0) {
        m_progress = 0.0;
        return;
    }
    if (m_downloadedSize.load() > total) {
        m_downloadedSize = total;
    }
    m_progress = static_cast<double>(m_downloadedSize.load()) / total * 100.0;
}

bool CDownloadNormal::Pause()
{
    SetState(StatePaused);
    return true;
}

bool CDownloadNormal::Resume()
{
    SetState(StateDownloading);
    return true;
}

bool CDownloadNormal::CloseOutput()
{
    std::lock_guard<std::mutex> lock(m_outputLock);
    const bool written = m_output == nullptr || (m_output->flush() && m_output->error() == QFileDevice::NoError);
    m_output = CloseQFile(m_output);
    return written;
}

void CDownloadNormal::DiscardLockedOutput()
{
    std::lock_guard<std::mutex> lock(m_outputLock);
    DiscardOutput();
}

bool CDownloadNormal::Stop()
{
    return Shutdown(false);
}

bool CDownloadNormal::Shutdown(bool onlyWithHandle)
{
    std::lock_guard<std::mutex> stopLock(m_stopLock);
    if (!onlyWithHandle || m_handle != 0) {
        if (StopDeviceTransfer()) {
            m_handle = 0;
        }
    }
    // The file is closed whatever the device answered, so no buffered bytes are lost.
    CloseOutput();
    const bool drained = m_recordFormat == 0 || FinishConversion();
    const int state = m_state.load();
    if (!drained || state == StateDownloading || state == StatePaused) {
        // Cut off before the device's end of data (stopped, or the player stalled), or the
        // player kept part of it: the file is a truncated copy, so it goes and the download
        // counts as failed.
        DiscardLockedOutput();
        if (state != StateFailed) {
            SetState(StateFailed);
        }
    } else if (state != StateFinished && state != StateFailed) {
        SetState(StateFinished);
    }
    return true;
}

bool CDownloadNormal::FinishConversion()
{
    std::lock_guard<std::mutex> lock(m_portLock);
    if (m_port == 0) {
        return true;  // finished before, or never started
    }
    HostContext* context = &m_context;
    // Waits while the player converts what it holds; ends when it has stopped taking any.
    bool drained = false;
    int64_t lastHeld = -1;
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        const int64_t remain = std::max<int32_t>(PLAY_CALL(context, PLAY_GetSourceBufferRemain, m_port), 0);
        const int64_t buffered =
            std::max<int32_t>(PLAY_CALL(context, PLAY_GetBufferValue, m_port, kBufferKindDecoded), 0);
        const int64_t held = remain + buffered;
        if (held == 0) {
            drained = true;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (lastHeld < 0 || held < lastHeld) {
            lastHeld = held;
            lastProgress = now;
        } else if (now - lastProgress >= kStallTimeout) {
            qDebug() << "CDownloadNormal: ERROR: the player stalled with" << held << "bytes left";
            break;
        }
        QThread::msleep(kDrainPollMs);
    }
    if (drained) {
        QThread::msleep(kDrainSettleMs);
    }
    PLAY_CALL(context, PLAY_StopDataRecord, m_port);
    PLAY_CALL(context, PLAY_Stop, m_port);
    ReleasePort();
    return drained;
}

void CDownloadNormal::StopLater()
{
    std::lock_guard<std::mutex> lock(m_asyncLock);
    if (m_asyncStop.joinable()) {
        return;  // a stop is on its way already
    }
    m_asyncStop = std::thread([this] { Stop(); });
}

// --- CDownloadByPlayback ---

CDownloadByPlayback::CDownloadByPlayback(HostContext* context, IDevice* device, const Json::Value& fileInfo,
                                         const std::string& folder, const std::string& fileName, bool byTime)
    : CDownloadNormal(context, device, fileInfo, folder, fileName, byTime)
{
}

CDownloadByPlayback::~CDownloadByPlayback()
{
    {
        std::lock_guard<std::mutex> lock(m_asyncLock);
        if (m_asyncStop.joinable()) {
            m_asyncStop.join();
        }
    }
    Shutdown(true);
}

long CDownloadByPlayback::StartDeviceTransfer(Json::Value& info)
{
    info["recordFileType"] = 0;
    if (Foundation::JsonFind(info, "streamType") == nullptr) {
        info["streamType"] = "Main";
    }
    const long handle = m_byTime ? m_device->PlaybackByTime(info, &m_positionSink, &m_dataSink, false)
                                 : m_device->PlaybackByFile(info, &m_positionSink, &m_dataSink, false);
    if (handle != 0) {
        m_device->SetPlayBackSpeed(handle, kFastestStep);
    }
    return handle;
}

bool CDownloadByPlayback::StopDeviceTransfer()
{
    return m_device != nullptr && m_device->StopPlayBack(m_handle);
}

}  // namespace Tolvane
