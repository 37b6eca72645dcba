#pragma once
// The module's shared timer service. Its own thread watches the due times and posts one
// task (priority 1) to the host's task thread, where the due handlers run.
//
// Lock order: map lock, then heap lock. The heap lock also guards every entry's due time,
// fired flag and state. The timing thread waits on its wake-up semaphore with no lock
// held; SetTimer, re-arms, DestroyTimer and shut-down post it.
//
// DestroyTimer called from outside the timer's handler returns only after a run of that
// handler that is under way has returned; from inside the handler it does not wait. A
// timing task still queued when the service goes finds it detached and does nothing.
// The destructor waits for a pass that is running, so the service must not be released
// from inside one of its own handlers.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <foundation/HostContext.h>
#include <foundation/Mutex.h>
#include <foundation/Semaphore.h>
#include <foundation/SharedPtr.h>
#include <foundation/Task.h>
#include <foundation/Thread.h>

#include <tolvane/ITimer.h>

namespace Tolvane {

class CTimer final : public ITimer {
public:
    CTimer(HostContext* context, const char* argument);
    ~CTimer() override;
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    // Creates the service and registers it as "class Tolvane::ITimer".
    static void CreateSvrObject(HostContext* context, const char* argument);

    uint64_t SetTimer(Handler& handler, int64_t interval) override;
    bool DestroyTimer(uint64_t id) override;

    // The timing task's work, on the host's task thread: runs the handlers of the fired
    // entries, re-arms those that answer above 0, frees finished ones.
    void TimingTaskProc();

private:
    enum State { kActive = 0, kDisabled = 1, kFinished = 2 };

    struct Entry {
        int64_t interval;
        int64_t due;  // milliseconds on the module clock
        Handler handler;
        bool fired;
        uint64_t id;
        int state;
    };

    // What a posted timing task reaches the timer through; the timer detaches itself at
    // destruction, so a task still queued then does nothing when it runs.
    struct TaskLink {
        std::mutex lock;
        CTimer* timer = nullptr;
    };
    class TimingTask;

    void ThreadProc();
    bool Scan();
    // With the heap lock held.
    void PushLocked(Entry* entry);
    Entry* PopLocked();
    // Milliseconds until the top entry is due: -1 with an empty heap, 0 when it is due.
    int64_t WaitTimeLocked(int64_t now) const;

    HostContext* m_context;
    std::map<uint64_t, std::unique_ptr<Entry>> m_entries;
    std::vector<Entry*> m_heap;
    Foundation::CMutex m_heapLock;
    Foundation::CThread m_thread;
    Foundation::CMutex m_mapLock;
    std::atomic<bool> m_stop{false};
    Foundation::CSemaphore m_wakeUp;
    Foundation::CSharedPtr<Foundation::ITask> m_task;
    std::shared_ptr<TaskLink> m_link;
    uint64_t m_lastId = 0;

    // The timer whose handler runs now (0: none) and the thread running it; taken after
    // the heap lock.
    std::mutex m_runLock;
    std::condition_variable m_runDone;
    uint64_t m_runningId = 0;
    std::thread::id m_runningThread;
};

}  // namespace Tolvane
