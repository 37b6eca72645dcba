// What the media module contains, in the one order in which it is set up. Service
// creation order is visible to the host (the first of several methods of one name wins,
// "ImplComLoaded" handlers run in creation order), so it is fixed here and nowhere else.
// A service is added by putting its line into its numbered slot.

#include "ModuleRegistry.h"

#include "customerinfor.h"
#include "devicemgr.h"
#include "exceldataformaterregistry.h"
#include "logfacade.h"
#include "loginit.h"
#include "playerctrl.h"
#include "playermgr.h"
#include "realtimestreamctrl.h"
#include "recordtranscoderregistry.h"
#include "recordvideoctrl.h"
#include "rkvrecordtranscoder.h"
#include "timer.h"

namespace Tolvane {
namespace {

// Registrations into the record transcoder registry.
void RegisterRecordTranscoders()
{
    RecordTranscoderRegistry::Register(CRkvRecordTranscoder::kType, &CRkvRecordTranscoder::Create);
}

// Registrations into the spreadsheet formatter registry, in this order:
// "Face_Attr", "Face_Image", "HumanTrait", "ivs", "Deposit", "MixedPlate", "Non-Motor",
// "vehicle", "ViolentThrow", "CrowdDetection", "SmartKitchen", "IntelliCityMgr",
// "ClassroomBehavior", "Operation", "HumanImage".
void RegisterExcelDataFormaters()
{
    // RegisterExcelDataFormater("Face_Attr", <factory>); ...
}

using Foundation::ModuleEntry;

const ModuleEntry kContents[] = {
    //  1 CAudiOutputCtrl       "class Tolvane::CAudiOutputCtrl"
    /*  2 */ ModuleEntry::Service(&CCustomerInfor::CreateSvrObject),
    ModuleEntry::AtLoad(&RegisterRecordTranscoders),
    /*  3 */ ModuleEntry::Service(&CDeviceMgr::CreateSvrObject),
    //  4 CIVSFrameAnalyCtrl    "class Tolvane::CIVSFrameAnalyCtrl"
    //  5 CLocalPlayCtrl        "class Tolvane::CLocalPlayCtrl"
    ModuleEntry::Init(&SetUpModuleLogger),
    /*  6 */ ModuleEntry::Service(&CLogInit::CreateSvrObject),
    //  7 CPlaybackCtrl         "class Tolvane::CPlaybackCtrl"
    /*  8 */ ModuleEntry::Service(&PlayerCtrl::CreateSvrObject),
    /*  9 */ ModuleEntry::Service(&CPlayerMgr::CreateSvrObject),
    /* 10 */ ModuleEntry::Service(&CRealtimeStreamCtrl::CreateSvrObject),
    /* 11 */ ModuleEntry::Service(&CRecordVideoCtrl::CreateSvrObject),
    // 12 CSingleGrabCtrl       "class Tolvane::CSingleGrabCtrl"
    /* 13 */ ModuleEntry::Service(&CTimer::CreateSvrObject),
    // 14 CDownloadManager      "class Tolvane::CDownloadManager"
    ModuleEntry::AtLoad(&RegisterExcelDataFormaters),
    // 15 CWatermark            "class Tolvane::CWatermark"
};

[[maybe_unused]] const bool g_contentsRegistered = Foundation::RegisterModuleContents(kContents);

}  // namespace
}  // namespace Tolvane
