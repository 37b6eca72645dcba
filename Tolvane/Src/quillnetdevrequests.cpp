// Configuration watching, transparent JSON requests and the VK attachment of the device
// object. Not served by this build: every operation answers failure and nothing reaches
// the device library.

#include "quillnetdev.h"

namespace Tolvane {

long CQuillnetDev::AttachConfigChange(const char*, DeviceConfigDelegate*, int)
{
    return 0;
}

bool CQuillnetDev::DetachConfigChange(long)
{
    return false;
}

long CQuillnetDev::AttachTransmitInfo(const Json::Value&, Json::Value*, DeviceTransmitDelegate*, int)
{
    return 0;
}

bool CQuillnetDev::DetachTransmitInfo(long, const Json::Value&, Json::Value*, int)
{
    return false;
}

bool CQuillnetDev::TransmitInfoForWeb(const Json::Value&, Json::Value*, int)
{
    return false;
}

long CQuillnetDev::AttachVK(int, DeviceVKDelegate*, int)
{
    return 0;
}

bool CQuillnetDev::DetachVK(long)
{
    return true;
}

}  // namespace Tolvane
