#include "timer.h"

#include <algorithm>
#include <climits>

#include <QDebug>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "logfacade.h"
#include "perfcounter.h"

namespace Tolvane {

namespace {

constexpr int kTaskPriority = 1;

// Heap order: entries that are not active first, then the earliest due time.
struct Later {
    template <class E>
    bool operator()(const E* a, const E* b) const
    {
        const bool aActive = a->state == 0;
        const bool bActive = b->state == 0;
        if (aActive != bActive) {
            return aActive;
        }
        return a->due > b->due;
    }
};

int64_t NowMilliseconds()
{
    return static_cast<int64_t>(PerfCounterMicroseconds() / 1000);
}

}  // namespace

class CTimer::TimingTask final : public Foundation::ITask {
public:
    explicit TimingTask(std::shared_ptr<TaskLink> link) : m_link(std::move(link)) {}

    bool Run() override
    {
        std::lock_guard<std::mutex> guard(m_link->lock);
        if (m_link->timer != nullptr) {
            m_link->timer->TimingTaskProc();
        }
        return true;
    }
    bool IsRunnable() override { return true; }

private:
    std::shared_ptr<TaskLink> m_link;
};

CTimer::CTimer(HostContext* context, const char* /*argument*/)
    : m_context(context), m_wakeUp(0, 1), m_link(std::make_shared<TaskLink>())
{
    m_link->timer = this;
    m_task = Foundation::CSharedPtr<Foundation::ITask>(static_cast<Foundation::ITask*>(new TimingTask(m_link)));
    m_thread.Start(fastdelegate::FastDelegate0<>(this, &CTimer::ThreadProc));
}

CTimer::~CTimer()
{
    m_stop.store(true);
    m_wakeUp.Post();
    m_thread.Wait();
    {
        // Waits for a pass that is running now; tasks still queued find no timer.
        std::lock_guard<std::mutex> guard(m_link->lock);
        m_link->timer = nullptr;
    }
    {
        std::lock_guard<Foundation::CMutex> mapGuard(m_mapLock);
        std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
        m_heap.clear();
        m_entries.clear();
    }
    m_task.reset();
    m_wakeUp.Close();
}

void CTimer::CreateSvrObject(HostContext* context, const char* argument)
{
    TOLVANE_TRACE("Tolvane", "Tolvane::CreateSvrObject", "CreateSvrObject");
    Foundation::CreateSvrObject<CTimer, ITimer>(context, argument, Foundation::TypeName::ITimer);
}

uint64_t CTimer::SetTimer(Handler& handler, int64_t interval)
{
    std::lock_guard<Foundation::CMutex> mapGuard(m_mapLock);
    const uint64_t nowUs = PerfCounterMicroseconds();
    // Strictly increasing, so two timers made within one microsecond still differ.
    const uint64_t id = std::max(nowUs, m_lastId + 1);
    m_lastId = id;

    auto entry = std::make_unique<Entry>();
    entry->interval = interval;
    entry->due = static_cast<int64_t>(nowUs / 1000) + interval;
    entry->handler = handler;
    entry->fired = false;
    entry->id = id;
    entry->state = kActive;
    Entry* raw = entry.get();
    m_entries.emplace(id, std::move(entry));

    std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
    PushLocked(raw);
    qDebug() << "CTimer::SetTimer:" << id;
    m_wakeUp.Post();
    return id;
}

bool CTimer::DestroyTimer(uint64_t id)
{
    {
        std::lock_guard<Foundation::CMutex> mapGuard(m_mapLock);
        auto found = m_entries.find(id);
        if (found == m_entries.end()) {
            return true;
        }
        qDebug() << "CTimer::DestroyTimer:" << id;
        Entry* entry = found->second.get();
        std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
        if (entry->state == kActive) {
            entry->state = kDisabled;
            if (!entry->fired) {
                // A disabled entry belongs at the top: the next scan takes it off at once.
                std::make_heap(m_heap.begin(), m_heap.end(), Later());
                m_wakeUp.Post();
            }
        }
    }
    // A run of the handler under way ends before the caller may free what it uses; no new
    // run starts, the entry being disabled. The handler's own thread does not wait for itself.
    std::unique_lock<std::mutex> run(m_runLock);
    m_runDone.wait(run, [&] { return m_runningId != id || m_runningThread == std::this_thread::get_id(); });
    return true;
}

void CTimer::PushLocked(Entry* entry)
{
    if (m_heap.size() == m_heap.capacity()) {
        m_heap.reserve(m_heap.empty() ? 8 : m_heap.capacity() * 2);
    }
    m_heap.push_back(entry);
    std::push_heap(m_heap.begin(), m_heap.end(), Later());
}

CTimer::Entry* CTimer::PopLocked()
{
    std::pop_heap(m_heap.begin(), m_heap.end(), Later());
    Entry* entry = m_heap.back();
    m_heap.pop_back();
    return entry;
}

int64_t CTimer::WaitTimeLocked(int64_t now) const
{
    if (m_heap.empty()) {
        return -1;
    }
    const Entry* top = m_heap.front();
    if (top->state != kActive || top->due <= now) {
        return 0;
    }
    return top->due - now;
}

bool CTimer::Scan()
{
    std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
    const int64_t now = NowMilliseconds();
    std::size_t popped = 0;
    while (!m_heap.empty()) {
        const Entry* top = m_heap.front();
        if (top->state == kActive && top->due > now) {
            break;
        }
        Entry* entry = PopLocked();
        entry->fired = true;
        ++popped;
        if (popped >= m_heap.size()) {
            break;
        }
    }
    return popped > 0;
}

void CTimer::ThreadProc()
{
    while (!m_stop.load()) {
        if (Scan()) {
            Foundation::PostHostTask(m_context, kTaskPriority, m_task);
        }
        int64_t wait;
        {
            std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
            wait = WaitTimeLocked(NowMilliseconds());
        }
        if (m_stop.load()) {
            break;
        }
        if (wait < 0) {
            m_wakeUp.WaitOne();
        } else if (wait > 0) {
            m_wakeUp.WaitOneFor(static_cast<int>(std::min<int64_t>(wait, INT_MAX)));
        }
    }
}

void CTimer::TimingTaskProc()
{
    std::map<uint64_t, Entry*> pass;
    {
        std::lock_guard<Foundation::CMutex> mapGuard(m_mapLock);
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            bool finished;
            {
                std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
                finished = it->second->state == kFinished;
            }
            if (finished) {
                it = m_entries.erase(it);
            } else {
                pass.emplace(it->first, it->second.get());
                ++it;
            }
        }
    }

