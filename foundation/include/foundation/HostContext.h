#pragma once
// The record of host callbacks that the host hands to every module: sixteen delegate
// slots, then one 32-bit word whose low byte is the compatibility flag. A slot whose
// object is null is absent; callers skip it and take false, null or an empty result.

#include <cstdint>

#include <foundation/Any.h>
#include <foundation/FastDelegate.h>
#include <foundation/LogLevelTable.h>
#include <foundation/SharedPtr.h>
#include <foundation/Task.h>

namespace Foundation {
class ISignal;
class IComInterface;
}  // namespace Foundation

struct HostContext {
    template <class Signature>
    using Slot = fastdelegate::FastDelegate<Signature>;

    Slot<bool(const char* name, Foundation::ISignal* signal)> AddSignal;              // 0
    Slot<bool(const char* name, Foundation::ISignal* signal)> RemoveSignal;           // 1
    Slot<bool(const char* name, Foundation::Any* handler)> ConnectSignal;             // 2
    Slot<bool(const char* name, Foundation::Any* handler)> DisconnectSignal;          // 3
    Slot<bool(const char* typeName, Foundation::Any* object)> RegisterObject;         // 4
    Slot<Foundation::Any(const char* typeName)> QueryObject;                          // 5
    Slot<bool(const char* name, Foundation::IComInterface* method)> RegisterMethod;   // 6
    Slot<void()> Reserved7;                                                           // 7, never set
    Slot<void*(const char* module, const char* function)> ResolveFunction;            // 8
    Slot<bool(int priority, Foundation::CSharedPtr<Foundation::ITask>* task)> PostTask;  // 9
    Slot<Foundation::LogLevelTable*(const char* sink)> GetLogLevelTable;              // 10
    Slot<bool(const char* name, Foundation::IComInterface* method)> RegisterMethod2;  // 11
    Slot<bool(const char* name, Foundation::IComInterface* method)> RegisterMethod3;  // 12
    Slot<void(const char* text)> SendToWeb;                                           // 13
    Slot<void()> Reserved14;                                                          // 14, never set
    Slot<void()> Reserved15;                                                          // 15, never set

    uint32_t flags = 0;

    uint8_t CompatibilityFlag() const noexcept { return static_cast<uint8_t>(flags & 0xffu); }
    void SetCompatibilityFlag(uint8_t flag) noexcept { flags = (flags & ~0xffu) | flag; }
};
