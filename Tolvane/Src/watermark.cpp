#include "watermark.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include <QFile>
#include <QThread>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "filehelpers.h"
#include "logfacade.h"
#include "playlibrary.h"

namespace Tolvane {

namespace {

constexpr int32_t kBufferSize = 102400;
constexpr qint64 kBlockSize = 4096;
constexpr unsigned long kRefusedWaitMs = 5;
constexpr int kTotal = 100;
constexpr size_t kTextField = 256;
constexpr size_t kTimeField = 32;

Json::Value MethodAnswer(int result)
{
    Json::Value answer(Json::objectValue);
    answer["result"] = result;
    answer["params"] = Json::Value();
    return answer;
}

// The time value as local time; empty when it cannot be converted.
std::string LocalTimeText(int64_t timeValue)
{
    const std::time_t seconds = static_cast<std::time_t>(timeValue);
    std::tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) {
        return std::string();
    }
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    // The entry's time field holds 32 bytes, the last one always zero.
    text[kTimeField - 1] = '\0';
    return text;
}

}  // namespace

CWatermark::CWatermark(HostContext* context, const char* /*argument*/) : m_context(context)
{
    static const char* const kPath[] = {"fullPath"};
    m_methods.push_back(Foundation::MakeComMethod(this, &CWatermark::StartVerifyWatermark, kPath, true));
    Foundation::RegisterHostMethod(m_context, "StartVerifyWatermark", m_methods.back());
    m_methods.push_back(Foundation::MakeComMethod(this, &CWatermark::StopVerifyWatermark, true));
    Foundation::RegisterHostMethod(m_context, "StopVerifyWatermark", m_methods.back());
}

CWatermark::~CWatermark()
{
    {
        std::lock_guard<std::mutex> start(m_startLock);
        m_running.store(false);
        m_worker.Wait();
    }
    for (Foundation::IComInterface* method : m_methods) {
        delete method;
    }
}

void CWatermark::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CWatermark>(context, argument, Foundation::TypeName::CWatermark);
}

Json::Value CWatermark::StartVerifyWatermark(const std::string& fullPath)
{
    // Starts are serialised: the flag is tested and raised by one caller at a time, and
    // only after the previous worker (which clears it when it ends) is gone.
    std::lock_guard<std::mutex> start(m_startLock);
    if (m_running.load()) {
        return MethodAnswer(0);
    }
    m_worker.Wait();
    {
        std::lock_guard<std::mutex> lock(m_foundLock);
        m_textCount = 0;
        m_faultCount = 0;
        m_found.clear();
    }
    m_running.store(true);
    m_path = fullPath;
    m_worker.Start(fastdelegate::FastDelegate0<>(this, &CWatermark::Feed));
    return MethodAnswer(1);
}

Json::Value CWatermark::StopVerifyWatermark()
{
    m_running.store(false);
    return MethodAnswer(1);
}

void CWatermark::WaitForCheck()
{
    std::lock_guard<std::mutex> start(m_startLock);
    m_worker.Wait();
}

std::vector<CWatermark::Entry> CWatermark::FoundEntries()
{
    std::lock_guard<std::mutex> lock(m_foundLock);
    return m_found;
}

bool CWatermark::OpenPort()
{
    const bool opened = PLAY_CALL(m_context, PLAY_SetStreamOpenMode, kPort, PLAY_STREAM_FILE) != 0
                        && PLAY_CALL(m_context, PLAY_OpenStream, kPort, nullptr, 0, kBufferSize) != 0
                        && PLAY_CALL(m_context, PLAY_SetDisplayCallBack, kPort, nullptr, nullptr) != 0
                        && PLAY_CALL(m_context, PLAY_SetDecCallBack, kPort, nullptr) != 0
                        && PLAY_CALL(m_context, PLAY_Play, kPort, nullptr) != 0
                        && PLAY_CALL(m_context, PLAY_SetWaterMarkCallBackEx, kPort, &CWatermark::WaterMarkCallBack,
                                     static_cast<void*>(this)) != 0;
    if (!opened) {
        PLAY_CALL(m_context, PLAY_CloseStream, kPort);
    }
    return opened;
}

