#include "Infra/criticalsectionmutex.h"

namespace Tarvo {
namespace Infra {

CCriticalSectionMutex::~CCriticalSectionMutex()
{
    destroy();
}

void CCriticalSectionMutex::create()
{
    if (!m_section)
        m_section = new std::recursive_mutex;
}

void CCriticalSectionMutex::destroy()
{
    delete m_section;
    m_section = nullptr;
}

bool CCriticalSectionMutex::enter()
{
    if (!m_section)
        return false;
    m_section->lock();
    return true;
}

bool CCriticalSectionMutex::leave()
{
    if (!m_section)
        return false;
    m_section->unlock();
    return true;
}

} // namespace Infra
} // namespace Tarvo
