#include "signalregistry.h"

#include <foundation/Signal.h>

#include <algorithm>

namespace {

bool IsName(const char* name)
{
    return name != nullptr && name[0] != '\0';
}

}  // namespace

bool SignalRegistry::AddSignal(const char* name, Foundation::ISignal* signal)
{
    if (signal == nullptr || !IsName(name))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signals[name].push_back(signal);
    return true;
}

bool SignalRegistry::RemoveSignal(const char* name, Foundation::ISignal* signal)
{
    if (signal == nullptr || !IsName(name))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_signals.find(name);
    if (it == m_signals.end())
        return false;
    auto& list = it->second;
    const auto found = std::find(list.begin(), list.end(), signal);
    if (found != list.end())
        list.erase(found);
    return true;
}

bool SignalRegistry::ListedSignals(const char* name,
                                   std::vector<Foundation::ISignal*>& signalList) const
{
    if (name == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_signals.find(name);
    if (it == m_signals.end())
        return false;
    signalList = it->second;
    return true;
}

bool SignalRegistry::Connect(const char* name, Foundation::Any* handler)
{
    std::vector<Foundation::ISignal*> signalList;
    if (handler == nullptr || !ListedSignals(name, signalList))
        return false;
    // Called without the lock: a signal's owner may publish from inside.
    for (Foundation::ISignal* signal : signalList)
        signal->Connect(*handler);
    return true;
}

bool SignalRegistry::Disconnect(const char* name, Foundation::Any* handler)
{
    std::vector<Foundation::ISignal*> signalList;
    if (handler == nullptr || !ListedSignals(name, signalList))
        return false;
    for (Foundation::ISignal* signal : signalList)
        signal->Disconnect(*handler);
    return true;
}