void CWatermark::ClosePort()
{
    PLAY_CALL(m_context, PLAY_Stop, kPort);
    PLAY_CALL(m_context, PLAY_CloseStream, kPort);
}

void CWatermark::Feed()
{
    if (!OpenPort()) {
        // The page is told that the check could not run instead of waiting for an event.
        SendPos(0, PosUnreadable);
        m_running.store(false);
        return;
    }

    QFile* file = OpenQFile(m_path.c_str(), "rb");
    if (file == nullptr) {
        SendPos(0, PosUnreadable);
        ClosePort();
        m_running.store(false);
        return;
    }
    const qint64 size = GetQFileSize(file);
    if (size <= 0) {
        SendPos(0, PosEmpty);
        CloseQFile(file);
        ClosePort();
        m_running.store(false);
        return;
    }

    std::vector<char> block(static_cast<size_t>(kBlockSize));
    int lastPercent = -1;
    qint64 offset = 0;
    while (offset <= size) {
        if (!m_running.load()) {
            SendPos(lastPercent, PosStopped);
            break;
        }
        const qint64 count = ReadQFileAt(file, offset, block.data(), kBlockSize);
        if (count <= 0) {
            if (offset < size) {
                SendPos(lastPercent, PosUnreadable);
            } else {
                SendPos(kTotal, PosFinished);
            }
            break;
        }
        const int percent = static_cast<int>(static_cast<float>(offset) / static_cast<float>(size) * 100.0f);
        if (percent != lastPercent) {
            lastPercent = percent;
            SendPos(percent, PosProgress);
        }
        while (PLAY_CALL(m_context, PLAY_InputData, kPort, block.data(), static_cast<int32_t>(count)) == 0) {
            QThread::msleep(kRefusedWaitMs);
            if (!m_running.load()) {
                break;
            }
        }
        offset += count;
    }
    CloseQFile(file);
    ClosePort();
    m_running.store(false);
}

void CWatermark::SendPos(int pos, int status)
{
    Json::Value params(Json::objectValue);
    params["pos"] = pos;
    params["total"] = kTotal;
    params["status"] = status;
    Foundation::NotifyWebEvent(m_context, "WaterMarkPos", params);
}

void CWatermark::SendInfo(const Entry& entry)
{
    Json::Value params(Json::objectValue);
    params["waterMark"] = entry.text;
    params["waterMarkNo"] = entry.number;
    params["errNo"] = entry.faultNumber;
    params["errType"] = entry.kind;
    params["time"] = entry.time;
    Foundation::NotifyWebEvent(m_context, "WaterMarkInfo", params);
}

int32_t CWatermark::WaterMarkCallBack(int32_t /*port*/, const char* buffer, int64_t timeValue, int32_t flag,
                                      int32_t /*unused*/, int32_t length, int32_t kind, void* user)
{
    auto* self = static_cast<CWatermark*>(user);
    if (self != nullptr) {
        try {
            self->OnWaterMark(buffer, timeValue, flag, length, kind);
        } catch (...) {
            // Nothing crosses back into the library.
        }
    }
    return 0;
}

void CWatermark::OnWaterMark(const char* buffer, int64_t timeValue, int32_t flag, int32_t length, int32_t kind)
{
    if (kind == kKindText) {
        if (flag != 0 || buffer == nullptr || length < 0 || static_cast<size_t>(length) >= kTextField) {
            return;
        }
        Entry entry;
        // The text field is zero-terminated: an embedded zero ends the text.
        entry.text.assign(buffer, strnlen(buffer, static_cast<size_t>(length)));
        entry.kind = kKindText;
        {
            std::lock_guard<std::mutex> lock(m_foundLock);
            for (const Entry& known : m_found) {
                if (known.text == entry.text) {
                    return;
                }
            }
            entry.number = ++m_textCount;
            m_found.push_back(entry);
        }
        if (entry.number == 1) {
            SendInfo(entry);
        }
        return;
    }
    if (kind >= kKindFaultFirst && kind <= kKindFaultLast) {
        Entry entry;
        {
            std::lock_guard<std::mutex> lock(m_foundLock);
            entry.faultNumber = ++m_faultCount;
        }
        entry.kind = kind;
        entry.time = LocalTimeText(timeValue);
        SendInfo(entry);
    }
}

}  // namespace Tolvane
