#include "taskworker.h"

#include <utility>

CTaskWorker::CTaskWorker()
{
    m_thread.Start(fastdelegate::MakeDelegate(this, &CTaskWorker::Run));
}

CTaskWorker::~CTaskWorker()
{
    Stop();
}

bool CTaskWorker::PostTask(int priority, Foundation::CSharedPtr<Foundation::ITask>* task)
{
    if (task == nullptr || !*task)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return false;
        m_queue.push(Entry{++m_stamp, priority, *task});
    }
    m_wake.notify_one();
    return true;
}

void CTaskWorker::Run()
{
    for (;;) {
        Foundation::CSharedPtr<Foundation::ITask> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            task = m_queue.top().task;
            m_queue.pop();
        }
        try {
            task->Run();
        } catch (...) {
            // A task's failure stays inside the task.
        }
        // The last reference may go here, outside the lock.
    }
}

void CTaskWorker::Stop()
{
    decltype(m_queue) dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping && !m_thread.isRunning() && m_queue.empty())
            return;
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.Wait();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_queue);
    }
    // Queued tasks are released unrun, outside the lock: a task's destructor may post.
}
