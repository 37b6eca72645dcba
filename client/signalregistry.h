#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Foundation {
class Any;
class ISignal;
}  // namespace Foundation

// Named signals that the modules publish and connect to. The registry does
// not own the signals; their owners remove them or outlive the registry.
class SignalRegistry
{
public:
    // Appends the signal under name; false for a null signal or an empty name.
    bool AddSignal(const char* name, Foundation::ISignal* signal);
    // Removes the first occurrence of signal under name; false for a null
    // signal, an empty name or a name never added. The name stays known.
    bool RemoveSignal(const char* name, Foundation::ISignal* signal);
    // Hands the handler to every signal listed under name, in list order;
    // false for a null handler or an unknown name.
    bool Connect(const char* name, Foundation::Any* handler);
    bool Disconnect(const char* name, Foundation::Any* handler);

private:
    bool ListedSignals(const char* name, std::vector<Foundation::ISignal*>& signalList) const;

    mutable std::mutex m_mutex;
    std::map<std::string, std::vector<Foundation::ISignal*>> m_signals;
};
