#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/Signal.h>

using Foundation::Any;
using Foundation::CMutex;
using Foundation::CNolockPolicy;

namespace {

struct Recorder {
    std::vector<std::string>* log;
    std::string name;
    void On(int v) { log->push_back(name + ":" + std::to_string(v)); }
};

using IntSignal = Foundation::CSignal1<int, CNolockPolicy>;
using Handler = fastdelegate::FastDelegate1<int>;

}  // namespace

TEST(SignalTest, HandlersRunInOrderOfTheirLatestConnect)
{
    std::vector<std::string> log;
    Recorder a{&log, "A"}, b{&log, "B"};
    IntSignal signal;
    signal.Emit(0);  // no handlers: nothing happens
    EXPECT_TRUE(log.empty());

    EXPECT_TRUE(signal.Connect(&a, &Recorder::On));
    EXPECT_TRUE(signal.Connect(&b, &Recorder::On));
    EXPECT_TRUE(signal.Connect(&a, &Recorder::On));
    EXPECT_EQ(signal.SlotCount(), 2u);
    signal.Emit(1);
    EXPECT_EQ(log, (std::vector<std::string>{"B:1", "A:1"}));
}

TEST(SignalTest, DisconnectRemovesOnlyThatHandlerAndAlwaysAnswersTrue)
{
    std::vector<std::string> log;
    Recorder a{&log, "A"}, b{&log, "B"}, c{&log, "C"};
    IntSignal signal;
    signal.Connect(&a, &Recorder::On);
    signal.Connect(&b, &Recorder::On);
    signal.Connect(&c, &Recorder::On);
    EXPECT_TRUE(signal.Disconnect(&b, &Recorder::On));
    Recorder stranger{&log, "X"};
    EXPECT_TRUE(signal.Disconnect(&stranger, &Recorder::On));
    signal.Emit(2);
    EXPECT_EQ(log, (std::vector<std::string>{"A:2", "C:2"}));
}

TEST(SignalTest, ConnectAndDisconnectThroughBoxedHandlers)
{
    std::vector<std::string> log;
    Recorder a{&log, "A"};
    IntSignal signal;
    Foundation::ISignal& published = signal;

    Any box(Handler(&a, &Recorder::On));
    Any empty;
    Any wrongType{fastdelegate::FastDelegate1<long>()};
    Any nullObject(Handler(static_cast<Recorder*>(nullptr), &Recorder::On));
    EXPECT_TRUE(published.Connect(box));
    EXPECT_TRUE(published.Connect(empty));
    EXPECT_TRUE(published.Connect(wrongType));
    EXPECT_TRUE(published.Connect(nullObject));
    signal.Emit(3);  // the empty and null-object records are stored but never called
    EXPECT_EQ(log, (std::vector<std::string>{"A:3"}));

    EXPECT_TRUE(published.Disconnect(box));
    signal.Emit(4);
    EXPECT_EQ(log.size(), 1u);
}

namespace {

struct Remover {
    IntSignal* signal;
    Recorder* victim;
    void On(int) { signal->Disconnect(victim, &Recorder::On); }
};

}  // namespace

// A handler may delete the object whose handler it disconnects: a disconnected handler is
// not called again, not even by the emit under way.
TEST(SignalTest, HandlerDisconnectedDuringAnEmitIsNotCalledByIt)
{
    std::vector<std::string> log;
    IntSignal signal;
    Recorder victim{&log, "V"};
    Remover remover{&signal, &victim};
    signal.Connect(&remover, &Remover::On);
    signal.Connect(&victim, &Recorder::On);

    signal.Emit(1);
    signal.Emit(2);
    EXPECT_TRUE(log.empty());
}

namespace {

// A handler that stays inside until the test lets it go; it can disconnect itself.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false;
    bool open = false;
    std::atomic<int> calls{0};
    std::function<void()> whileInside;

    void On(int)
    {
        ++calls;
        std::unique_lock<std::mutex> lock(mutex);
        inside = true;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        lock.unlock();
        if (whileInside) {
            whileInside();
        }
    }
    void WaitInside()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return inside; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

// Disconnects through each way a handler goes: the typed calls of both policies, the
// published interface, and the signal's end.
struct DisconnectWay {
    const char* name;
    std::function<void(Gate&)> connect;
    std::function<void(int)> emit;
    std::function<void(Gate&)> disconnect;
};

}  // namespace

