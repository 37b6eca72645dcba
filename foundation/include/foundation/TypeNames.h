#pragma once
// Names under which objects are registered with the host and looked up. Host and modules
// must spell them identically, so every side takes them from here.

namespace Foundation {
namespace TypeName {

// Services of the media module, in the order in which the module registers them.
constexpr const char CAudiOutputCtrl[] = "class Tolvane::CAudiOutputCtrl";
constexpr const char ICustomerInfor[] = "class Tolvane::ICustomerInfor";
constexpr const char IDeviceMgr[] = "class Tolvane::IDeviceMgr";
constexpr const char CIVSFrameAnalyCtrl[] = "class Tolvane::CIVSFrameAnalyCtrl";
constexpr const char CLocalPlayCtrl[] = "class Tolvane::CLocalPlayCtrl";
constexpr const char CLogInit[] = "class Tolvane::CLogInit";
constexpr const char CPlaybackCtrl[] = "class Tolvane::CPlaybackCtrl";
constexpr const char PlayerCtrl[] = "class Tolvane::PlayerCtrl";
constexpr const char IPlayerMgr[] = "class Tolvane::IPlayerMgr";
constexpr const char CRealtimeStreamCtrl[] = "class Tolvane::CRealtimeStreamCtrl";
constexpr const char CRecordVideoCtrl[] = "class Tolvane::CRecordVideoCtrl";
constexpr const char CSingleGrabCtrl[] = "class Tolvane::CSingleGrabCtrl";
constexpr const char ITimer[] = "class Tolvane::ITimer";
constexpr const char CDownloadManager[] = "class Tolvane::CDownloadManager";
constexpr const char CWatermark[] = "class Tolvane::CWatermark";

// Interfaces of the outside modules.
constexpr const char ISorquin[] = "class ISorquin";
constexpr const char IFileOperation[] = "class IFileOperation";

}  // namespace TypeName
}  // namespace Foundation
