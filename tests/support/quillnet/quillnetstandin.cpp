#include "quillnetstandin.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <foundation/JsonRead.h>

namespace devtest {

namespace {

void* g_library = nullptr;

template <class Fn>
Fn Control(const char* name)
{
    void* address = g_library ? dlsym(g_library, name) : nullptr;
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<Fn>(address);
}

}  // namespace

const std::vector<std::string>& ClientFunctionNames()
{
    static const std::vector<std::string> names = {
        "CLIENT_Init", "CLIENT_Cleanup", "CLIENT_GetLastError", "CLIENT_SetGDPREnable",
        "CLIENT_SetNetworkParam", "CLIENT_SetAutoReconnect", "CLIENT_SetDVRMessCallBack",
        "CLIENT_SetSubconnCallBack", "CLIENT_LogOpen", "CLIENT_LoginEx2", "CLIENT_Logout",
        "CLIENT_QuerySystemInfo", "CLIENT_RealPlayEx", "CLIENT_SetRealDataCallBack", "CLIENT_StopRealPlay",
        "CLIENT_GetStatiscFlux", "CLIENT_MakeKeyFrame", "CLIENT_PlayBackByRecordFileEx2",
        "CLIENT_PlayBackByTimeEx2", "CLIENT_PlayBackBySecondaryAnalyse", "CLIENT_SetDeviceMode",
        "CLIENT_StopPlayBack", "CLIENT_PausePlayBack", "CLIENT_SeekPlayBack",
        "CLIENT_PlayBackControlDirection", "CLIENT_SetPlayBackSpeed", "CLIENT_DownloadByRecordFileEx2",
        "CLIENT_DownloadByTimeEx", "CLIENT_StopDownload", "CLIENT_DownloadRemoteFile",
        "CLIENT_DownloadPieceFile", "CLIENT_StartTalkEx", "CLIENT_StopTalkEx", "CLIENT_RecordStart",
        "CLIENT_RecordStop", "CLIENT_AudioDec", "CLIENT_TalkSendData", "CLIENT_AttachConfigChange",
        "CLIENT_DetachConfigChange", "CLIENT_TransmitInfoForWebEx", "CLIENT_AttachTransmitInfo",
        "CLIENT_DetachTransmitInfo", "CLIENT_AttachVK", "CLIENT_DetachVK",
    };
    return names;
}

bool QuillnetStandIn::Load(std::string* error)
{
    if (g_library == nullptr) {
        g_library = dlopen(QUILLNET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (g_library == nullptr && error != nullptr) {
            *error = dlerror();
        }
    }
    return g_library != nullptr;
}

void QuillnetStandIn::FillResolveTable(testsupport::TestHost& host)
{
    for (const std::string& name : ClientFunctionNames()) {
        void* address = dlsym(g_library, name.c_str());
        EXPECT_NE(address, nullptr) << name;
        host.SetFunction("Quillnet", name, address);
    }
}

void QuillnetStandIn::StartScripted()
{
    Control<void (*)()>("QNSIM_Reset")();
    Control<void (*)(int)>("QNSIM_SetMode")(QNSIM_MODE_SCRIPTED);
    Control<void (*)(int)>("QNSIM_SetJournal")(1);
    ClearJournal();
}

void QuillnetStandIn::ClearJournal()
{
    Control<void (*)()>("QNSIM_ClearJournal")();
}

Json::Value QuillnetStandIn::Journal()
{
    // Calls on other threads may lengthen the journal between asking its length and copying
    // it, and a copy that does not fit is cut short: copy with room to spare, and again with
    // more room until the whole journal fit.
    auto get = Control<int (*)(char*, int)>("QNSIM_GetJournal");
    std::string text;
    size_t room = static_cast<size_t>(get(nullptr, 0));
    for (;;) {
        room = room * 2 + 4096;
        text.assign(room, '\0');
        const size_t whole = static_cast<size_t>(get(&text[0], static_cast<int>(room)));
        if (whole < room) {
            text.resize(whole);
            break;
        }
        room = whole;
    }
    Json::Value journal;
    EXPECT_TRUE(Foundation::JsonParse(text, journal)) << text;
    return journal;
}

std::vector<std::string> QuillnetStandIn::CallNames()
{
    std::vector<std::string> names;
    for (const Json::Value& entry : Journal()) {
        names.push_back(entry["call"].asString());
    }
    return names;
}

std::vector<Json::Value> QuillnetStandIn::CallsOf(const std::string& function)
{
    std::vector<Json::Value> calls;
    for (const Json::Value& entry : Journal()) {
        if (entry["call"].asString() == function) {
            calls.push_back(entry);
        }
    }
    return calls;
}

void QuillnetStandIn::Script(const char* function, const char* outcome)
{
    ASSERT_EQ(Control<int (*)(const char*, const char*)>("QNSIM_Script")(function, outcome), 1)
        << function << " " << outcome;
}

void QuillnetStandIn::ClearScript()
{
    Control<void (*)()>("QNSIM_ClearScript")();
}

int QuillnetStandIn::FireDisconnect(long login, const char* ip, int port)
{
    return Control<int (*)(qn_handle, const char*, int)>("QNSIM_FireDisconnect")(login, ip, port);
}

int QuillnetStandIn::FireReconnect(long login, const char* ip, int port)
{
    return Control<int (*)(qn_handle, const char*, int)>("QNSIM_FireReconnect")(login, ip, port);
}

int QuillnetStandIn::FireData(long handle, const void* buffer, uint32_t size)
{
    return Control<int (*)(qn_handle, const void*, uint32_t)>("QNSIM_FireData")(handle, buffer, size);
}

int QuillnetStandIn::FireRealData(long real, const void* buffer, uint32_t size)
{
    return Control<int (*)(qn_handle, const void*, uint32_t)>("QNSIM_FireRealData")(real, buffer, size);
}

int QuillnetStandIn::FirePosition(long handle, uint32_t total, int32_t done)
{
    return Control<int (*)(qn_handle, uint32_t, int32_t)>("QNSIM_FirePosition")(handle, total, done);
}

int QuillnetStandIn::FireConfigChange(long attach, const char* name, const char* json)
{
    return Control<int (*)(qn_handle, const char*, const char*)>("QNSIM_FireConfigChange")(attach, name, json);
}

int QuillnetStandIn::FireTransmit(long attach, const char* text, const void* binary, uint32_t binaryLength)
{
    return Control<int (*)(qn_handle, const char*, const void*, uint32_t)>("QNSIM_FireTransmit")(
        attach, text, binary, binaryLength);
}

int QuillnetStandIn::FireTalk(long talk, const void* buffer, uint32_t size, int flag)
{
    return Control<int (*)(qn_handle, const void*, uint32_t, int)>("QNSIM_FireTalk")(talk, buffer, size, flag);
}

int QuillnetStandIn::FireVK(long attach, const void* data, uint32_t length)
{
    return Control<int (*)(qn_handle, const void*, uint32_t)>("QNSIM_FireVK")(attach, data, length);
}

void QuillnetStandIn::StartSimulated(const char* devicesFolder)
{
    Control<void (*)()>("QNSIM_Reset")();
    Control<void (*)(const char*)>("QNSIM_SetDevicesFolder")(devicesFolder);
    Control<void (*)(int)>("QNSIM_SetMode")(QNSIM_MODE_SIMULATE);
    Control<void (*)(int)>("QNSIM_SetJournal")(1);
    ClearJournal();
}

int QuillnetStandIn::ActiveStreams()
{
    return Control<int (*)()>("QNSIM_ActiveStreams")();
}

}  // namespace devtest
