#pragma once
// The module's own pool for the short tasks of its services (play-mode notifications,
// snapshots). The module's clear hook waits for it, so no task runs, or is destroyed, in the
// module's code after the module is unloaded; tasks on the process's global pool could.

class QThreadPool;

namespace Tolvane {

QThreadPool& ModuleTaskPool();

// Returns once every task has run and been destroyed; call it with no lock held that a
// task may take, and never from a task.
void DrainModuleTasks();

// The clear hook and the release hook: DrainModuleTasks.
void WaitForModuleTasks(void* argument);

}  // namespace Tolvane
