#pragma once

#include <foundation/SharedPtr.h>
#include <foundation/Task.h>
#include <foundation/Thread.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <queue>
#include <vector>

// The client's one background thread for tasks posted by the modules: the
// highest priority runs first, posting order within one priority.
class CTaskWorker
{
public:
    // Starts the worker thread.
    CTaskWorker();
    // Stops the thread; queued tasks are dropped unrun.
    ~CTaskWorker();

    CTaskWorker(const CTaskWorker&) = delete;
    CTaskWorker& operator=(const CTaskWorker&) = delete;

    // Queues the task (the caller keeps its own reference). False, and the
    // task is not kept, once the worker has been stopped or for a null pointer.
    bool PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task);

    // Waits for the running task to finish, ends the thread and releases every
    // queued task without running it. Later calls do nothing.
    void Stop();

private:
    struct Entry
    {
        std::uint64_t stamp;
        int priority;
        Foundation::CSharedPtr<Foundation::ITask> task;
    };
    // Orders the heap so that its top is the entry that runs next.
    struct RunsLater
    {
        bool operator()(const Entry& a, const Entry& b) const
        {
            if (a.priority != b.priority)
                return a.priority < b.priority;
            return a.stamp > b.stamp;
        }
    };

    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::priority_queue<Entry, std::vector<Entry>, RunsLater> m_queue;
    std::uint64_t m_stamp = 0;   // 64 bits: cannot wrap in practice
    bool m_stopping = false;
    Foundation::CThread m_thread;
};
