#pragma once

#include <foundation/Any.h>

#include <map>
#include <mutex>
#include <string>

// Service objects by type name; each entry is an Any the registry owns,
// normally holding a shared pointer to the service.
class ObjectRegistry
{
public:
    ~ObjectRegistry();

    // Stores a copy of value under typeName, replacing (and releasing) an
    // earlier entry; false for a null name or value.
    bool RegisterObject(const char* typeName, Foundation::Any* value);
    // A copy of the stored Any, empty when nothing is stored under the name.
    Foundation::Any QueryObject(const char* typeName);
    // Removes every entry.
    void Clear();

private:
    std::mutex m_mutex;
    std::map<std::string, Foundation::Any> m_objects;
};
