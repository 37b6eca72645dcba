// Test controls of the simulated device: mode, journal, scripts and fired callbacks.
#include "api_common.h"

#include <cstring>

using namespace quillnet;

namespace {

// Runs fn on a thread of the SDK's own and waits for it.
template <class Fn> int OnStandInThread(Fn fn)
{
    int result = -1;
    std::thread t([&] { result = fn(); });
    t.join();
    return result;
}

// Fires a callback of an endpoint: -1 when there is no such endpoint or callback.
template <class Fn> int FireOn(qn_handle handle, Fn fn)
{
    auto ep = State::Get().FindEndpoint(handle);
    if (!ep)
        return -1;
    return OnStandInThread([&] {
        int result = -1;
        WithCallbacks(*ep, [&](Callbacks &cb) { result = fn(*ep, cb); });
        return result;
    });
}

}  // namespace

extern "C" {

void QNSIM_Reset(void)
{
    SetStartHook(nullptr, nullptr);
    StopAll(0);
    for (qn_handle login : State::Get().Logins())
        State::Get().RemoveLogin(login);
    State &st = State::Get();
    st.SetMode(QNSIM_MODE_SIMULATE);
    st.SetJournal(false);
    st.ClearJournal();
    st.ClearScripts();
    st.SetGlobals([](GlobalCallbacks &g) { g = GlobalCallbacks(); });
    std::lock_guard<std::mutex> lock(st.talkMutex);
    st.capture = false;
    st.talkSent = 0;
    st.audioDecoded = 0;
}

void QNSIM_SetMode(int mode) { State::Get().SetMode(mode); }

void QNSIM_SetDevicesFolder(const char *path) { State::Get().SetDevicesFolder(path ? path : ""); }

void QNSIM_SetJournal(int enabled) { State::Get().SetJournal(enabled != 0); }

void QNSIM_ClearJournal(void) { State::Get().ClearJournal(); }

int QNSIM_GetJournal(char *buffer, int size)
{
    const std::string text = State::Get().JournalText();
    if (buffer && size > 0) {
        const size_t n = std::min(text.size(), size_t(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = 0;
    }
    return int(text.size());
}

int QNSIM_Script(const char *function, const char *json)
{
    if (!function || !*function)
        return 0;
    Json::Value outcome(Json::objectValue);
    if (json && *json) {
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (!reader->parse(json, json + std::strlen(json), &outcome, &errors) || !outcome.isObject())
            return 0;
    }
    State::Get().PushScript(function, outcome);
    return 1;
}

void QNSIM_ClearScript(void) { State::Get().ClearScripts(); }

int QNSIM_FireData(qn_handle handle, const void *buffer, uint32_t size)
{
    return FireOn(handle, [&](Endpoint &ep, Callbacks &cb) {
        return cb.data ? cb.data(ep.handle, 0, static_cast<const uint8_t *>(buffer), size, cb.dataUser) : -1;
    });
}

int QNSIM_FireRealData(qn_handle real, const void *buffer, uint32_t size)
{
    return FireOn(real, [&](Endpoint &ep, Callbacks &cb) {
        if (!cb.real)
            return -1;
        cb.real(ep.handle, 0, static_cast<const uint8_t *>(buffer), size, cb.dataUser);
        return 0;
    });
}

int QNSIM_FirePosition(qn_handle handle, uint32_t total, int32_t done)
{
    return FireOn(handle, [&](Endpoint &ep, Callbacks &cb) {
        if (cb.position) {
            cb.position(ep.handle, total, done, cb.positionUser);
            return 0;
        }
        if (cb.timePosition) {
            cb.timePosition(ep.handle, total, done, 0, ep.record, cb.positionUser);
            return 0;
        }
        return -1;
    });
}

int QNSIM_FireDisconnect(qn_handle login, const char *ip, int port)
{
    const GlobalCallbacks g = State::Get().Globals();
    if (!g.disconnect)
        return -1;
    return OnStandInThread([&] {
        g.disconnect(login, ip, port, g.disconnectUser);
        return 0;
    });
}

int QNSIM_FireReconnect(qn_handle login, const char *ip, int port)
{
    const GlobalCallbacks g = State::Get().Globals();
    if (!g.reconnect)
        return -1;
    return OnStandInThread([&] {
        g.reconnect(login, ip, port, g.reconnectUser);
        return 0;
    });
}

int QNSIM_FireConfigChange(qn_handle attach, const char *name, const char *json)
{
    return FireOn(attach, [&](Endpoint &ep, Callbacks &cb) {
        if (!cb.config)
            return -1;
        cb.config(ep.handle, name ? name : ep.name.c_str(), json ? json : "", cb.dataUser);
        return 0;
    });
}

int QNSIM_FireTransmit(qn_handle attach, const char *text, const void *binary, uint32_t binary_length)
{
    std::vector<char> data(text ? text : "", text ? text + std::strlen(text) : nullptr);
    const uint32_t textLength = uint32_t(data.size());
    if (binary && binary_length)
        data.insert(data.end(), static_cast<const char *>(binary), static_cast<const char *>(binary) + binary_length);
    data.push_back(0);
    qn_transmit_data record;
    record.data = data.data();
    record.status = 0;
    record.text_length = textLength;
    record.binary_length = binary && binary_length ? binary_length : 0;
    auto fire = [&](Endpoint &ep, Callbacks &cb) { return cb.transmit ? cb.transmit(ep.handle, &record, cb.dataUser) : -1; };
    if (attach)
        return FireOn(attach, fire);
    int result = -1;
    for (auto &ep : State::Get().EndpointsOfKind(Kind::Transmit, 0))
        result = std::max(result, FireOn(ep->handle, fire));
    return result;
}

int QNSIM_FireTalk(qn_handle talk, const void *buffer, uint32_t size, int flag)
{
    return FireOn(talk, [&](Endpoint &ep, Callbacks &cb) {
        if (!cb.talk)
            return -1;
        cb.talk(ep.handle, static_cast<const char *>(buffer), size, flag, cb.dataUser);
        return 0;
    });
}

int QNSIM_FireVK(qn_handle attach, const void *data, uint32_t length)
{
    return FireOn(attach, [&](Endpoint &ep, Callbacks &cb) {
        if (!cb.vk)
            return -1;
        cb.vk(ep.handle, 0, length, static_cast<const uint8_t *>(data), cb.dataUser);
        return 0;
    });
}

int QNSIM_FailTransfer(qn_handle handle)
{
    auto ep = State::Get().FindEndpoint(handle);
    if (!ep || (ep->kind != Kind::Playback && ep->kind != Kind::Download))
        return 0;
    ep->ChangeControl([](TransferControl &c) { c.fail = true; });
    return 1;
}

void QNSIM_SetStartHook(qnsim_start_hook hook, void *user) { SetStartHook(hook, user); }

int QNSIM_ActiveStreams(void) { return int(State::Get().EndpointCount()) + RunningWorkers().load(); }

void QNSIM_TalkCounters(long long *sent, long long *decoded)
{
    std::lock_guard<std::mutex> lock(State::Get().talkMutex);
    if (sent)
        *sent = State::Get().talkSent;
    if (decoded)
        *decoded = State::Get().audioDecoded;
}

}  // extern "C"

namespace {

// Unloading the module or leaving the process stops every stream first, so that no worker
// thread runs on in unloaded code.
__attribute__((destructor)) void StopEverythingAtUnload()
{
    StopAll(0);
}

}  // namespace
