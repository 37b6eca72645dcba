#include "taskworker.h"

#include <foundation/Task.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the tasks of one test did, in order.
class Record
{
public:
    void Add(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(what);
        m_changed.notify_all();
    }
    std::vector<std::string> Items() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items;
    }
    bool WaitForCount(std::size_t count) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_items.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_items;
};

// A task that runs a function and notes in the record whether it was destroyed unrun.
class FunctionTask : public Foundation::ITask
{
public:
    FunctionTask(Record* record, std::string name, std::function<void()> body = {})
        : m_record(record), m_name(std::move(name)), m_body(std::move(body))
    {
    }
    ~FunctionTask() override
    {
        if (!m_ran)
            m_record->Add("dropped " + m_name);
    }
    bool Run() override
    {
        m_ran = true;
        if (m_body)
            m_body();
        m_record->Add(m_name);
        return true;
    }
    bool IsRunnable() override { return true; }

private:
    Record* m_record;
    std::string m_name;
    std::function<void()> m_body;
    bool m_ran = false;
};

Foundation::CSharedPtr<Foundation::ITask> MakeTask(Record* record, std::string name,
                                                   std::function<void()> body = {})
{
    return Foundation::CSharedPtr<Foundation::ITask>(
        static_cast<Foundation::ITask*>(new FunctionTask(record, std::move(name), std::move(body))));
}

// Holds the worker inside one task until opened, so that later posts queue up.
class Gate
{
public:
    // Called by the holding task.
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    // Returns once the holding task runs.
    void WaitEntered()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_entered; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

bool Post(CTaskWorker& worker, int priority, Foundation::CSharedPtr<Foundation::ITask> task)
{
    return worker.PostTask(priority, &task);
}

}  // namespace

TEST(TaskWorkerTest, HigherPriorityFirstThenPostingOrder)
{
    struct Posting
    {
        int priority;
        const char* name;
    };
    const struct
    {
        std::vector<Posting> posts;
        std::vector<std::string> runs;
    } cases[] = {
        {{{1, "a"}, {5, "b"}, {1, "c"}}, {"b", "a", "c"}},
        {{{0, "a"}, {-3, "b"}, {2, "c"}, {-3, "d"}, {2, "e"}}, {"c", "e", "a", "b", "d"}},
        {{{7, "a"}, {7, "b"}, {7, "c"}}, {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        Record record;
        Gate gate;
        CTaskWorker worker;
        Post(worker, 0, MakeTask(&record, "gate", [&] { gate.Wait(); }));
        gate.WaitEntered();
        for (const Posting& post : c.posts)
            ASSERT_TRUE(Post(worker, post.priority, MakeTask(&record, post.name)));
        gate.Open();
        ASSERT_TRUE(record.WaitForCount(c.posts.size() + 1));
        std::vector<std::string> expected{"gate"};
        expected.insert(expected.end(), c.runs.begin(), c.runs.end());
        EXPECT_EQ(record.Items(), expected);
    }
}

TEST(TaskWorkerTest, EqualPrioritiesKeepPostingOrderPastManyPosts)
{
    constexpr int kPosts = 70000;  // beyond a 16-bit wake-up count
    Record record;
    Gate gate;
    std::vector<int> order;
    order.reserve(kPosts);
    CTaskWorker worker;
    Post(worker, 1, MakeTask(&record, "gate", [&] { gate.Wait(); }));
    gate.WaitEntered();
    for (int i = 0; i < kPosts; ++i)
        Post(worker, 1, MakeTask(&record, "t", [&order, i] { order.push_back(i); }));
    gate.Open();
    ASSERT_TRUE(record.WaitForCount(kPosts + 1));
    ASSERT_EQ(order.size(), static_cast<std::size_t>(kPosts));
    for (int i = 0; i < kPosts; ++i)
        ASSERT_EQ(order[i], i);
}

TEST(TaskWorkerTest, TaskPostedFromARunningTaskRunsAfterIt)
{
    Record record;
    Gate gate;
    CTaskWorker worker;
    Post(worker, 0, MakeTask(&record, "gate", [&] { gate.Wait(); }));
    gate.WaitEntered();
    Post(worker, 3, MakeTask(&record, "poster", [&] {
        Post(worker, 9, MakeTask(&record, "posted"));
        record.Add("poster ends");
    }));
    Post(worker, 1, MakeTask(&record, "queued"));
    gate.Open();
    ASSERT_TRUE(record.WaitForCount(5));
    EXPECT_EQ(record.Items(),
              (std::vector<std::string>{"gate", "poster ends", "poster", "posted", "queued"}));
}

TEST(TaskWorkerTest, StopFinishesTheRunningTaskAndDropsTheQueued)
{
    Record record;
    Gate gate;
    CTaskWorker worker;
    Post(worker, 0, MakeTask(&record, "running", [&] { gate.Wait(); }));
    gate.WaitEntered();
    Post(worker, 5, MakeTask(&record, "a"));
    Post(worker, 0, MakeTask(&record, "b"));

    // Opens the gate once the worker refuses posts, that is once Stop has begun.
    std::thread opener([&] {
        while (Post(worker, 0, MakeTask(&record, "probe")))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gate.Open();
    });
    worker.Stop();
    opener.join();

    std::vector<std::string> items = record.Items();
    items.erase(std::remove(items.begin(), items.end(), "dropped probe"), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"running", "dropped a", "dropped b"}));

    // Stopped for good.
    EXPECT_FALSE(Post(worker, 0, MakeTask(&record, "late")));
    worker.Stop();
}

TEST(TaskWorkerTest, FailingAndEmptyPostsDoNotStopTheWorker)
{
    Record record;
    CTaskWorker worker;
    Foundation::CSharedPtr<Foundation::ITask> empty;
    EXPECT_FALSE(worker.PostTask(0, nullptr));
    EXPECT_FALSE(worker.PostTask(0, &empty));
    EXPECT_TRUE(Post(worker, 0, MakeTask(&record, "throws", [] { throw std::runtime_error("task"); })));
    EXPECT_TRUE(Post(worker, 0, MakeTask(&record, "after")));
    ASSERT_TRUE(record.WaitForCount(1));
    EXPECT_EQ(record.Items(), (std::vector<std::string>{"after"}));
}
