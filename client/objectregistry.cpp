#include "objectregistry.h"

#include <utility>

// Entries are released outside the lock: a service's destructor may call back
// into the registry.

ObjectRegistry::~ObjectRegistry()
{
    Clear();
}

bool ObjectRegistry::RegisterObject(const char* typeName, Foundation::Any* value)
{
    if (typeName == nullptr || value == nullptr)
        return false;
    Foundation::Any copy(*value);
    Foundation::Any previous;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Foundation::Any& slot = m_objects[typeName];
        previous.swap(slot);
        slot.swap(copy);
    }
    return true;
}

Foundation::Any ObjectRegistry::QueryObject(const char* typeName)
{
    if (typeName == nullptr)
        return Foundation::Any();
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_objects.find(typeName);
    return it != m_objects.end() ? it->second : Foundation::Any();
}

void ObjectRegistry::Clear()
{
    std::map<std::string, Foundation::Any> objects;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        objects.swap(m_objects);
    }
}
