// A component module for the client tests: the four entry points, a service
// registered under "class Fixture::<name>", handlers on the host's load and
// release signals, and an exported function to resolve. Every step is appended
// as "<name> <step>" to the journal file named by BREVIX_FIXTURE_JOURNAL.

#include <foundation/Foundation.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char* const kName = FIXTURE_MODULE_NAME;

void Journal(const std::string& step)
{
    const char* path = std::getenv("BREVIX_FIXTURE_JOURNAL");
    if (path == nullptr)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s %s\n", kName, step.c_str());
        std::fclose(file);
    }
}

std::string ServiceTypeName()
{
    return std::string("class Fixture::") + kName;
}

class Service
{
public:
    ~Service() { Journal("service released"); }
};

void ReleaseService(Service* service)
{
    delete service;
}

class Listener
{
public:
    void OnLoaded() { Journal("ImplComLoaded"); }
    void OnPreRelease()
    {
        const bool found = !Foundation::QueryHostObject(m_context, ServiceTypeName().c_str()).empty();
        Journal(found ? "ImplComPreRelease service found" : "ImplComPreRelease service missing");
    }

    HostContext* m_context = nullptr;
};

class LeftoverTask : public Foundation::ITask
{
public:
    ~LeftoverTask() override { Journal(m_ran ? "task done" : "task dropped"); }
    bool Run() override
    {
        m_ran = true;
        return true;
    }
    bool IsRunnable() override { return true; }

private:
    bool m_ran = false;
};

// Built when the library is loaded, destroyed when it is unloaded.
struct LoadWitness
{
    LoadWitness() { Journal("loaded"); }
    ~LoadWitness() { Journal("unloaded"); }
} g_loadWitness;

Listener g_listener;

void ConnectHostSignal(HostContext* context, const char* name, void (Listener::*member)())
{
    Foundation::Any handler(fastdelegate::MakeDelegate(&g_listener, member));
    Journal(std::string("connect ") + name + " "
            + (Foundation::CallSlot(context->ConnectSignal, name, &handler) ? "true" : "false"));
}

}  // namespace

FIXTURE_EXPORT void CheckModule()
{
    Journal("CheckModule");
}

FIXTURE_EXPORT void InitModule(HostContext* context)
{
    Journal(context != nullptr ? "InitModule" : "InitModule null");
}

FIXTURE_EXPORT bool LoadImplObjects(HostContext* context, const char* word)
{
    Journal(std::string("LoadImplObjects '") + (word != nullptr ? word : "(null)") + "'");
    if (context == nullptr)
        return true;
    g_listener.m_context = context;
    ConnectHostSignal(context, "ImplComLoaded", &Listener::OnLoaded);
    ConnectHostSignal(context, "ImplComPreRelease", &Listener::OnPreRelease);

    Foundation::Any box(Foundation::CSharedPtr<Service>(new Service, &ReleaseService));
    Foundation::CallSlot(context->RegisterObject, ServiceTypeName().c_str(), &box);
    return true;
}

FIXTURE_EXPORT void ClearModule(void* context)
{
    Journal("ClearModule");
    // Work left on the host's task worker must be gone before this code is.
    if (std::strcmp(kName, "Tolvane") == 0 && context != nullptr) {
        auto* host = static_cast<HostContext*>(context);
        Foundation::CSharedPtr<Foundation::ITask> task(
            static_cast<Foundation::ITask*>(new LeftoverTask));
        Foundation::CallSlot(host->PostTask, 0, &task);
    }
}

FIXTURE_EXPORT const char* FixtureName()
{
    return kName;
}
