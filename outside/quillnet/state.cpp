#include "state.h"

#include <cstdio>
#include <cstring>

namespace quillnet {

namespace {
thread_local uint32_t t_lastError = 0;
}

void SetLastError(uint32_t code) { t_lastError = code; }
uint32_t LastError() { return t_lastError; }

State &State::Get()
{
    static State *state = new State;   // outlives every thread that may still call in
    return *state;
}

qn_handle State::NewHandle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_next++;
}

void State::AddLogin(const Login &login)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_logins[login.handle] = login;
}

bool State::FindLogin(qn_handle handle, Login &out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_logins.find(handle);
    if (it == m_logins.end())
        return false;
    out = it->second;
    return true;
}

bool State::RemoveLogin(qn_handle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_logins.erase(handle) > 0;
}

bool State::SetPlaybackStream(qn_handle login, int stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_logins.find(login);
    if (it == m_logins.end())
        return false;
    it->second.playbackStream = stream;
    return true;
}

std::vector<qn_handle> State::Logins()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<qn_handle> out;
    for (auto &kv : m_logins)
        out.push_back(kv.first);
    return out;
}

void State::AddEndpoint(const std::shared_ptr<Endpoint> &ep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints[ep->handle] = ep;
}

std::shared_ptr<Endpoint> State::FindEndpoint(qn_handle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_endpoints.find(handle);
    return it == m_endpoints.end() ? nullptr : it->second;
}

std::shared_ptr<Endpoint> State::TakeEndpoint(qn_handle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_endpoints.find(handle);
    if (it == m_endpoints.end())
        return nullptr;
    auto ep = it->second;
    m_endpoints.erase(it);
    return ep;
}

std::vector<std::shared_ptr<Endpoint>> State::TakeEndpointsOf(qn_handle login)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<Endpoint>> out;
    for (auto it = m_endpoints.begin(); it != m_endpoints.end();) {
        if (login == 0 || it->second->login == login) {
            out.push_back(it->second);
            it = m_endpoints.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

std::vector<std::shared_ptr<Endpoint>> State::EndpointsOfKind(Kind kind, qn_handle login)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<Endpoint>> out;
    for (auto &kv : m_endpoints) {
        if (kv.second->kind == kind && (login == 0 || kv.second->login == login))
            out.push_back(kv.second);
    }
    return out;
}

size_t State::EndpointCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoints.size();
}

GlobalCallbacks State::Globals()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_globals;
}

void State::SetGlobals(const std::function<void(GlobalCallbacks &)> &change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_globals);
}

int State::Mode()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode;
}

void State::SetMode(int mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode == QNSIM_MODE_SCRIPTED ? QNSIM_MODE_SCRIPTED : QNSIM_MODE_SIMULATE;
}

std::string State::DevicesFolder()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devicesFolder;
}

void State::SetDevicesFolder(const std::string &folder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devicesFolder = folder;
}

bool State::JournalOn()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_journalOn;
}

void State::SetJournal(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journalOn = on;
}

void State::Record(const char *function, const Json::Value &args)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_journalOn)
        return;
    Json::Value entry;
    entry["call"] = function;
    entry["args"] = args;
    m_journal.append(entry);
}

std::string State::JournalText()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, m_journal);
}

void State::ClearJournal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journal = Json::Value(Json::arrayValue);
}

void State::PushScript(const std::string &function, const Json::Value &outcome)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_scripts[function].push_back(outcome);
}

bool State::TakeScript(const std::string &function, Json::Value &outcome)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_scripts.find(function);
    if (it == m_scripts.end() || it->second.empty())
        return false;
    outcome = it->second.front();
    it->second.pop_front();
    return true;
}

void State::ClearScripts()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_scripts.clear();
}

Json::Value PtrArg(const void *p)
{
    return Json::Value(Json::UInt64(reinterpret_cast<uintptr_t>(p)));
}

Json::Value TimeArg(const qn_time *t)
{
    if (!t)
        return Json::Value();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t->year, t->month, t->day, t->hour,
                  t->minute, t->second);
    return buf;
}

Json::Value TextArg(const char *s) { return s ? Json::Value(s) : Json::Value(); }

Json::Value RecordFileArg(const qn_record_file *r)
{
    if (!r)
        return Json::Value();
    Json::Value v;
    v["channel"] = r->channel;
    v["path"] = std::string(r->path, strnlen(r->path, sizeof r->path));
    v["length"] = r->length;
    v["start"] = TimeArg(&r->start);
    v["end"] = TimeArg(&r->end);
    v["disk"] = r->disk;
    v["cluster"] = r->cluster;
    v["type"] = r->type;
    return v;
}

Call::Call(const char *function, const Json::Value &args)
{
    State &st = State::Get();
    st.Record(function, args);
    if (st.TakeScript(function, outcome))
        scripted = true;
    else if (st.Mode() == QNSIM_MODE_SCRIPTED)
        scripted = true, outcome = Json::Value(Json::objectValue);
}

long Call::Result(long fallback) const
{
    const Json::Value &le = Member(outcome, "lastError");
    if (le.isIntegral())
        SetLastError(uint32_t(le.asLargestInt()));
    const Json::Value &r = Member(outcome, "result");
    if (r.isIntegral())
        return long(r.asLargestInt());
    if (r.isBool())
        return r.asBool() ? 1 : 0;
    return fallback;
}

bool TimeToMs(const qn_time &t, int64_t &ms)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return packetfmt::ParseTimeText(buf, ms);
}

qn_time MsToTime(int64_t ms)
{
    const packetfmt::CivilTime c = packetfmt::MsToCivil(ms);
    qn_time t;
    t.year = c.year;
    t.month = c.month;
    t.day = c.day;
    t.hour = c.hour;
    t.minute = c.minute;
    t.second = c.second;
    return t;
}

}  // namespace quillnet
