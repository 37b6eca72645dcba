// What the window module contains: its one service, registered as "class ISorquin".

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "ModuleRegistry.h"
#include "sorquin.h"

namespace Sorquin {
namespace {

void CreateSvrObject(HostContext* context, const char* argument)
{
    Foundation::CreateSvrObject<CSorquin, ISorquin>(context, argument, Foundation::TypeName::ISorquin,
                                                    &CSorquin::Release);
}

// A service released on another thread is deleted from the GUI thread's event loop; run
// those deletions before the library can be unloaded.
void FinishDeletions(void*)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

using Foundation::ModuleEntry;

const ModuleEntry kContents[] = {
    ModuleEntry::Service(&CreateSvrObject),
    ModuleEntry::Clear(&FinishDeletions),
};

[[maybe_unused]] const bool g_contentsRegistered = Foundation::RegisterModuleContents(kContents);

}  // namespace
}  // namespace Sorquin
