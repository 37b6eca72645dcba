// Compiled into the test programs of ThreadSanitizer builds only. The toolkit's library is
// not instrumented, so its mutexes, read-write locks and pool hand-offs are invisible to the
// sanitizer and everything they guard looks racy. These definitions take the place of the library's entry points for the code
// linked into this program, call the library's own, and tell the sanitizer what was
// acquired and released.

#include <dlfcn.h>

#include <functional>
#include <utility>

#include <QMutex>
#include <QReadWriteLock>
#include <QThreadPool>

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

// A task handed to the pool is built on the caller's thread and read on a pool thread, which may
// have been waiting since an earlier task: the hand-off goes through the library's queue. The
// wrapper is built here, in instrumented code, and acquires the hand-off in run() before any of
// its members is read; the task's address names the hand-off, the pool's address the task's end
// for waitForDone.
class HandedOver final : public QRunnable {
public:
    HandedOver(QThreadPool* pool, QRunnable* task)
        : m_pool(pool), m_task(task)
    {
        __tsan_release(this);
    }

    HandedOver(QThreadPool* pool, std::function<void()> function)
        : m_pool(pool), m_function(std::move(function))
    {
        __tsan_release(this);
    }

    void run() override
    {
        __tsan_acquire(this);
        struct Done {
            QThreadPool* pool;
            ~Done() { __tsan_release(pool); }
        } done{m_pool};
        if (m_task == nullptr) {
            m_function();
            return;
        }
        const bool owned = m_task->autoDelete();
        m_task->run();
        if (owned) {
            delete m_task;
        }
    }

    static void Start(QThreadPool* pool, HandedOver* task, int priority)
    {
        static const auto real =
            Library<void (*)(QThreadPool*, QRunnable*, int)>("_ZN11QThreadPool5startEP9QRunnablei");
        real(pool, task, priority);
    }

private:
    QThreadPool* m_pool;
    QRunnable* m_task = nullptr;
    std::function<void()> m_function;
};

}  // namespace

// A task handed to the pool happens before its run on the pool thread, and its run before a
// waitForDone of the pool that returns true.
void QThreadPool::start(QRunnable* runnable, int priority)
{
    if (runnable != nullptr) {
        HandedOver::Start(this, new HandedOver(this, runnable), priority);
    }
}

void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    HandedOver::Start(this, new HandedOver(this, std::move(functionToRun)), priority);
}

bool QThreadPool::waitForDone(int msecs)
{
    static const auto real = Library<bool (*)(QThreadPool*, int)>("_ZN11QThreadPool11waitForDoneEi");
    const bool done = real(this, msecs);
    if (done) {
        __tsan_acquire(this);
    }
    return done;
}
