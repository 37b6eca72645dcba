// A window module for the end-to-end test: it registers an ISorquin that does
// nothing but journal, and journals its own entry points and the host's load
// and release signals. Lines "Sorquin <step>" go to the file named by
// BREVIX_E2E_JOURNAL.

#include <ISorquin.h>

#include <foundation/Foundation.h>
#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#define E2E_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Journal(const std::string& step)
{
    const char* path = std::getenv("BREVIX_E2E_JOURNAL");
    if (path == nullptr)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "Sorquin %s\n", step.c_str());
        std::fclose(file);
    }
}

class JournalSorquin : public ISorquin
{
public:
    ~JournalSorquin() override { Journal("service released"); }

    void SetBackgroundWidget(QWidget* widget) override { Journal(widget ? "SetBackgroundWidget" : "SetBackgroundWidget null"); }
    void SetContentWidget(QWidget* widget) override { Journal(widget ? "SetContentWidget" : "SetContentWidget null"); }
    void ReleaseWindows() override { Journal("ReleaseWindows"); }
    void MoveWindows(int, int) override {}
    void ViewActivated() override {}
    void WindowStateChanged() override {}
    bool IsWindowValid(int) override { return false; }
    void* GetWindowHandle(int) override { return nullptr; }
    bool ShowFrame(int, const unsigned char*, long, int, const SorquinFrameInfo*) override { return false; }
    void SetVideoState(int, bool) override {}
    void SetOverlayState(int, bool) override {}
    bool SaveSnapshot(int, Json::Value) override { return false; }
    std::string GetSnapshotData(int) override { return std::string(); }
    QWidget* GetWindowWidget(int) override { return nullptr; }
};

void ReleaseSorquin(ISorquin* sorquin)
{
    delete sorquin;
}

struct Listener
{
    void OnLoaded() { Journal("ImplComLoaded"); }
    void OnPreRelease() { Journal("ImplComPreRelease"); }
} g_listener;

struct LoadWitness
{
    LoadWitness() { Journal("loaded"); }
    ~LoadWitness() { Journal("unloaded"); }
} g_loadWitness;

void Connect(HostContext* context, const char* name, void (Listener::*member)())
{
    Foundation::Any handler(fastdelegate::MakeDelegate(&g_listener, member));
    Foundation::CallSlot(context->ConnectSignal, name, &handler);
}

}  // namespace

E2E_EXPORT void InitModule(HostContext* context)
{
    Journal(context != nullptr ? "InitModule" : "InitModule null");
}

E2E_EXPORT bool LoadImplObjects(HostContext* context, const char* /*word*/)
{
    Journal("LoadImplObjects");
    if (context == nullptr)
        return false;
    Connect(context, "ImplComLoaded", &Listener::OnLoaded);
    Connect(context, "ImplComPreRelease", &Listener::OnPreRelease);
    Foundation::CSharedPtr<ISorquin> sorquin(new JournalSorquin, &ReleaseSorquin);
    return Foundation::RegisterHostObject(context, Foundation::TypeName::ISorquin, sorquin);
}

E2E_EXPORT void ClearModule(void* /*context*/)
{
    Journal("ClearModule");
}
