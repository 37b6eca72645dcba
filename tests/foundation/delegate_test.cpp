#include <gtest/gtest.h>

#include <foundation/FastDelegate.h>

using fastdelegate::FastDelegate1;
using fastdelegate::MakeDelegate;

namespace {

struct Target {
    int sum = 0;
    void Add(int v) { sum += v; }
    void Sub(int v) { sum -= v; }
    int Twice(int v) const { return 2 * v; }
};

struct Base {
    virtual ~Base() = default;
    virtual int Name() { return 1; }
};
struct Derived : Base {
    int Name() override { return 2; }
};

}  // namespace

TEST(DelegateTest, EqualityNeedsBothObjectAndMember)
{
    Target x, y;
    const FastDelegate1<int> xAdd(&x, &Target::Add);
    struct Case {
        const char* what;
        FastDelegate1<int> other;
        bool equal;
    } cases[] = {
        {"same object, same member", FastDelegate1<int>(&x, &Target::Add), true},
        {"same object, other member", FastDelegate1<int>(&x, &Target::Sub), false},
        {"other object, same member", FastDelegate1<int>(&y, &Target::Add), false},
        {"null object, same member", FastDelegate1<int>(static_cast<Target*>(nullptr), &Target::Add), false},
        {"empty delegate", FastDelegate1<int>(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(xAdd == c.other, c.equal) << c.what;
        EXPECT_EQ(xAdd != c.other, !c.equal) << c.what;
    }
}

TEST(DelegateTest, NullObjectIsEmptyAndCallingAnswersDefault)
{
    FastDelegate1<int> none(static_cast<Target*>(nullptr), &Target::Add);
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(static_cast<bool>(none));
    none(3);  // must not crash
    fastdelegate::FastDelegate1<int, int> noResult;
    EXPECT_EQ(noResult(4), 0);
}

TEST(DelegateTest, CallsMemberOnObjectIncludingConstAndVirtual)
{
    Target t;
    auto add = MakeDelegate(&t, &Target::Add);
    add(5);
    add(2);
    EXPECT_EQ(t.sum, 7);
    const Target& ct = t;
    auto twice = MakeDelegate(&ct, &Target::Twice);
    EXPECT_EQ(twice(21), 42);

    Derived d;
    fastdelegate::FastDelegate0<int> viaBase(static_cast<Base*>(&d), &Base::Name);
    EXPECT_EQ(viaBase(), 2);
}
