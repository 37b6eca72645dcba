#include "localplaymode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>

#include <QFile>
#include <QThread>

#include <json/value.h>

#include <foundation/HostCalls.h>

#include "filehelpers.h"
#include "logfacade.h"
#include "playlibrary.h"

namespace Tolvane {

namespace {

constexpr const char kLogModule[] = "Tolvane";
constexpr int32_t kStreamBufferSize = 15360000;
constexpr unsigned long kRetryMs = 5;

// Opens a regular file for reading without ever waiting on it: a named pipe, a device or a
// socket is refused before a read could block. Links are followed.
QFile* OpenRegularFile(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info;
    const int flags = ::fcntl(fd, F_GETFL);
    auto file = std::make_unique<QFile>();
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags == -1 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ||
        !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file.release();
}

}  // namespace

CLocalPlayMode::CLocalPlayMode(HostContext* context, void* windowHandle, bool hardwareDecoding)
    : CPlayMode(context, windowHandle, hardwareDecoding)
{
}

CLocalPlayMode::~CLocalPlayMode()
{
    EndLifetime();
    // A mode deleted without Close must leave neither its reader nor its port behind.
    StopReader();
    if (m_port.load() != 0) {
        ClosePort();
    }
}

bool CLocalPlayMode::PlayLocalFile(const char* path)
{
    if (path == nullptr || *path == '\0') {
        return false;
    }
    TOLVANE_INFO(kLogModule, "Tolvane::CLocalPlayMode::PlayLocalFile", path);
    std::lock_guard<std::recursive_mutex> life(m_lifeLock);
    StopReader();
    if (m_port.load() != 0) {
        ClosePort();  // the previous file's port
    }

    // Opened here, not by the reader: a file that cannot be read fails the start.
    QFile* file = OpenRegularFile(path);
    if (file == nullptr) {
        TOLVANE_WARN(kLogModule, "Tolvane::CLocalPlayMode::PlayLocalFile", "open file(fileEntry)filed!");
        return false;
    }

    int32_t port = 0;
    const bool freePort = PLAY_CALL(m_context, PLAY_GetFreePort, &port) != 0 && port != 0;
    const bool opened =
        freePort && PLAY_CALL(m_context, PLAY_OpenStream, port, nullptr, 0, kStreamBufferSize) != 0
        && PLAY_CALL(m_context, PLAY_SetStreamOpenMode, port, PLAY_STREAM_FILE) != 0
        && PLAY_CALL(m_context, PLAY_SetEngine, port, m_engine[0], m_engine[1]) != 0
        && PLAY_CALL(m_context, PLAY_Play, port, WindowHandle()) != 0
        && PLAY_CALL(m_context, PLAY_EnableLargePicAdjustment, port, 1) != 0
        && PLAY_CALL(m_context, PLAY_SetPlaySpeed, port, 1.0f) != 0
        && PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, &CPlayMode::DemuxCallBack, static_cast<void*>(this)) != 0
        && PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, &CPlayMode::VisibleDecodeCallBack,
                     static_cast<void*>(this))
               != 0;
    if (!opened) {
        TOLVANE_WARN(kLogModule, "Tolvane::CLocalPlayMode::PlayLocalFile", "Start LocalPlay failed(" << path << ")!");
        if (freePort) {
            // Callbacks that were set go with the port.
            PLAY_CALL(m_context, PLAY_ReleasePort, port);
        }
        CloseQFile(file);
        return false;
    }

    m_port.store(port);
    ApplyPlayMethod();
    m_fileSize.store(0);
    m_fedBytes.store(0);
    m_endSize.store(-1);
    m_open.store(true);
    m_channel.store(0);
    m_speed.store(1.0f);
    m_status.store(StatusPlaying);
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, &CPlayMode::DataCallBack, static_cast<void*>(this));
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, &CPlayMode::EncTypeChangeCallBack,
              static_cast<void*>(this));
    PLAY_CALL(m_context, PLAY_SetColor, port, m_color[0], m_color[1], m_color[2], m_color[3], m_color[4]);
    m_path = path;
    m_file = file;
    m_reader.Start(fastdelegate::FastDelegate0<>(this, &CLocalPlayMode::ReadFileProc));
    EmitStatus(StatusPlaying);
    return true;
}

int64_t CLocalPlayMode::SourceRemain()
{
    const int32_t remain = PLAY_CALL(m_context, PLAY_GetSourceBufferRemain, m_port.load());
    return remain > 0 ? remain : 0;
}

