#pragma once
// The watermark check of recorded files: the file is fed through the player library's
// fixed port 90 on a worker thread; progress, the first watermark text found and every
// watermark fault go to the page as "WaterMarkPos" and "WaterMarkInfo". One check at a time.
//
// m_startLock serialises starts (a start waits for the previous worker before it raises
// the running flag again); m_foundLock guards the found list and counts, which the
// library's watermark callback writes.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/Thread.h>

namespace Tolvane {

class CWatermark {
public:
    // The player port of every check.
    static constexpr int32_t kPort = 90;
    // Watermark kinds the library reports: 1 a text, 2 to 6 faults.
    static constexpr int32_t kKindText = 1;
    static constexpr int32_t kKindFaultFirst = 2;
    static constexpr int32_t kKindFaultLast = 6;

    // "WaterMarkPos" statuses.
    enum PosStatus { PosProgress = 0, PosFinished = 1, PosStopped = -1, PosEmpty = -2, PosUnreadable = -3 };

    struct Entry {
        std::string text;     // at most 255 bytes
        int32_t number = 0;   // among the distinct texts of the check, from 1
        int32_t faultNumber = 0;
        int32_t kind = 0;
        std::string time;     // "%d-%02d-%02d %02d:%02d:%02d", or empty
    };

    CWatermark(HostContext* context, const char* argument);
    ~CWatermark();
    CWatermark(const CWatermark&) = delete;
    CWatermark& operator=(const CWatermark&) = delete;

    // Creates the service and registers it as "class Tolvane::CWatermark".
    static void CreateSvrObject(HostContext* context, const char* argument);

    // JSON methods: {"result": 1 or 0, "params": null}.
    Json::Value StartVerifyWatermark(const std::string& fullPath);
    Json::Value StopVerifyWatermark();

    // The library's watermark callback; user is the service.
    static int32_t WaterMarkCallBack(int32_t port, const char* buffer, int64_t timeValue, int32_t flag,
                                     int32_t unused, int32_t length, int32_t kind, void* user);

    bool IsRunning() const { return m_running.load(); }
    // Waits until the worker of the last check has ended.
    void WaitForCheck();
    // The distinct texts found by the current or last check.
    std::vector<Entry> FoundEntries();

private:
    void Feed();
    bool OpenPort();
    void ClosePort();
    void SendPos(int pos, int status);
    void SendInfo(const Entry& entry);
    void OnWaterMark(const char* buffer, int64_t timeValue, int32_t flag, int32_t length, int32_t kind);

    int32_t m_textCount = 0;
    int32_t m_faultCount = 0;
    HostContext* m_context;
    Foundation::CThread m_worker;
    std::atomic<bool> m_running{false};
    std::string m_path;
    std::vector<Entry> m_found;

    std::mutex m_startLock;
    std::mutex m_foundLock;
    std::vector<Foundation::IComInterface*> m_methods;  // published, owned
};

}  // namespace Tolvane
