// The module logger over a log-level list of its own: thresholds, the line it prints, the
// notices without a list, and the list shared by many threads.

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <foundation/LogLevelTable.h>

#include "logfacade.h"
#include "messagecapture.h"

namespace {

using Tolvane::LogFacade;

class LogFacadeTest : public ::testing::Test {
protected:
    void SetUp() override { Tolvane::SetModuleLogger(&m_table); }

    void TearDown() override
    {
        Tolvane::SetModuleLogger(nullptr);
        for (Foundation::LogLevelNode* node = m_table.head; node != nullptr;) {
            Foundation::LogLevelNode* next = node->next;
            std::free(node->name);
            delete node;
            node = next;
        }
    }

    int NodeCount()
    {
        int count = 0;
        for (Foundation::LogLevelNode* node = m_table.head; node != nullptr; node = node->next) {
            ++count;
        }
        return count;
    }

    Foundation::LogLevelTable m_table;
    MessageCapture m_messages;
};

TEST_F(LogFacadeTest, LinesPassFromTheModuleLevelUp)
{
    Tolvane::SetModuleLogLevel(&m_table, "Playback", 1);
    Tolvane::SetModuleLogLevel(&m_table, "Stream", 2);
    struct Case {
        const char* module;
        void (*log)(const std::string&, const std::string&, const char*, int, const char*);
        bool passes;
    };
    const Case cases[] = {
        {"Stream", &LogFacade::trace, false}, {"Stream", &LogFacade::info, true},
        {"Stream", &LogFacade::warn, true},   {"Playback", &LogFacade::trace, true},
        {"Fresh", &LogFacade::trace, false},  {"Fresh", &LogFacade::info, false},
        {"Fresh", &LogFacade::warn, true},
    };
    for (const Case& c : cases) {
        m_messages.Clear();
        c.log(c.module, "text", "Src/x.cpp", 7, "Tolvane::F");
        const std::string line = std::string("[") + c.module + "][Src/x.cpp:7 Tolvane::F] text";
        EXPECT_EQ(m_messages.Lines(), c.passes ? std::vector<std::string>{line} : std::vector<std::string>{})
            << c.module;
    }
    // An unknown name was added once, with level 3, at the head.
    EXPECT_STREQ(m_table.head->name, "Fresh");
    EXPECT_EQ(m_table.head->level, 3);
    EXPECT_EQ(NodeCount(), 3);
}

TEST_F(LogFacadeTest, MacroBuildsTheMessageAndNamesTheCaller)
{
    TOLVANE_WARN("UI", "Tolvane::CView::Show", "window " << 5 << " shown");
    const std::vector<std::string> lines = m_messages.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("[UI][") + __FILE__ + ":" + std::to_string(__LINE__ - 3)
                            + " Tolvane::CView::Show] window 5 shown");
}

TEST_F(LogFacadeTest, WithoutAListEveryCallPrintsItsNotice)
{
    Tolvane::SetModuleLogger(nullptr);
    LogFacade::trace("Tolvane", "a", "f", 1, "g");
    LogFacade::info("Tolvane", "a", "f", 1, "g");
    LogFacade::warn("Tolvane", "a", "f", 1, "g");
    EXPECT_FALSE(LogFacade::_checkLevel("Tolvane", 3));
    EXPECT_EQ(m_messages.Lines(), (std::vector<std::string>{"trace: ins is NULL", "info: ins is NULL",
                                                             "warn: ins is NULL", "_checkLevel: ins is NULL"}));
}

TEST_F(LogFacadeTest, EmptyListIsTheTextOfNull)
{
    EXPECT_EQ(Tolvane::ModuleLogLevelsToJson(&m_table), "null\n");
}

TEST_F(LogFacadeTest, ManyThreadsAddingNamesLoseNone)
{
    constexpr int kThreads = 8;
    constexpr int kNames = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kNames; ++i) {
                const std::string name = "m" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_EQ(Tolvane::GetModuleLogLevel(&m_table, name.c_str()), 3);
                LogFacade::_checkLevel("shared", 3);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(NodeCount(), kThreads * kNames + 1);
}

}  // namespace
