#pragma once
// Everything of the component framework in one include.

#include <foundation/Any.h>
#include <foundation/ComMethod.h>
#include <foundation/FastDelegate.h>
#include <foundation/HostCalls.h>
#include <foundation/HostContext.h>
#include <foundation/JsonRead.h>
#include <foundation/LogLevelTable.h>
#include <foundation/Mutex.h>
#include <foundation/Semaphore.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>
#include <foundation/Task.h>
#include <foundation/Thread.h>
#include <foundation/TypeNames.h>
