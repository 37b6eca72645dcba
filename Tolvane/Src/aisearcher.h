#pragma once
// Intelligent file search on the device: creates a finder object through the device's
// transparent JSON channel, starts a search with a condition, fetches the results in pages
// of 100 on a pool thread and hands them to a result sink until the device has no more or
// the wanted number is reached, then destroys the finder.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include <QFuture>

#include <json/json.h>

#include <foundation/FastDelegate.h>
#include <foundation/HostContext.h>
#include <foundation/SharedPtr.h>

namespace Tolvane {

class IDevice;
class IDeviceMgr;
class CAiSearcher;

// (searcher, batch of file records) -> -1 end the search, 0 offer the same batch again a
// second later, any other value: taken. Called on the searcher's pool thread.
using AiSearchResultSink = fastdelegate::FastDelegate<int(CAiSearcher*, const Json::Value&)>;

class CAiSearcher
{
public:
    static constexpr int kPageSize = 100;
    static constexpr int kRequestTimeoutMs = 3000;
    static constexpr int kRetryIntervalMs = 1000;

    CAiSearcher(HostContext* context, const Json::Value& condition, int wanted);
    // Stops the search and waits for the worker; a batch being offered again is given up.
    ~CAiSearcher();

    CAiSearcher(const CAiSearcher&) = delete;
    CAiSearcher& operator=(const CAiSearcher&) = delete;

    bool SetResultSink(const AiSearchResultSink& sink);
    // Creates the finder and starts the search; false once stopped or already started.
    bool Start();
    // True once started and no more batches will come: the device had no more, the wanted
    // number was reached, a request failed, or no search could run at all.
    bool IsFinished() const { return m_finished.load(); }

private:
    uint32_t CreateFinder();
    bool FindFile(uint32_t finder);
    // The answer of the next page; false when the request failed or the device said no.
    bool FindNextFile(uint32_t finder, Json::Value* answer);
    bool DestroyFinder(uint32_t finder);
    bool Transmit(const Json::Value& request, Json::Value* answer);

    void Worker();
    // Hands one batch to the sink until it takes it; false when the search is to end.
    bool HandOver(const Json::Value& batch);

    AiSearchResultSink m_sink;
    Json::Value m_condition;
    int m_wanted = 0;
    int m_found = 0;
    Foundation::CSharedPtr<IDeviceMgr> m_deviceMgr;  // keeps the device object alive
    IDevice* m_device = nullptr;
    std::atomic<bool> m_stop{false};
    uint32_t m_finderId = 0;
    QFuture<void> m_worker;
    int m_pageSize = kPageSize;

    std::mutex m_lifeLock;  // Start against destruction
    bool m_started = false;
    std::atomic<bool> m_cancel{false};  // set by the destructor only
    std::atomic<bool> m_finished{false};
    std::mutex m_waitLock;
    std::condition_variable m_wake;
};

}  // namespace Tolvane
