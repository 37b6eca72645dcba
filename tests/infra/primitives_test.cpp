#include "Infra/assertionreporter.h"
#include "Infra/criticalsectionmutex.h"
#include "Infra/function.h"
#include "Infra/singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Tarvo::Infra;

namespace {

TEST(AssertionReporterDeathTest, PrintsTheLineAndAborts)
{
    EXPECT_DEATH(AssertionReporter::report("id >= 0", "PacketManagerInternal::free",
                                           "PacketManager", 483),
                 "^\\*\\*\\*\\*\\* Internal Program Error - assertion \\(id >= 0\\) failed in "
                 "PacketManagerInternal::free: PacketManager\\(483\\)\n$");
    EXPECT_DEATH(AssertionReporter::report("false", "PacketInternal::destroy(): unreachable!\n",
                                           "PacketInternal::destroy", "Packet", 239),
                 "^\\*\\*\\*\\*\\* Internal Program Error - assertion \\(false\\) failed in "
                 "PacketInternal::destroy: Packet\\(239\\): PacketInternal::destroy\\(\\): "
                 "unreachable!\n\n$");
}

TEST(CriticalSectionMutex, IsRecursiveAndReleasable)
{
    CCriticalSectionMutex mutex;
    EXPECT_FALSE(mutex.enter()) << "not created yet";
    mutex.create();
    EXPECT_TRUE(mutex.enter());
    EXPECT_TRUE(mutex.enter());
    EXPECT_TRUE(mutex.leave());
    EXPECT_TRUE(mutex.leave());

    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                CCriticalSectionGuard outer(mutex);
                CCriticalSectionGuard inner(mutex);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 40000);
    mutex.destroy();
    EXPECT_FALSE(mutex.valid());
}

int plainLength(const std::string& text)
{
    return static_cast<int>(text.size());
}

struct Scaler
{
    int factor;
    int scaled(const std::string& text) { return factor * static_cast<int>(text.size()); }
};

TEST(Function, KindsAndCalls)
{
    using F = TFunction1<int, const std::string&>;
    Scaler scaler{10};
    struct Case
    {
        const char* what;
        F function;
        int32_t kind;
        int result; // -1: empty, not called
    };
    const Case cases[] = {
        {"default", F(), kFunctionEmpty, -1},
        {"null function", F(static_cast<F::PlainFunction>(nullptr)), kFunctionEmpty, -1},
        {"plain function", F(&plainLength), kFunctionPlain, 3},
        {"member", F::member<&Scaler::scaled>(&scaler), kFunctionMember, 30},
        {"member on null object", F::member<&Scaler::scaled>(static_cast<Scaler*>(nullptr)),
         kFunctionEmpty, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.function.kind(), c.kind);
        EXPECT_EQ(c.function.empty(), c.result < 0);
        if (!c.function.empty()) {
            EXPECT_EQ(c.function("abc"), c.result);
        }
    }
    EXPECT_EQ(F(&plainLength), F(&plainLength));
    EXPECT_NE(F::member<&Scaler::scaled>(&scaler), F(&plainLength));
}

struct Probe
{
    static inline std::atomic<int> constructed{0};
    Probe() { ++constructed; }
};

TEST(Singleton, CreatedOnceAcrossThreads)
{
    std::vector<std::thread> threads;
    std::vector<Probe*> seen(8, nullptr);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&seen, t] { seen[t] = CSingleton<Probe>::instance(); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(Probe::constructed, 1);
    for (Probe* p : seen)
        EXPECT_EQ(p, CSingleton<Probe>::instance());
}

} // namespace
