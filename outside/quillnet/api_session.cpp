// Set-up, login and logout.
#include "api_common.h"

#include <cstring>
#include <dlfcn.h>

using namespace quillnet;

namespace {

std::string DefaultDevicesFolder()
{
    const char *env = std::getenv("QUILLNET_DEVICES");
    if (env && *env)
        return env;
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&CLIENT_Init), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        const size_t slash = path.rfind('/');
        return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/devices";
    }
    return "devices";
}

}  // namespace

namespace quillnet {

std::string DevicesFolder()
{
    const std::string set = State::Get().DevicesFolder();
    return set.empty() ? DefaultDevicesFolder() : set;
}

int StopEndpoint(qn_handle handle, std::initializer_list<Kind> kinds)
{
    auto found = State::Get().FindEndpoint(handle);
    if (!found || std::find(kinds.begin(), kinds.end(), found->kind) == kinds.end()) {
        SetLastError(QN_ERR_INVALID_HANDLE);
        return 0;
    }
    auto ep = State::Get().TakeEndpoint(handle);
    if (!ep) {
        SetLastError(QN_ERR_INVALID_HANDLE);
        return 0;
    }
    ep->Close();
    return 1;
}

void StopAll(qn_handle login)
{
    for (auto &ep : State::Get().TakeEndpointsOf(login))
        ep->Close();
}

bool LoginOf(qn_handle login, Login &out)
{
    if (State::Get().FindLogin(login, out))
        return true;
    SetLastError(QN_ERR_INVALID_HANDLE);
    return false;
}

}  // namespace quillnet

