// Compiled into the test programs of ThreadSanitizer builds only. The toolkit's library is
// not instrumented, so its mutexes, read-write locks and thread pools are invisible to the
// sanitizer and everything they guard looks racy. These definitions take the place of the
// library's entry points for the code linked into this program: the locks call the library's
// own and tell the sanitizer what was acquired and released; the pools run their tasks here.

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include <QMutex>
#include <QReadWriteLock>
#include <QThread>
#include <QThreadPool>
#include <QVariant>

extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

namespace {

template <class Fn>
Fn Library(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = Library<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = Library<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked) {
        __tsan_acquire(this);
    }
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = Library<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto real = Library<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    real(this);
    __tsan_acquire(this);
}

void QReadWriteLock::lockForWrite()
{
    static const auto real = Library<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    real(this);
    __tsan_acquire(this);
}

void QReadWriteLock::unlock()
{
    static const auto real = Library<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    __tsan_release(this);
    real(this);
}

namespace {

// The tasks of one QThreadPool, run on threads of this file instead of the library's: the
// library's queue, its thread bookkeeping and its wake-ups are all invisible to the sanitizer,
// and a stack it cannot restore defeats any suppression of them. Workers are made as tasks
// wait (no limit, so a task that waits for another never starves) and end after 30 seconds
// idle, as the library's do.
class Workers {
public:
    static Workers& Of(const QThreadPool* pool)
    {
        static std::mutex lock;
        // Never freed: idle workers may outlive the program's static objects.
        static auto* all = new std::unordered_map<const QThreadPool*, Workers*>();
        std::lock_guard<std::mutex> guard(lock);
        Workers*& workers = (*all)[pool];
        if (workers == nullptr) {
            workers = new Workers();
        }
        return *workers;
    }

    void Start(std::function<void()> task)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tasks.push_back(std::move(task));
        if (m_idle < static_cast<int>(m_tasks.size())) {
            std::thread([this] { Work(); }).detach();
        } else {
            m_queued.notify_one();
        }
    }

    bool WaitForDone(int msecs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        const auto done = [this] { return m_tasks.empty() && m_running == 0; };
        if (msecs < 0) {
            m_done.wait(lock, done);
            return true;
        }
        return m_done.wait_for(lock, std::chrono::milliseconds(msecs), done);
    }

    int Active()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_running + static_cast<int>(m_tasks.size());
    }

private:
    void Work()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            ++m_idle;
            const bool woken = m_queued.wait_for(lock, std::chrono::seconds(30), [this] { return !m_tasks.empty(); });
            --m_idle;
            if (!woken) {
                return;
            }
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            ++m_running;
            lock.unlock();
            task();
            task = nullptr;  // the task's captures end before it counts as done
            lock.lock();
            --m_running;
            m_done.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_queued;  // a task waits for a worker
    std::condition_variable m_done;    // a task has ended
    std::deque<std::function<void()>> m_tasks;
    int m_idle = 0;
    int m_running = 0;
};

}  // namespace

void QThreadPool::start(QRunnable* runnable, int /*priority*/)
{
    if (runnable != nullptr) {
        Workers::Of(this).Start([runnable] {
            const bool owned = runnable->autoDelete();
            runnable->run();
            if (owned) {
                delete runnable;
            }
        });
    }
}

void QThreadPool::start(std::function<void()> functionToRun, int /*priority*/)
{
    Workers::Of(this).Start(std::move(functionToRun));
}

bool QThreadPool::waitForDone(int msecs)
{
    return Workers::Of(this).WaitForDone(msecs);
}

int QThreadPool::activeThreadCount() const
{
    return Workers::Of(this).Active();
}

// A thread's end happens before a wait() that sees it: the library joins its threads through
// its own wait condition, so the thread releases its object from its `finished` signal, which
// it emits after run() has returned, and a successful wait acquires it.
void QThread::start(Priority priority)
{
    static const auto real = Library<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    static const char kReleases[] = "tsanReleasesAtFinish";
    if (!property(kReleases).toBool()) {
        connect(this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
        setProperty(kReleases, true);
    }
    real(this, priority);
}

namespace {

bool Joined(QThread* thread, bool ended)
{
    if (ended) {
        __tsan_acquire(thread);
    }
    return ended;
}

}  // namespace

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = Library<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    return Joined(this, real(this, deadline));
}

bool QThread::wait(unsigned long time)
{
    static const auto real = Library<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    return Joined(this, real(this, time));
}
