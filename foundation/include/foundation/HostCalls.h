#pragma once
// How modules call their host: every slot is tested before use, and an absent slot (or
// no context at all) gives false, null or an empty result instead of a call.

#include <string>
#include <type_traits>
#include <utility>

#include <json/json.h>

#include <foundation/Any.h>
#include <foundation/ComMethod.h>
#include <foundation/HostContext.h>
#include <foundation/JsonRead.h>
#include <foundation/SharedPtr.h>
#include <foundation/Signal.h>
#include <foundation/Task.h>

namespace Foundation {

// Calls a present slot; an absent one answers a value-initialised result.
template <class R, class... P, class... Args>
R CallSlot(const fastdelegate::FastDelegate<R(P...)>& slot, Args&&... args)
{
    if (slot.empty()) {
        if constexpr (std::is_void_v<R>) {
            return;
        } else {
            return R();
        }
    }
    return slot(std::forward<Args>(args)...);
}

// A copy of what the host keeps under the type name; empty when nothing is kept there.
inline Any QueryHostObject(HostContext* context, const char* typeName)
{
    if (context == nullptr || context->QueryObject.empty() || typeName == nullptr) {
        return Any();
    }
    Any returned = context->QueryObject(typeName);
    return Any(returned.GetHolder() ? returned.GetHolder()->clone() : nullptr);
}

// The service kept under the type name as one more owner; empty when it is not there.
template <class T>
CSharedPtr<T> QueryHostService(HostContext* context, const char* typeName)
{
    return CopyFromHolder<T>(QueryHostObject(context, typeName));
}

// Hands a shared object to the host under the type name; true when the host took it.
template <class T>
bool RegisterHostObject(HostContext* context, const char* typeName, const CSharedPtr<T>& object)
{
    if (context == nullptr || context->RegisterObject.empty()) {
        return false;
    }
    Any box(object);
    return context->RegisterObject(typeName, &box);
}

template <class T>
void DeleteObject(T* object)
{
    delete object;
}

// Creates a service, shares it with the module's own release function as deleter and
// registers it with the host. Without a host that keeps it, the service is released at
// once. The release function is instantiated in the calling module, so the object is
// always freed by the module that made it.
template <class Service, class Registered = Service>
bool CreateSvrObject(HostContext* context, const char* argument, const char* typeName,
                     void (*release)(Registered*) = &DeleteObject<Registered>)
{
    Registered* service = new Service(context, argument);
    CSharedPtr<Registered> shared(service, release);
    return RegisterHostObject(context, typeName, shared);
}

// Sends {"event": name, "params": params} to the page as one compact line.
inline void NotifyWebEvent(HostContext* context, const char* eventName, const Json::Value& params)
{
    Json::Value event(Json::objectValue);
    event["event"] = Json::Value(eventName ? eventName : "");
    event["params"] = params;
    const std::string text = JsonFastText(event);
    if (context != nullptr && !context->SendToWeb.empty()) {
        context->SendToWeb(text.c_str());
    }
}

template <class... A>
bool ConnectHostSignal(HostContext* context, const char* name, const fastdelegate::FastDelegate<void(A...)>& handler)
{
    if (context == nullptr || context->ConnectSignal.empty()) {
        return false;
    }
    Any box(handler);
    return context->ConnectSignal(name, &box);
}

template <class... A>
bool DisconnectHostSignal(HostContext* context, const char* name,
                          const fastdelegate::FastDelegate<void(A...)>& handler)
{
    if (context == nullptr || context->DisconnectSignal.empty()) {
        return false;
    }
    Any box(handler);
    return context->DisconnectSignal(name, &box);
}

inline bool AddHostSignal(HostContext* context, const char* name, ISignal* signal)
{
    return context != nullptr && CallSlot(context->AddSignal, name, signal);
}

inline bool RemoveHostSignal(HostContext* context, const char* name, ISignal* signal)
{
    return context != nullptr && CallSlot(context->RemoveSignal, name, signal);
}

// Publishes a method in method table 1 (the table the services use).
inline bool RegisterHostMethod(HostContext* context, const char* name, IComInterface* method)
{
    return context != nullptr && CallSlot(context->RegisterMethod, name, method);
}

inline bool PostHostTask(HostContext* context, int priority, CSharedPtr<ITask> task)
{
    return context != nullptr && CallSlot(context->PostTask, priority, &task);
}

inline LogLevelTable* HostLogLevelTable(HostContext* context, const char* sink)
{
    return context != nullptr ? CallSlot(context->GetLogLevelTable, sink) : nullptr;
}

// An outside library's function, resolved through the host at the moment of the call and
// cast to its declared type; null when the host has none.
template <class Signature>
Signature* ResolveHostFunction(HostContext* context, const char* module, const char* function)
{
    static_assert(std::is_function_v<Signature>, "give the function type, e.g. int(long, char*)");
    if (context == nullptr) {
        return nullptr;
    }
    void* address = CallSlot(context->ResolveFunction, module, function);
    return reinterpret_cast<Signature*>(address);
}

// Calls an outside library's function by module and function name; when it cannot be
// resolved the call is skipped and a value-initialised result (0, false, null) is returned.
template <class Signature, class... Args>
auto CallSdkFunction(HostContext* context, const char* module, const char* function, Args&&... args)
{
    using Result = decltype(std::declval<Signature*>()(std::forward<Args>(args)...));
    Signature* target = ResolveHostFunction<Signature>(context, module, function);
    if (target == nullptr) {
        if constexpr (std::is_void_v<Result>) {
            return;
        } else {
            return Result();
        }
    }
    return target(std::forward<Args>(args)...);
}

}  // namespace Foundation
