#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include <foundation/Mutex.h>
#include <foundation/Semaphore.h>
#include <foundation/Task.h>
#include <foundation/Thread.h>

namespace {

struct Worker {
    Foundation::CThread* thread = nullptr;
    std::atomic<int> loops{0};
    void Loop()
    {
        while (!thread->IsStopRequested()) {
            ++loops;
            std::this_thread::yield();
        }
    }
    int runs = 0;
    void Once() { ++runs; }
};

}  // namespace

TEST(ThreadTest, EmptyDelegateEndsAtOnce)
{
    Foundation::CThread thread;
    thread.Start(fastdelegate::FastDelegate0<>());
    thread.Wait();
    EXPECT_TRUE(thread.isFinished());
}

TEST(ThreadTest, RunsTheDelegateOnItsOwnThreadAndStopsByFlagAndJoin)
{
    Foundation::CThread thread;
    Worker worker;
    worker.thread = &thread;
    thread.Start(fastdelegate::FastDelegate0<>(&worker, &Worker::Loop));
    while (worker.loops == 0) {
        std::this_thread::yield();
    }
    thread.RequestStop();
    thread.Wait();
    EXPECT_TRUE(thread.isFinished());
}

TEST(ThreadTest, DestroyingARunningThreadJoinsIt)
{
    Worker worker;
    {
        Foundation::CThread thread;
        worker.thread = &thread;
        thread.Start(fastdelegate::FastDelegate0<>(&worker, &Worker::Loop));
    }
    EXPECT_GE(worker.loops.load(), 0);
}

TEST(SemaphoreTest, PostAtTheMaximumIsLost)
{
    Foundation::CSemaphore semaphore(0, 1);
    EXPECT_TRUE(semaphore.Post());
    EXPECT_FALSE(semaphore.Post());
    EXPECT_TRUE(semaphore.WaitOne());
    EXPECT_FALSE(semaphore.WaitOneFor(0));
}

TEST(SemaphoreTest, WaitBlocksUntilPostedAndCloseReleasesWaiters)
{
    Foundation::CSemaphore semaphore(0, 5);
    auto waiter = std::async(std::launch::async, [&] { return semaphore.WaitOne(); });
    semaphore.Post();
    EXPECT_TRUE(waiter.get());

    auto closed = std::async(std::launch::async, [&] { return semaphore.WaitOne(); });
    semaphore.Close();
    EXPECT_FALSE(closed.get());
    EXPECT_FALSE(semaphore.Post());

    Foundation::CSemaphore invalid;
    EXPECT_FALSE(invalid.Create(2, 1));
    EXPECT_FALSE(invalid.WaitOneFor(0));
}

TEST(MutexTest, RecursiveLockIsFreeForOthersAfterAsManyUnlocks)
{
    Foundation::CMutex mutex;
    mutex.Lock();
    mutex.Lock();
    auto tryOther = [&] {
        return std::async(std::launch::async, [&] {
                   if (!mutex.TryLock()) {
                       return false;
                   }
                   mutex.Unlock();
                   return true;
               }).get();
    };
    mutex.Unlock();
    EXPECT_FALSE(tryOther());
    mutex.Unlock();
    EXPECT_TRUE(tryOther());
}

TEST(TaskTest, RunCallsTheMemberAndTheLastOwnerDeletesTheTask)
{
    Worker worker;
    Foundation::CSharedPtr<Foundation::ITask> task = Foundation::MakeTask(&worker, &Worker::Once);
    EXPECT_TRUE(task->IsRunnable());
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(task->Run());
    EXPECT_EQ(worker.runs, 2);
    EXPECT_EQ(task.use_count(), 1);
}
