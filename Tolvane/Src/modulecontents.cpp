// What the media module contains, in the one order in which it is set up. Service
// creation order is visible to the host (the first of several methods of one name wins,
// "ImplComLoaded" handlers run in creation order), so it is fixed here and nowhere else.
// A service is added by putting its line into its numbered slot.

#include "ModuleRegistry.h"

#include "audioutputctrl.h"
#include "customerinfor.h"
#include "devicemgr.h"
#include "downloadmanager.h"
#include "exceldataformatercity.h"
#include "exceldataformaterevents.h"
#include "exceldataformaterfaces.h"
#include "exceldataformaterpeople.h"
#include "exceldataformaterregistry.h"
#include "exceldataformaterscenes.h"
#include "exceldataformatervehicles.h"
#include "ivsframeanalyctrl.h"
#include "localplayctrl.h"
#include "logfacade.h"
#include "loginit.h"
#include "moduletasks.h"
#include "playbackctrl.h"
#include "playerctrl.h"
#include "playermgr.h"
#include "realtimestreamctrl.h"
#include "recordtranscoderregistry.h"
#include "recordvideoctrl.h"
#include "rkvrecordtranscoder.h"
#include "singlegrabctrl.h"
#include "timer.h"
#include "watermark.h"

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
    RegisterExcelDataFormater("Face_Attr", &MakeExcelDataFormater<CExcelDataFormaterForFaceAttr>);
    RegisterExcelDataFormater("Face_Image", &MakeExcelDataFormater<CExcelDataFormaterForFaceImage>);
    RegisterExcelDataFormater("HumanTrait", &MakeExcelDataFormater<CExcelDataFormaterForHumanTrait>);
    RegisterExcelDataFormater("ivs", &MakeExcelDataFormater<CExcelDataFormaterForIVS>);
    RegisterExcelDataFormater("Deposit", &MakeExcelDataFormater<CExcelDataFormaterForDeposit>);
    RegisterExcelDataFormater("MixedPlate", &MakeExcelDataFormater<CExcelDataFormaterForMixedPlate>);
    RegisterExcelDataFormater("Non-Motor", &MakeExcelDataFormater<CExcelDataFormaterForNonMotorVehicle>);
    RegisterExcelDataFormater("vehicle", &MakeExcelDataFormater<CExcelDataFormaterForVehicle>);
    RegisterExcelDataFormater("ViolentThrow", &MakeExcelDataFormater<CExcelDataFormaterForViolentThrow>);
    RegisterExcelDataFormater("CrowdDetection", &MakeExcelDataFormater<CExcelDataFormaterForCrowdDensity>);
    RegisterExcelDataFormater("SmartKitchen", &MakeExcelDataFormater<CExcelDataFormaterForSmartKitchen>);
    RegisterExcelDataFormater("IntelliCityMgr", &MakeExcelDataFormater<CExcelDataFormaterForIntelliCityMgr>);
    RegisterExcelDataFormater("ClassroomBehavior", &MakeExcelDataFormater<CExcelDataFormaterForIntelliRoomMgr>);
    RegisterExcelDataFormater("Operation", &MakeExcelDataFormater<CExcelDataFormaterForWorkOperation>);
    RegisterExcelDataFormater("HumanImage", &MakeExcelDataFormater<CExcelDataFormaterForHumanImage>);
}

using Foundation::ModuleEntry;

const ModuleEntry kContents[] = {
    /*  1 */ ModuleEntry::Service(&CAudiOutputCtrl::CreateSvrObject),
    /*  2 */ ModuleEntry::Service(&CCustomerInfor::CreateSvrObject),
    ModuleEntry::AtLoad(&RegisterRecordTranscoders),
    /*  3 */ ModuleEntry::Service(&CDeviceMgr::CreateSvrObject),
    /*  4 */ ModuleEntry::Service(&CIVSFrameAnalyCtrl::CreateSvrObject),
    /*  5 */ ModuleEntry::Service(&CLocalPlayCtrl::CreateSvrObject),
    ModuleEntry::Init(&SetUpModuleLogger),
    /*  6 */ ModuleEntry::Service(&CLogInit::CreateSvrObject),
    /*  7 */ ModuleEntry::Service(&CPlaybackCtrl::CreateSvrObject),
    /*  8 */ ModuleEntry::Service(&PlayerCtrl::CreateSvrObject),
    /*  9 */ ModuleEntry::Service(&CPlayerMgr::CreateSvrObject),
    /* 10 */ ModuleEntry::Service(&CRealtimeStreamCtrl::CreateSvrObject),
    /* 11 */ ModuleEntry::Service(&CRecordVideoCtrl::CreateSvrObject),
    /* 12 */ ModuleEntry::Service(&CSingleGrabCtrl::CreateSvrObject),
    /* 13 */ ModuleEntry::Service(&CTimer::CreateSvrObject),
    /* 14 */ ModuleEntry::Service(&CDownloadManager::CreateSvrObject),
    ModuleEntry::AtLoad(&RegisterExcelDataFormaters),
    /* 15 */ ModuleEntry::Service(&CWatermark::CreateSvrObject),
    // The module's tasks end before the host lets the services they call go, and again
    // before the module's code goes.
    ModuleEntry::Release(&WaitForModuleTasks),
    ModuleEntry::Clear(&WaitForModuleTasks),
};

[[maybe_unused]] const bool g_contentsRegistered = Foundation::RegisterModuleContents(kContents);

}  // namespace
}  // namespace Tolvane
