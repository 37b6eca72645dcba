// Process-wide state of the SDK: logins, handles, global callbacks, mode, journal and scripts.
#ifndef OUTSIDE_QUILLNET_STATE_H
#define OUTSIDE_QUILLNET_STATE_H

#include "device.h"
#include "endpoint.h"

#include <json/json.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace quillnet {

struct Login {
    qn_handle handle = 0;
    std::shared_ptr<Device> device;   // null in scripted mode
    std::string ip;
    int port = 0;
    std::string user;
    int playbackStream = 0;
};

struct GlobalCallbacks {
    qn_disconnect_cb disconnect = nullptr;
    void *disconnectUser = nullptr;
    qn_reconnect_cb reconnect = nullptr;
    void *reconnectUser = nullptr;
};

class State {
public:
    static State &Get();

    // Handles and logins. The lock guards the tables only; nothing calls out under it.
    qn_handle NewHandle();
    void AddLogin(const Login &login);
    bool FindLogin(qn_handle handle, Login &out);
    bool RemoveLogin(qn_handle handle);
    bool SetPlaybackStream(qn_handle login, int stream);
    std::vector<qn_handle> Logins();

    void AddEndpoint(const std::shared_ptr<Endpoint> &ep);
    std::shared_ptr<Endpoint> FindEndpoint(qn_handle handle);
    std::shared_ptr<Endpoint> TakeEndpoint(qn_handle handle);
    std::vector<std::shared_ptr<Endpoint>> TakeEndpointsOf(qn_handle login);   // 0: all
    std::vector<std::shared_ptr<Endpoint>> EndpointsOfKind(Kind kind, qn_handle login);
    size_t EndpointCount();

    GlobalCallbacks Globals();
    void SetGlobals(const std::function<void(GlobalCallbacks &)> &change);

    int Mode();
    void SetMode(int mode);
    std::string DevicesFolder();
    void SetDevicesFolder(const std::string &folder);

    // Journal.
    bool JournalOn();
    void SetJournal(bool on);
    void Record(const char *function, const Json::Value &args);
    std::string JournalText();
    void ClearJournal();

    // Scripts: one queue of outcomes per function name.
    void PushScript(const std::string &function, const Json::Value &outcome);
    bool TakeScript(const std::string &function, Json::Value &outcome);
    void ClearScripts();

    // Talk counters and local capture.
    bool capture = false;
    long long talkSent = 0;
    long long audioDecoded = 0;
    std::mutex talkMutex;

private:
    std::mutex m_mutex;
    qn_handle m_next = 1;
    std::map<qn_handle, Login> m_logins;
    std::map<qn_handle, std::shared_ptr<Endpoint>> m_endpoints;
    GlobalCallbacks m_globals;
    int m_mode = QNSIM_MODE_SIMULATE;
    std::string m_devicesFolder;
    bool m_journalOn = false;
    Json::Value m_journal = Json::Value(Json::arrayValue);
    std::map<std::string, std::deque<Json::Value>> m_scripts;
};

void SetLastError(uint32_t code);
uint32_t LastError();

// Journal argument forms: a pointer as a number, a time record as text, a C text (null kept).
Json::Value PtrArg(const void *p);
Json::Value TimeArg(const qn_time *t);
Json::Value TextArg(const char *s);
Json::Value RecordFileArg(const qn_record_file *r);

// Start of every CLIENT_ call: journals it and says whether a scripted outcome replaces it.
// In scripted mode every call has an outcome (the default one when none was queued).
struct Call {
    Call(const char *function, const Json::Value &args);
    bool scripted = false;
    Json::Value outcome;
    // The outcome's "result" (default: the given value); sets the scripted "lastError".
    long Result(long fallback) const;
};

// Time record <-> plain local milliseconds.
bool TimeToMs(const qn_time &t, int64_t &ms);
qn_time MsToTime(int64_t ms);

}  // namespace quillnet

#endif
