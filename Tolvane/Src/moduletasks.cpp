#include "moduletasks.h"

#include <QThreadPool>

namespace Tolvane {

QThreadPool& ModuleTaskPool()
{
    static QThreadPool pool;
    return pool;
}

void DrainModuleTasks()
{
    ModuleTaskPool().waitForDone();
}

void WaitForModuleTasks(void* /*argument*/)
{
    DrainModuleTasks();
}

}  // namespace Tolvane
