// The stand-in's journal as the tests read it back: whole even while another thread's calls
// are still being recorded.

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quillnetstandin.h"

namespace {

using devtest::QuillnetStandIn;

using StandInJournal = devtest::ScriptedSdkTest;

TEST_F(StandInJournal, ReadsWholeWhileAnotherThreadCalls)
{
    void* library = dlopen(QUILLNET_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    const auto lastError = reinterpret_cast<uint32_t (*)()>(dlsym(library, "CLIENT_GetLastError"));
    dlclose(library);
    ASSERT_NE(lastError, nullptr);

    // Each read sets off a burst of calls that overlaps it; the journal stays small.
    const int reads = 300;
    const int burst = 10;
    std::atomic<int> started{0};
    std::thread caller([&] {
        for (int answered = 0; answered < reads; ++answered) {
            while (started.load() <= answered) {
                std::this_thread::yield();
            }
            for (int i = 0; i < burst; ++i) {
                lastError();
            }
        }
    });
    // A read cut short does not parse and comes back shorter than the one before.
    size_t before = 0;
    for (int read = 0; read < reads; ++read) {
        ++started;
        const size_t now = QuillnetStandIn::CallNames().size();
        EXPECT_GE(now, before) << "read " << read;
        before = now;
    }
    caller.join();
    const std::vector<std::string> names = QuillnetStandIn::CallNames();
    ASSERT_EQ(names.size(), size_t(reads * burst));
    EXPECT_EQ(names.back(), "CLIENT_GetLastError");
}

}  // namespace
