#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Foundation {
class IComInterface;
}

// Published methods by name, each name with its overloads in registration
// order. The table keeps plain pointers; the publishers own the objects.
class MethodTable
{
public:
    using Overloads = std::vector<Foundation::IComInterface*>;

    // Appends the method as the last overload of name.
    void AddMethodEntry(const char* name, Foundation::IComInterface* method);
    // A copy of the overloads of name (empty when the name is unknown).
    Overloads Find(const std::string& name) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Overloads> m_methods;
};
