#include "moduletasks.h"

#include <QThreadPool>

namespace Tolvane {

QThreadPool& ModuleTaskPool()
{
    static QThreadPool pool;
    return pool;
}

void WaitForModuleTasks(void* /*argument*/)
{
    ModuleTaskPool().waitForDone();
}

}  // namespace Tolvane