    // Entries are freed only here, on this one task thread, so the pointers stay valid
    // while the handlers run without a lock.
    bool rearmed = false;
    for (const auto& item : pass) {
        Entry* entry = item.second;
        int state;
        Handler handler;
        {
            std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
            if (!entry->fired) {
                continue;
            }
            state = entry->state;
            handler = entry->handler;
            if (state == kActive) {
                std::lock_guard<std::mutex> run(m_runLock);
                m_runningId = entry->id;
                m_runningThread = std::this_thread::get_id();
            }
        }
        if (state == kActive) {
            int answer = 0;
            if (!handler.empty()) {
                try {
                    answer = handler(entry->id);
                } catch (...) {
                    answer = 0;
                }
            }
            {
                std::lock_guard<std::mutex> run(m_runLock);
                m_runningId = 0;
                m_runningThread = std::thread::id();
            }
            m_runDone.notify_all();
            if (answer > 0) {
                std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
                entry->fired = false;
                entry->due = NowMilliseconds() + entry->interval;
                PushLocked(entry);
                rearmed = true;
            } else {
                qDebug() << "CTimer::TimingTaskProc: timeOutOP <=0:" << entry->id;
                std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
                entry->state = kFinished;
            }
        } else if (state == kDisabled) {
            qDebug() << "CTimer::TimingTaskProc: state == disable:" << entry->id;
            std::lock_guard<Foundation::CMutex> heapGuard(m_heapLock);
            entry->state = kFinished;
        }
    }
    if (rearmed) {
        m_wakeUp.Post();
    }
}

}  // namespace Tolvane
