#include "modulemanager.h"
#include "objectregistry.h"
#include "registmodule.h"
#include "signalregistry.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

struct Listener
{
    void OnEvent() { calls.push_back("event"); }
    void OnGpu(bool enable) { calls.push_back(enable ? "gpu on" : "gpu off"); }
    std::vector<std::string> calls;
};

Foundation::Any Handler(Listener* listener)
{
    return Foundation::Any(fastdelegate::MakeDelegate(listener, &Listener::OnEvent));
}

struct Service
{
    explicit Service(std::vector<std::string>* log, std::string name) : log(log), name(std::move(name)) {}
    ~Service() { log->push_back("released " + name); }
    std::vector<std::string>* log;
    std::string name;
};

Foundation::Any Boxed(const Foundation::CSharedPtr<Service>& service)
{
    return Foundation::Any(service);
}

}  // namespace

TEST(SignalRegistryTest, AddRemoveConnectAnswerAsListed)
{
    SignalRegistry registry;
    Foundation::CSignal0<> signal;
    Foundation::CSignal0<> other;
    Listener listener;
    Foundation::Any handler = Handler(&listener);

    struct Case
    {
        const char* what;
        bool answer;
        bool actual;
    };
    const Case cases[] = {
        {"add under the empty name", false, registry.AddSignal("", &signal)},
        {"add under a null name", false, registry.AddSignal(nullptr, &signal)},
        {"add a null signal", false, registry.AddSignal("known", nullptr)},
        {"connect to an unknown name", false, registry.Connect("known", &handler)},
        {"remove under an unknown name", false, registry.RemoveSignal("known", &signal)},
        {"add", true, registry.AddSignal("known", &signal)},
        {"remove a signal not listed", true, registry.RemoveSignal("known", &other)},
        {"connect a null handler", false, registry.Connect("known", nullptr)},
        {"remove", true, registry.RemoveSignal("known", &signal)},
        {"connect to a known name with no signal left", true, registry.Connect("known", &handler)},
        {"disconnect from an unknown name", false, registry.Disconnect("unknown", &handler)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual, c.answer) << c.what;

    // Nothing was connected while the name had no signal.
    EXPECT_EQ(signal.SlotCount(), 0u);
}

TEST(SignalRegistryTest, ConnectReachesEverySignalUnderTheName)
{
    SignalRegistry registry;
    Foundation::CSignal0<> first;
    Foundation::CSignal0<> second;
    Listener listener;
    Foundation::Any handler = Handler(&listener);

    registry.AddSignal("tick", &first);
    registry.AddSignal("tick", &second);
    ASSERT_TRUE(registry.Connect("tick", &handler));
    first.Emit();
    second.Emit();
    EXPECT_EQ(listener.calls.size(), 2u);

    ASSERT_TRUE(registry.Disconnect("tick", &handler));
    first.Emit();
    second.Emit();
    EXPECT_EQ(listener.calls.size(), 2u);
}

TEST(ObjectRegistryTest, RegisterReplacesQueryCopiesClearReleases)
{
    std::vector<std::string> log;
    ObjectRegistry registry;
    Foundation::CSharedPtr<Service> first(new Service(&log, "first"));
    Foundation::CSharedPtr<Service> second(new Service(&log, "second"));

    Foundation::Any box = Boxed(first);
    EXPECT_TRUE(registry.RegisterObject("class Test::IService", &box));
    EXPECT_EQ(first.use_count(), 3);  // ours, the box, the registry

    Foundation::Any queried = registry.QueryObject("class Test::IService");
    EXPECT_EQ(Foundation::CopyFromHolder<Service>(queried).get(), first.get());
    queried.clear();

    box = Boxed(second);
    EXPECT_TRUE(registry.RegisterObject("class Test::IService", &box));
    EXPECT_EQ(first.use_count(), 1);  // the registry let the first one go
    EXPECT_EQ(Foundation::CopyFromHolder<Service>(registry.QueryObject("class Test::IService")).get(),
              second.get());

    EXPECT_TRUE(registry.QueryObject("class Test::Unknown").empty());
    EXPECT_TRUE(registry.QueryObject(nullptr).empty());
    EXPECT_FALSE(registry.RegisterObject(nullptr, &box));
    EXPECT_FALSE(registry.RegisterObject("class Test::Null", nullptr));

    Foundation::Any empty;
    EXPECT_TRUE(registry.RegisterObject("class Test::Empty", &empty));
    EXPECT_TRUE(registry.QueryObject("class Test::Empty").empty());

    box.clear();
    second.reset();
    EXPECT_TRUE(log.empty());
    registry.Clear();
    EXPECT_EQ(log, std::vector<std::string>{"released second"});
    EXPECT_TRUE(registry.QueryObject("class Test::IService").empty());
}

// A service whose destructor asks the registry for another service, as a
// service does when it lets go of its partners.
TEST(ObjectRegistryTest, ReleasedServiceMayQueryTheRegistry)
{
    struct Querying
    {
        ObjectRegistry* registry;
        bool* answered;
        ~Querying() { *answered = registry->QueryObject("class Test::Other").empty(); }
    };
    ObjectRegistry registry;
    bool answered = false;
    Foundation::Any box(Foundation::CSharedPtr<Querying>(new Querying{&registry, &answered}));
    registry.RegisterObject("class Test::Querying", &box);
    box.clear();

    Foundation::Any replacement(1);
    registry.RegisterObject("class Test::Querying", &replacement);  // releases it
    EXPECT_TRUE(answered);
}

TEST(RegistModuleTest, HostSignalsArePublishedAndGpuChangeCarriesItsArgument)
{
    QTemporaryDir noModules;
    ModuleManager manager;
    manager.SetModuleFolder(noModules.path());
    HostContext context;
    RegistModule bridge(&context, nullptr, &manager);

    Listener listener;
    Foundation::Any gpu(fastdelegate::MakeDelegate(&listener, &Listener::OnGpu));
    EXPECT_TRUE(context.ConnectSignal("GPU_Change", &gpu));
    for (const char* name : {"ImplComLoaded", "ImplComPreRelease", "funcsExitSignal"}) {
        Foundation::Any handler = Handler(&listener);
        EXPECT_TRUE(context.ConnectSignal(name, &handler)) << name;
    }
    Foundation::Any handler = Handler(&listener);
    EXPECT_FALSE(context.ConnectSignal("NoSuchSignal", &handler));

    bridge.GPUEnableChange(true);
    bridge.GPUEnableChange(false);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"gpu on", "gpu off"}));

    bridge.ReleaseComponents();
    EXPECT_EQ(listener.calls.back(), "event");  // "ImplComPreRelease"
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
