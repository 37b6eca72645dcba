#include "methodtable.h"

void MethodTable::AddMethodEntry(const char* name, Foundation::IComInterface* method)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods[name != nullptr ? name : ""].push_back(method);
}

MethodTable::Overloads MethodTable::Find(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_methods.find(name);
    return it != m_methods.end() ? it->second : Overloads();
}

void MethodTable::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods.clear();
}
