// The fish-eye module: publishes the host signal "FISH_Calibrate" (window id, calibrated),
// handled by fastdelegate::FastDelegate2<int, bool>. No fish-eye lens is ever calibrated
// here, so the signal is never raised; listeners can connect to it all the same.

#include <memory>
#include <mutex>

#include <foundation/HostCalls.h>
#include <foundation/Signal.h>

#include "ModuleRegistry.h"

namespace Hadrune {
namespace {

struct Published {
    HostContext* context = nullptr;
    Foundation::CSignal2<int, bool> calibrate;
};

std::mutex g_mutex;
std::unique_ptr<Published> g_published;

void Publish(HostContext* context, const char*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_published != nullptr) {
        return;
    }
    g_published = std::make_unique<Published>();
    g_published->context = context;
    Foundation::AddHostSignal(context, "FISH_Calibrate", &g_published->calibrate);
}

void Withdraw(void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_published == nullptr) {
        return;
    }
    Foundation::RemoveHostSignal(g_published->context, "FISH_Calibrate", &g_published->calibrate);
    g_published.reset();
}

using Foundation::ModuleEntry;

const ModuleEntry kContents[] = {
    ModuleEntry::Service(&Publish),
    ModuleEntry::Clear(&Withdraw),
};

[[maybe_unused]] const bool g_contentsRegistered = Foundation::RegisterModuleContents(kContents);

}  // namespace
}  // namespace Hadrune
