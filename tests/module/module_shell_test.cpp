// The module as the host sees it: its exported symbols, its entry points and the order in
// which it creates its services.

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <foundation/TypeNames.h>

#include "loadedmodule.h"

namespace {

namespace TypeName = Foundation::TypeName;

// Every service of the module in creation order.
const std::vector<std::string> kServiceOrder = {
    TypeName::CAudiOutputCtrl, TypeName::ICustomerInfor,  TypeName::IDeviceMgr,
    TypeName::CIVSFrameAnalyCtrl, TypeName::CLocalPlayCtrl, TypeName::CLogInit,
    TypeName::CPlaybackCtrl,   TypeName::PlayerCtrl,       TypeName::IPlayerMgr,
    TypeName::CRealtimeStreamCtrl, TypeName::CRecordVideoCtrl, TypeName::CSingleGrabCtrl,
    TypeName::ITimer,          TypeName::CDownloadManager, TypeName::CWatermark,
};

// The module names the logger set-up records, head of the list first.
const std::vector<std::string> kLoggerNames = {"StreamLib", "Watermark", "VideoAnlyse", "Downlaod", "RealVideo",
                                               "Playback",  "Stream",    "Plugin",      "UI",       "Tolvane"};

std::vector<std::pair<std::string, int>> LevelList(Foundation::LogLevelTable* table)
{
    std::vector<std::pair<std::string, int>> list;
    std::lock_guard<std::mutex> guard(table->lock);
    for (Foundation::LogLevelNode* node = table->head; node != nullptr; node = node->next) {
        list.emplace_back(node->name, node->level);
    }
    return list;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, int>>& list)
{
    std::vector<std::string> names;
    for (const auto& item : list) {
        names.push_back(item.first);
    }
    return names;
}

TEST(ModuleExports, OnlyTheFourEntryPointsAreExportedFunctions)
{
    const std::string nm = BREVIX_NM;
    if (nm.empty() || access(nm.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "nm is not available";
    }
    const std::string command = nm + " -D --defined-only '" + TOLVANE_LIBRARY_PATH + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> functions;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64] = {};
        char type = 0;
        char name[900] = {};
        if (std::sscanf(line, "%63s %c %899s", address, &type, name) == 3
            && (type == 'T' || type == 't' || type == 'W' || type == 'i')) {
            functions.insert(name);
        }
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(functions, (std::set<std::string>{"CheckModule", "ClearModule", "InitModule", "LoadImplObjects"}));
}

using ModuleShell = LoadedModuleTest;

TEST_F(ModuleShell, ServicesAreRegisteredInTheFixedOrder)
{
    LoadModule();
    const std::vector<std::string> registered = Host().RegistrationLog();
    ASSERT_FALSE(registered.empty());

    // What exists appears once each, in the relative order of the full list.
    std::size_t previous = 0;
    bool first = true;
    std::set<std::string> seen;
    for (const std::string& name : registered) {
        const auto at = std::find(kServiceOrder.begin(), kServiceOrder.end(), name);
        ASSERT_NE(at, kServiceOrder.end()) << "unexpected service " << name;
        const std::size_t index = static_cast<std::size_t>(at - kServiceOrder.begin());
        EXPECT_TRUE(first || index > previous) << name << " is out of order";
        EXPECT_TRUE(seen.insert(name).second) << name << " registered twice";
        previous = index;
        first = false;
    }
    for (const char* built : {TypeName::CLogInit, TypeName::ITimer}) {
        EXPECT_TRUE(seen.count(built)) << built;
        EXPECT_FALSE(Host().Query(built).empty()) << built;
    }
}

TEST_F(ModuleShell, SecondInitModuleDoesNotRunTheLoggerSetUpAgain)
{
    initModule(Context());
    Foundation::LogLevelTable* table = Host().LogLevels();
    const auto afterFirst = LevelList(table);
    EXPECT_EQ(Names(afterFirst), kLoggerNames);
    for (const auto& item : afterFirst) {
        EXPECT_EQ(item.second, 3) << item.first;
    }

    // A set-up that ran again would put the levels back to 3.
    {
        std::lock_guard<std::mutex> guard(table->lock);
        for (Foundation::LogLevelNode* node = table->head; node != nullptr; node = node->next) {
            node->level = 1;
        }
    }
    initModule(Context());
    const auto afterSecond = LevelList(table);
    EXPECT_EQ(Names(afterSecond), kLoggerNames);
    for (const auto& item : afterSecond) {
        EXPECT_EQ(item.second, 1) << item.first;
    }
}

TEST_F(ModuleShell, LoadBeforeInitCreatesTheServicesWithoutALogger)
{
    ASSERT_TRUE(loadImplObjects(Context(), ""));
    EXPECT_FALSE(Host().Query(TypeName::CLogInit).empty());
    EXPECT_FALSE(Host().Query(TypeName::ITimer).empty());
    // One notice per service creation, instead of the trace line.
    EXPECT_EQ(messages.Count("trace: ins is NULL"), static_cast<int>(Host().RegistrationLog().size()));
    EXPECT_EQ(Host().LogLevels()->head, nullptr);
}

TEST_F(ModuleShell, CheckModuleAndClearModuleChangeNothing)
{
    LoadModule();
    const std::vector<std::string> objects = Host().ObjectNames();
    const std::string before = Host().CallMethod("GetLogInfo", "null");
    checkModule();
    clearModule(nullptr);
    clearModule(Context());
    int word = 7;
    clearModule(&word);
    EXPECT_EQ(Host().ObjectNames(), objects);
    EXPECT_EQ(Host().CallMethod("GetLogInfo", "null"), before);
}

TEST_F(ModuleShell, ModuleWithoutAnyHostSlotCreatesAndReleasesItsServices)
{
    HostContext empty;
    initModule(&empty);
    EXPECT_TRUE(loadImplObjects(&empty, ""));
    EXPECT_TRUE(loadImplObjects(nullptr, nullptr));
    clearModule(&empty);
}

}  // namespace