extern "C" {

int CLIENT_Init(qn_disconnect_cb callback, void *user)
{
    Call call("CLIENT_Init", Args(PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
    State::Get().SetGlobals([&](GlobalCallbacks &g) {
        g.disconnect = callback;
        g.disconnectUser = user;
    });
    return call.scripted ? int(call.Result(1)) : 1;
}

void CLIENT_Cleanup(void)
{
    Call call("CLIENT_Cleanup", Json::Value(Json::arrayValue));
    StopAll(0);
    for (qn_handle login : State::Get().Logins())
        State::Get().RemoveLogin(login);
    State::Get().SetGlobals([](GlobalCallbacks &g) { g = GlobalCallbacks(); });
    std::lock_guard<std::mutex> lock(State::Get().talkMutex);
    State::Get().capture = false;
}

uint32_t CLIENT_GetLastError(void)
{
    Call call("CLIENT_GetLastError", Json::Value(Json::arrayValue));
    const uint32_t real = LastError();
    return call.scripted ? uint32_t(call.Result(long(real))) : real;
}

void CLIENT_SetGDPREnable(int enable)
{
    Call call("CLIENT_SetGDPREnable", Args(enable));
}

void CLIENT_SetNetworkParam(const qn_network_param *p)
{
    Json::Value rec;
    if (p) {
        rec["reserved0"] = p->reserved0;
        rec["connect_timeout_ms"] = p->connect_timeout_ms;
        rec["connect_tries"] = p->connect_tries;
        rec["subconnect_spacing_ms"] = p->subconnect_spacing_ms;
        rec["reserved16"] = p->reserved16;
        rec["output_buffer_size"] = p->output_buffer_size;
        rec["info_timeout_ms"] = p->info_timeout_ms;
        rec["search_timeout_ms"] = p->search_timeout_ms;
        rec["subconnect_timeout_ms"] = p->subconnect_timeout_ms;
        rec["detect_mode"] = p->detect_mode;
        rec["picture_buffers"] = p->picture_buffers;
    }
    Call call("CLIENT_SetNetworkParam", Args(rec));
}

void CLIENT_SetAutoReconnect(qn_reconnect_cb callback, void *user)
{
    Call call("CLIENT_SetAutoReconnect", Args(PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
    State::Get().SetGlobals([&](GlobalCallbacks &g) {
        g.reconnect = callback;
        g.reconnectUser = user;
    });
}

void CLIENT_SetDVRMessCallBack(qn_message_cb callback, void *user)
{
    Call call("CLIENT_SetDVRMessCallBack", Args(PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
}

void CLIENT_SetSubconnCallBack(qn_subconnect_cb callback, void *user)
{
    Call call("CLIENT_SetSubconnCallBack", Args(PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
}

int CLIENT_LogOpen(const qn_log_open *p)
{
    Json::Value rec;
    if (p) {
        rec["size"] = p->size;
        rec["file"] = std::string(p->file, strnlen(p->file, sizeof p->file));
        rec["print_enabled"] = p->print_enabled;
    }
    Call call("CLIENT_LogOpen", Args(rec));
    return call.scripted ? int(call.Result(1)) : 1;
}

qn_handle CLIENT_LoginEx2(const char *ip, uint16_t port, const char *user, const char *password,
                          int capability_type, void *capability_param, qn_device_info *info, int *error)
{
    Call call("CLIENT_LoginEx2", Args(TextArg(ip), port, TextArg(user), TextArg(password), capability_type,
                                      capability_param ? Json::Value(*static_cast<int *>(capability_param))
                                                       : Json::Value(),
                                      PtrArg(info), PtrArg(error)));
    if (error)
        *error = 0;
    if (call.scripted) {
        const int err = IntOf(call.outcome, "error");
        if (info) {
            info->lock_left = uint8_t(IntOf(call.outcome, "lockLeft"));
            info->locked_seconds = IntOf(call.outcome, "lockedSeconds");
        }
        if (error)
            *error = err;
        const qn_handle h = err ? 0 : call.Result(State::Get().NewHandle());
        if (h) {
            Login login;
            login.handle = h;
            login.ip = ip ? ip : "";
            login.port = port;
            login.user = user ? user : "";
            State::Get().AddLogin(login);
        }
        return h;
    }
    auto fail = [&](int code) -> qn_handle {
        if (error)
            *error = code;
        SetLastError(QN_ERR_LOGIN);
        return 0;
    };
    if (!ip || !user || !password)
        return fail(QN_LOGIN_NO_USER);
    auto device = FindDevice(DevicesFolder(), ip, port);
    if (!device)
        return fail(QN_LOGIN_UNREACHABLE);
    const UserEntry *entry = nullptr;
    for (const UserEntry &u : device->users) {
        if (u.name == user)
            entry = &u;
    }
    if (!entry)
        return fail(QN_LOGIN_NO_USER);
    if (entry->loginError || entry->lockedSeconds) {
        if (info) {
            info->lock_left = uint8_t(entry->lockLeft);
            info->locked_seconds = entry->lockedSeconds;
        }
        return fail(entry->loginError ? entry->loginError : QN_LOGIN_LOCKED);
    }
    if (entry->password != password) {
        if (info)
            info->lock_left = uint8_t(entry->lockLeft);
        return fail(QN_LOGIN_BAD_PASSWORD);
    }
    if (info) {
        std::memset(info, 0, sizeof *info);
        std::strncpy(info->serial, device->serial.c_str(), sizeof info->serial - 1);
        info->channels = uint8_t(device->liveStreams.size());
    }
    Login login;
    login.handle = State::Get().NewHandle();
    login.device = device;
    login.ip = ip;
    login.port = port;
    login.user = user;
    State::Get().AddLogin(login);
    return login.handle;
}

int CLIENT_Logout(qn_handle login)
{
    Call call("CLIENT_Logout", Args(login));
    Login found;
    const bool known = State::Get().FindLogin(login, found);
    if (known) {
        StopAll(login);
        State::Get().RemoveLogin(login);
    }
    if (call.scripted)
        return int(call.Result(1));
    if (!known)
        SetLastError(QN_ERR_INVALID_HANDLE);
    return known ? 1 : 0;
}

int CLIENT_QuerySystemInfo(qn_handle login, int type, char *buffer, int buffer_size, int *returned)
{
    Call call("CLIENT_QuerySystemInfo", Args(login, type, PtrArg(buffer), buffer_size, PtrArg(returned)));
    const bool fits = buffer && buffer_size >= int(sizeof(qn_ability_info));
    if (call.scripted) {
        if (fits && type == QN_SYSINFO_ABILITY) {
            reinterpret_cast<qn_ability_info *>(buffer)->secondary_analyse = IntOf(call.outcome, "secondaryAnalyse");
            if (returned)
                *returned = int(sizeof(qn_ability_info));
        }
        return int(call.Result(1));
    }
    Login l;
    if (!LoginOf(login, l))
        return 0;
    if (type != QN_SYSINFO_ABILITY || !fits) {
        SetLastError(fits ? QN_ERR_INVALID_ARGUMENT : QN_ERR_BUFFER_TOO_SMALL);
        return 0;
    }
    qn_ability_info *ability = reinterpret_cast<qn_ability_info *>(buffer);
    std::memset(ability, 0, sizeof *ability);
    ability->size = int32_t(sizeof *ability);
    ability->secondary_analyse = l.device ? l.device->secondaryAnalyse : 0;
    if (returned)
        *returned = int(sizeof *ability);
    return 1;
}

}  // extern "C"
