// Compiled into the test programs of ThreadSanitizer builds only. The toolkit's library is
// not instrumented, so its mutexes, read-write locks and pool hand-offs are invisible to the
// sanitizer and everything they guard looks racy. These definitions take the place of the library's entry points for the code
// linked into this program, call the library's own, and tell the sanitizer what was
// acquired and released.

#include <dlfcn.h>

#include <functional>
#include <memory>

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

// A function handed to the pool happens before its run on the pool thread, and its run
// before a waitForDone of the pool that returns true.
void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    static const auto real =
        Library<void (*)(QThreadPool*, std::function<void()>, int)>("_ZN11QThreadPool5startESt8functionIFvvEEi");
    auto token = std::make_shared<char>(0);
    __tsan_release(token.get());
    real(
        this,
        [token, pool = this, run = std::move(functionToRun)] {
            __tsan_acquire(token.get());
            struct Done {
                QThreadPool* pool;
                ~Done() { __tsan_release(pool); }
            } done{pool};
            run();
        },
        priority);
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