void CLocalPlayMode::ReadFileProc()
{
    QFile* file = m_file;
    m_file = nullptr;
    const int64_t size = GetQIODeviceSizeOrError(file);
    m_fileSize.store(size);
    m_endSize.store(size);
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockSize]);
    if (!block) {
        TOLVANE_WARN(kLogModule, "Tolvane::CLocalPlayMode::ReadFileProc", "malloc buffer failed!");
        CloseQFile(file);
        return;
    }

    Json::Value state(Json::objectValue);
    state["open"] = 1;
    state["playTime"] = 0;
    state["totalTime"] = Json::Int64(size);
    Foundation::NotifyWebEvent(m_context, "ReturnLocalState", state);

    const int32_t port = m_port.load();
    int64_t offset = 0;
    while (m_open.load()) {
        const int64_t read = ReadQFileAt(file, offset, block.get(), kBlockSize);
        if (read <= 0) {
            QThread::msleep(kRetryMs);
        } else {
            bool fed = false;
            while (m_open.load()) {
                if (PLAY_CALL(m_context, PLAY_InputData, port, block.get(), static_cast<int32_t>(read)) != 0) {
                    fed = true;
                    break;
                }
                QThread::msleep(kRetryMs);
            }
            if (!fed) {
                break;  // closed while the player refused the block
            }
            QMutexLocker lock(&m_feedLock);
            offset += read;
            m_fedBytes.store(offset);
        }
        if (m_fedBytes.load() - SourceRemain() == m_endSize.load()) {
            break;
        }
    }
    CloseQFile(file);
    m_open.store(false);
}

void CLocalPlayMode::StopReader()
{
    m_open.store(false);
    m_reader.Wait();
}

int64_t CLocalPlayMode::GetPlayedBytes()
{
    QMutexLocker lock(&m_feedLock);
    return m_fedBytes.load() - SourceRemain();
}

bool CLocalPlayMode::Pause()
{
    if (m_status.load() == StatusPaused) {
        return true;
    }
    if (PLAY_CALL(m_context, PLAY_Pause, m_port.load(), 1) == 0) {
        return false;
    }
    m_status.store(StatusPaused);
    return true;
}

bool CLocalPlayMode::Resume()
{
    const playStatus status = m_status.load();
    if (status == StatusPlaying) {
        return true;
    }
    const int32_t port = m_port.load();
    bool resumed = false;
    if (status == StatusPaused) {
        resumed = PLAY_CALL(m_context, PLAY_Pause, port, 0) != 0;
    } else {
        resumed = PLAY_CALL(m_context, PLAY_Play, port, WindowHandle()) != 0;
        PLAY_CALL(m_context, PLAY_EnableLargePicAdjustment, port, 1);
    }
    if (resumed) {
        m_status.store(StatusPlaying);
    }
    return resumed;
}

bool CLocalPlayMode::Step()
{
    const int32_t port = m_port.load();
    if (port == 0 || PLAY_CALL(m_context, PLAY_OneByOne, port) == 0) {
        return false;
    }
    m_status.store(StatusStepForward);
    return true;
}

bool CLocalPlayMode::SetSpeed(float speed)
{
    Resume();
    if (PLAY_CALL(m_context, PLAY_SetPlaySpeed, m_port.load(), speed) == 0) {
        return false;
    }
    m_speed.store(speed);
    m_status.store(StatusOtherSpeed);
    return true;
}

void CLocalPlayMode::ClosePort()
{
    const int32_t port = m_port.load();
    PLAY_CALL(m_context, PLAY_RigisterDrawFun, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDemuxCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDisplayCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetDataCallBack, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_SetEncTypeChangeCallBackEx, port, nullptr, nullptr);
    PLAY_CALL(m_context, PLAY_Stop, port);
    PLAY_CALL(m_context, PLAY_CloseStream, port);
    PLAY_CALL(m_context, PLAY_ResetSourceBuffer, port);
    PLAY_CALL(m_context, PLAY_ReleasePort, port);
    m_port.store(0);
}

bool CLocalPlayMode::Close()
{
    std::lock_guard<std::recursive_mutex> life(m_lifeLock);
    if (m_status.load() == StatusClosed) {
        return true;
    }
    EmitPictureSize(0, 0);
    EmitClosing();
    m_endSize.store(-1);
    // The reader ends before its port goes back to the library.
    StopReader();
    ClosePort();
    m_status.store(StatusClosed);
    ClearRemovedPlayerWindows();
    EmitStatus(StatusClosed);
    Json::Value state(Json::objectValue);
    state["open"] = 0;
    Foundation::NotifyWebEvent(m_context, "ReturnLocalState", state);
    Reset();
    return true;
}

}  // namespace Tolvane