TEST(SignalTest, DisconnectReturnsOnlyOnceACallOnAnotherThreadHasEnded)
{
    IntSignal nolock;
    CMutex lock;
    Foundation::CSignal1<int, CMutex> locked;
    auto ended = std::make_unique<IntSignal>();
    const DisconnectWay ways[] = {
        {"no-lock policy", [&](Gate& g) { nolock.Connect(&g, &Gate::On); }, [&](int v) { nolock.Emit(v); },
         [&](Gate& g) { nolock.Disconnect(&g, &Gate::On); }},
        {"mutex policy", [&](Gate& g) { locked.Connect(&g, &Gate::On, lock); }, [&](int v) { locked.Emit(v, lock); },
         [&](Gate& g) { locked.Disconnect(&g, &Gate::On, lock); }},
        {"published interface",
         [&](Gate& g) {
             Any box(Handler(&g, &Gate::On));
             static_cast<Foundation::ISignal&>(nolock).Connect(box);
         },
         [&](int v) { nolock.Emit(v); },
         [&](Gate& g) {
             Any box(Handler(&g, &Gate::On));
             static_cast<Foundation::ISignal&>(nolock).Disconnect(box);
         }},
        {"signal destroyed", [&](Gate& g) { ended->Connect(&g, &Gate::On); },
         [&, signal = ended.get()](int v) { signal->Emit(v); }, [&](Gate&) { ended.reset(); }},
    };
    for (const DisconnectWay& way : ways) {
        SCOPED_TRACE(way.name);
        Gate gate;
        way.connect(gate);
        std::thread emitter([&] { way.emit(1); });
        gate.WaitInside();

        std::atomic<bool> returned{false};
        std::thread disconnecter([&] {
            way.disconnect(gate);
            returned = true;
        });
        // The disconnect cannot return while the call runs; it must once the call ends.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(returned);
        gate.Open();
        disconnecter.join();
        emitter.join();
        EXPECT_TRUE(returned);
        if (way.name != std::string("signal destroyed")) {
            way.emit(2);
        }
        EXPECT_EQ(gate.calls, 1);
    }
}

TEST(SignalTest, HandlersThatDisconnectThemselvesDoNotWait)
{
    // Two threads inside one handler, each disconnecting it: neither waits for the other.
    CMutex lock;
    Foundation::CSignal1<int, CMutex> signal;
    Gate gate;
    gate.whileInside = [&] { signal.Disconnect(&gate, &Gate::On, lock); };
    signal.Connect(&gate, &Gate::On, lock);
    std::thread first([&] { signal.Emit(1, lock); });
    gate.WaitInside();
    std::thread second([&] { signal.Emit(2, lock); });
    while (gate.calls < 2) {
        std::this_thread::yield();
    }
    gate.Open();
    first.join();
    second.join();
    signal.Emit(3, lock);
    EXPECT_EQ(gate.calls, 2);
    EXPECT_EQ(signal.SlotCount(lock), 0u);
}

namespace {

// Asks another thread whether the owner's lock is free while the handler runs.
struct LockProbe {
    CMutex* lock;
    bool freeDuringHandler = false;
    void On(int) {
        freeDuringHandler = std::async(std::launch::async, [this] {
                                if (!lock->TryLock()) {
                                    return false;
                                }
                                lock->Unlock();
                                return true;
                            }).get();
    }
};

}  // namespace

TEST(SignalTest, MutexPolicyDoesNotHoldTheOwnersLockAcrossHandlers)
{
    CMutex lock;
    Foundation::CSignal1<int, CMutex> signal;
    LockProbe probe{&lock};
    signal.Connect(&probe, &LockProbe::On, lock);
    signal.Emit(1, lock);
    EXPECT_TRUE(probe.freeDuringHandler);
    EXPECT_EQ(signal.SlotCount(lock), 1u);
    EXPECT_TRUE(signal.Disconnect(&probe, &LockProbe::On, lock));
    EXPECT_EQ(signal.SlotCount(lock), 0u);
}

TEST(SignalTest, MutexPolicyWaitsForTheOwnersLock)
{
    CMutex lock;
    Foundation::CSignal1<int, CMutex> signal;
    std::vector<std::string> log;
    Recorder a{&log, "A"};
    signal.Connect(&a, &Recorder::On, lock);

    lock.Lock();  // the owner is busy: an emit on another thread must wait for it
    std::atomic<bool> emitted{false};
    std::thread emitter([&] {
        signal.Emit(5, lock);
        emitted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(emitted);
    lock.Unlock();
    emitter.join();
    EXPECT_EQ(log, (std::vector<std::string>{"A:5"}));
}

TEST(SignalTest, SignalsOfEveryArity)
{
    struct Sink {
        int calls = 0;
        void Zero() { ++calls; }
        void Six(int, const char*, long, long, long, void*) { ++calls; }
    } sink;
    Foundation::CSignal0<> zero;
    zero.Connect(&sink, &Sink::Zero);
    zero.Emit();
    CMutex lock;
    Foundation::CSignal6<int, const char*, long, long, long, void*, CMutex> six;
    six.Connect(&sink, &Sink::Six, lock);
    six.Emit(1, "x", 2, 3, 4, nullptr, lock);
    EXPECT_EQ(sink.calls, 2);
}
