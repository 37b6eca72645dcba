#include <gtest/gtest.h>

#include <foundation/Any.h>
#include <foundation/FastDelegate.h>

#include "modulebypath.h"

namespace {

struct CalibrateListener {
    void OnCalibrate(int, bool) {}
};

TEST(Hadrune, PublishesTheCalibrateSignalUntilCleared)
{
    LoadedModule module(HADRUNE_LIBRARY_PATH);
    ASSERT_TRUE(module.Load()) << module.Error();
    // A second load publishes nothing more.
    ASSERT_TRUE(module.Load());

    EXPECT_EQ(module.Host().SignalCount("FISH_Calibrate"), 1);
    CalibrateListener listener;
    Foundation::Any handler(fastdelegate::FastDelegate2<int, bool>(&listener, &CalibrateListener::OnCalibrate));
    EXPECT_TRUE(module.Context()->ConnectSignal("FISH_Calibrate", &handler));
    EXPECT_TRUE(module.Host().MethodNames().empty());
    EXPECT_TRUE(module.Host().ObjectNames().empty());

    module.Clear();
    EXPECT_EQ(module.Host().SignalCount("FISH_Calibrate"), 0);
}

}  // namespace
