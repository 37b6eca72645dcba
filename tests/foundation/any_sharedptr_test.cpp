#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/Any.h>
#include <foundation/SharedPtr.h>

using Foundation::Any;
using Foundation::CopyFromHolder;
using Foundation::CSharedPtr;

namespace {

struct Probe {
    virtual ~Probe() = default;
    int value = 7;
};

std::atomic<int> g_released{0};
void ReleaseProbe(Probe* probe)
{
    ++g_released;
    delete probe;
}

struct Counted : Probe {
    explicit Counted(std::atomic<int>* deaths) : m_deaths(deaths) {}
    ~Counted() override { ++*m_deaths; }
    std::atomic<int>* m_deaths;
};

class SharedPtrTest : public ::testing::Test {
protected:
    void SetUp() override { g_released = 0; }
};

}  // namespace

TEST_F(SharedPtrTest, CopiesAssignmentsAndReleaseCountUseOnce)
{
    {
        CSharedPtr<Probe> a(new Probe, &ReleaseProbe);
        EXPECT_EQ(a.use_count(), 1);
        CSharedPtr<Probe> b(a);
        EXPECT_EQ(a.use_count(), 2);
        b = b;  // same count block: nothing changes
        EXPECT_EQ(a.use_count(), 2);
        CSharedPtr<Probe> c;
        c = a;
        EXPECT_EQ(a.use_count(), 3);
        b.reset();
        c = CSharedPtr<Probe>();
        EXPECT_EQ(a.use_count(), 1);
        EXPECT_EQ(g_released, 0);
    }
    EXPECT_EQ(g_released, 1);
}

TEST_F(SharedPtrTest, AssigningAnotherObjectReleasesTheOldOne)
{
    CSharedPtr<Probe> a(new Probe, &ReleaseProbe);
    CSharedPtr<Probe> b(new Probe, &ReleaseProbe);
    a = b;
    EXPECT_EQ(g_released, 1);
    EXPECT_EQ(b.use_count(), 2);
    EXPECT_EQ(a.get(), b.get());
}

TEST_F(SharedPtrTest, EmptyPointersTouchNoCount)
{
    CSharedPtr<Probe> empty;
    CSharedPtr<Probe> copy(empty);
    EXPECT_FALSE(copy);
    EXPECT_EQ(copy.use_count(), 0);
    copy = empty;
    EXPECT_EQ(copy.get(), nullptr);
    CSharedPtr<Probe> fromNull(static_cast<Probe*>(nullptr), &ReleaseProbe);
    EXPECT_FALSE(fromNull);
    fromNull.reset();
    EXPECT_EQ(g_released, 0);
}

TEST_F(SharedPtrTest, OwnedObjectIsDeletedThroughItsOwnTypeFromABasePointer)
{
    std::atomic<int> deaths{0};
    {
        CSharedPtr<Counted> derived(new Counted(&deaths));
        CSharedPtr<Probe> base(derived);
        EXPECT_EQ(base.use_count(), 2);
    }
    EXPECT_EQ(deaths, 1);
}

TEST_F(SharedPtrTest, DropsOnManyThreadsAtOnceReleaseExactlyOnce)
{
    constexpr int kRounds = 200;
    constexpr int kThreads = 8;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<CSharedPtr<Probe>> copies;
        {
            CSharedPtr<Probe> origin(new Probe, &ReleaseProbe);
            for (int i = 0; i < kThreads; ++i) {
                copies.push_back(origin);
            }
        }
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                while (!go) {
                }
                CSharedPtr<Probe> extra(copies[i]);  // copy and drop concurrently too
                copies[i].reset();
            });
        }
        go = true;
        for (auto& t : threads) {
            t.join();
        }
    }
    EXPECT_EQ(g_released, kRounds);
}

TEST_F(SharedPtrTest, AnyCloneAddsAnOwnerAndDestroyingItRemovesIt)
{
    CSharedPtr<Probe> service(new Probe, &ReleaseProbe);
    Any box(service);
    EXPECT_EQ(service.use_count(), 2);
    {
        Any clone(box);
        EXPECT_EQ(service.use_count(), 3);
        CSharedPtr<Probe> fetched = CopyFromHolder<Probe>(clone);
        EXPECT_EQ(fetched.get(), service.get());
        EXPECT_EQ(service.use_count(), 4);
    }
    EXPECT_EQ(service.use_count(), 2);
    box = Any();
    EXPECT_EQ(service.use_count(), 1);
    service.reset();
    EXPECT_EQ(g_released, 1);
}

TEST_F(SharedPtrTest, FetchingFromEmptyOrForeignBoxYieldsEmptyPointer)
{
    struct Other {};
    const Any empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(CopyFromHolder<Probe>(empty));
    EXPECT_TRUE(Any(empty).empty());

    // A box holding another type must not be reinterpreted as a Probe pointer.
    CSharedPtr<Other> other(new Other);
    const Any foreign(other);
    EXPECT_FALSE(CopyFromHolder<Probe>(foreign));
    EXPECT_FALSE(CopyFromHolder<Probe>(Any(42)));
    EXPECT_EQ(other.use_count(), 2);
}

TEST(AnyTest, HoldsClonesAndMovesValues)
{
    Any a(std::string("text"));
    ASSERT_NE(Foundation::AnyCast<std::string>(&a), nullptr);
    EXPECT_EQ(a.type(), typeid(std::string));
    Any b(a);
    *Foundation::AnyCast<std::string>(&a) = "changed";
    EXPECT_EQ(*Foundation::AnyCast<std::string>(&b), "text");
    Any c(std::move(b));
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(*Foundation::AnyCast<std::string>(&c), "text");
    EXPECT_EQ(Foundation::AnyCast<int>(&c), nullptr);
    EXPECT_EQ(Any().type(), typeid(void));

    // A holder handed over is taken, not boxed as a pointer.
    Any taken(new Any::Holder<int>(5));
    ASSERT_NE(Foundation::AnyCast<int>(&taken), nullptr);
    EXPECT_EQ(*Foundation::AnyCast<int>(&taken), 5);
}
