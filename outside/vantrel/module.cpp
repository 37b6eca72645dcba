// What the spreadsheet writer module contains: its one service, registered as
// "class IFileOperation".

#include <foundation/HostCalls.h>
#include <foundation/TypeNames.h>

#include "ModuleRegistry.h"
#include "vantrel.h"

namespace Vantrel {
namespace {

void CreateSvrObject(HostContext* context, const char* argument)
{
    Foundation::CreateSvrObject<CFileOperation, IFileOperation>(context, argument,
                                                                Foundation::TypeName::IFileOperation);
}

using Foundation::ModuleEntry;

const ModuleEntry kContents[] = {
    ModuleEntry::Service(&CreateSvrObject),
};

[[maybe_unused]] const bool g_contentsRegistered = Foundation::RegisterModuleContents(kContents);

}  // namespace
}  // namespace Vantrel
