// Transparent requests, configuration watching, remote files, talk and VK attachments.
#include "api_common.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace quillnet;

namespace {

bool ReadFile(const std::string &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Writes a whole file through a temporary file renamed over the target.
bool WriteFileAtomically(const std::string &path, const std::string &data)
{
    const std::string temp = path + ".part";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The content of a device file, from the script ("data") or the device's remote-file table.
bool RemoteContent(const Call &call, qn_handle login, const char *remote, std::string &out)
{
    if (call.scripted) {
        out = TextOf(call.outcome, "data");
        return call.Result(1) != 0;
    }
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return false;
    auto it = remote ? l.device->remoteFiles.find(remote) : l.device->remoteFiles.end();
    if (it == l.device->remoteFiles.end() || !ReadFile(l.device->FilePath(it->second), out)) {
        SetLastError(QN_ERR_NO_FILE);
        return false;
    }
    return true;
}

bool PutAnswer(const std::string &answer, qn_transmit_out *out)
{
    if (!out || !out->buffer || answer.size() + 1 > out->buffer_size) {
        SetLastError(QN_ERR_BUFFER_TOO_SMALL);
        return false;
    }
    std::memcpy(out->buffer, answer.c_str(), answer.size() + 1);
    out->answer_length = uint32_t(answer.size());
    return true;
}

std::string ScriptedAnswer(const Call &call, const char *fallback)
{
    const Json::Value &a = Member(call.outcome, "answer");
    if (a.isString())
        return a.asString();
    if (a.isNull())
        return fallback;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, a);
}

// Fires the config callbacks of changed configurations on a thread of their own.
void NotifyConfigWatchers(qn_handle login, const std::map<std::string, std::string> &changed)
{
    if (changed.empty())
        return;
    auto watchers = State::Get().EndpointsOfKind(Kind::Config, login);
    if (watchers.empty())
        return;
    ++RunningWorkers();
    std::thread([watchers, changed] {
        for (auto &ep : watchers) {
            auto it = changed.find(ep->name);
            if (it == changed.end())
                continue;
            WithCallbacks(*ep, [&](Callbacks &cb) {
                if (cb.config)
                    cb.config(ep->handle, ep->name.c_str(), it->second.c_str(), cb.dataUser);
            });
        }
        --RunningWorkers();
    }).detach();
}

// Answers a request text of the login's device; false with the error set when it cannot.
bool AnswerRequest(qn_handle login, const char *request, uint32_t length, std::string &answer)
{
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return false;
    if (!request) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return false;
    }
    const std::string text(request, strnlen(request, length));
    Json::Value parsed;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors) || !parsed.isObject()) {
        SetLastError(QN_ERR_BAD_REQUEST);
        return false;
    }
    std::map<std::string, std::string> changed;
    answer = l.device->Answer(parsed, changed);
    NotifyConfigWatchers(login, changed);
    return true;
}

Json::Value RequestArg(const char *request, uint32_t length)
{
    return request ? Json::Value(std::string(request, strnlen(request, length))) : Json::Value();
}

qn_handle NewEndpoint(Kind kind, qn_handle login, const Callbacks &cbs, const std::string &name = std::string())
{
    auto ep = std::make_shared<Endpoint>(kind, State::Get().NewHandle(), login);
    ep->name = name;
    ep->Replace([&](Callbacks &c) { c = cbs; });
    State::Get().AddEndpoint(ep);
    return ep->handle;
}

qn_handle AttachEndpoint(const Call &call, Kind kind, qn_handle login, const Callbacks &cbs,
                         const std::string &name = std::string())
{
    if (call.scripted) {
        const qn_handle h = call.Result(State::Get().NewHandle());
        if (!h)
            return 0;
        auto ep = std::make_shared<Endpoint>(kind, h, login);
        ep->name = name;
        ep->Replace([&](Callbacks &c) { c = cbs; });
        State::Get().AddEndpoint(ep);
        return h;
    }
    return NewEndpoint(kind, login, cbs, name);
}

}  // namespace

extern "C" {

int CLIENT_DownloadRemoteFile(qn_handle login, const qn_remote_file_in *in, qn_remote_file_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["remote"] = TextArg(in->remote);
        rec["local"] = TextArg(in->local);
    }
    Call call("CLIENT_DownloadRemoteFile", Args(login, rec, PtrArg(out), wait_ms));
    if (!in || !in->remote || !in->local) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return call.scripted ? int(call.Result(0)) : 0;
    }
    std::string content;
    if (!RemoteContent(call, login, in->remote, content))
        return 0;
    if (!WriteFileAtomically(in->local, content)) {
        SetLastError(QN_ERR_IO);
        return 0;
    }
    if (out)
        out->size = sizeof *out;
    return 1;
}

int CLIENT_DownloadPieceFile(qn_handle login, const qn_piece_in *in, qn_piece_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["name"] = std::string(in->name, strnlen(in->name, sizeof in->name));
        rec["offset"] = in->offset;
        rec["piece_length"] = in->piece_length;
    }
    Json::Value outRec;
    if (out) {
        outRec["size"] = out->size;
        outRec["buffer"] = PtrArg(out->buffer);
        outRec["buffer_size"] = out->buffer_size;
    }
    Call call("CLIENT_DownloadPieceFile", Args(login, rec, outRec, wait_ms));
    if (!in || !out || !out->buffer) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    const std::string name(in->name, strnlen(in->name, sizeof in->name));
    std::string content;
    if (!RemoteContent(call, login, name.c_str(), content))
        return 0;
    if (in->offset > content.size()) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    const size_t n = std::min<size_t>({size_t(in->piece_length), size_t(out->buffer_size),
                                       content.size() - in->offset});
    std::memcpy(out->buffer, content.data() + in->offset, n);
    const Json::Value &total = Member(call.outcome, "total");
    out->total_length = total.isUInt() ? total.asUInt() : uint32_t(content.size());
    out->returned_length = uint32_t(n);
    return 1;
}

qn_handle CLIENT_StartTalkEx(qn_handle login, qn_talk_cb callback, void *user)
{
    Call call("CLIENT_StartTalkEx", Args(login, PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
    Callbacks cbs;
    cbs.talk = callback;
    cbs.dataUser = user;
    if (call.scripted)
        return AttachEndpoint(call, Kind::Talk, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    auto ep = std::make_shared<Endpoint>(Kind::Talk, State::Get().NewHandle(), login);
    ep->Replace([&](Callbacks &c) { c = cbs; });
    std::shared_ptr<const PacketList> audio;
    if (!l.device->talkAudio.empty())
        audio = l.device->Packets(l.device->talkAudio);
    State::Get().AddEndpoint(ep);
    StartTalk(ep, audio);
    return ep->handle;
}

int CLIENT_StopTalkEx(qn_handle talk)
{
    Call call("CLIENT_StopTalkEx", Args(talk));
    const int stopped = StopEndpoint(talk, {Kind::Talk});
    return call.scripted ? int(call.Result(1)) : stopped;
}

int CLIENT_RecordStart(void)
{
    Call call("CLIENT_RecordStart", Json::Value(Json::arrayValue));
    const int ok = call.scripted ? int(call.Result(1)) : 1;
    if (ok) {
        std::lock_guard<std::mutex> lock(State::Get().talkMutex);
        State::Get().capture = true;
    }
    return ok;
}

int CLIENT_RecordStop(void)
{
    Call call("CLIENT_RecordStop", Json::Value(Json::arrayValue));
    std::lock_guard<std::mutex> lock(State::Get().talkMutex);
    State::Get().capture = false;
    return 1;
}

void CLIENT_AudioDec(const char *buffer, uint32_t size)
{
    Call call("CLIENT_AudioDec", Args(PtrArg(buffer), size));
    if (!buffer)
        return;
    std::lock_guard<std::mutex> lock(State::Get().talkMutex);
    State::Get().audioDecoded += size;
}

long CLIENT_TalkSendData(qn_handle talk, const char *buffer, uint32_t size)
{
    Call call("CLIENT_TalkSendData", Args(talk, PtrArg(buffer), size));
    if (call.scripted)
        return call.Result(long(size));
    auto ep = State::Get().FindEndpoint(talk);
    if (!ep || ep->kind != Kind::Talk || !buffer) {
        SetLastError(buffer ? QN_ERR_INVALID_HANDLE : QN_ERR_INVALID_ARGUMENT);
        return -1;
    }
    std::lock_guard<std::mutex> lock(State::Get().talkMutex);
    State::Get().talkSent += size;
    return long(size);
}

qn_handle CLIENT_AttachConfigChange(qn_handle login, const qn_config_attach_in *in, qn_config_attach_out *out,
                                    int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["name"] = TextArg(in->name);
        rec["callback"] = PtrArg(reinterpret_cast<void *>(in->callback));
        rec["user"] = PtrArg(in->user);
    }
    Call call("CLIENT_AttachConfigChange", Args(login, rec, PtrArg(out), wait_ms));
    Callbacks cbs;
    if (in) {
        cbs.config = in->callback;
        cbs.dataUser = in->user;
    }
    const std::string name = in && in->name ? in->name : "";
    if (!call.scripted) {
        Login l;
        if (!LoginOf(login, l))
            return 0;
        if (name.empty()) {
            SetLastError(QN_ERR_INVALID_ARGUMENT);
            return 0;
        }
    }
    return AttachEndpoint(call, Kind::Config, login, cbs, name);
}

int CLIENT_DetachConfigChange(qn_handle attach)
{
    Call call("CLIENT_DetachConfigChange", Args(attach));
    const int stopped = StopEndpoint(attach, {Kind::Config});
    return call.scripted ? int(call.Result(1)) : stopped;
}

int CLIENT_TransmitInfoForWebEx(qn_handle login, const qn_transmit_in *in, qn_transmit_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["kind"] = in->kind;
        rec["request"] = RequestArg(in->request, in->request_length);
        rec["request_length"] = in->request_length;
    }
    Json::Value outRec;
    if (out) {
        outRec["size"] = out->size;
        outRec["buffer_size"] = out->buffer_size;
    }
    Call call("CLIENT_TransmitInfoForWebEx", Args(login, rec, outRec, wait_ms));
    std::string answer;
    if (call.scripted) {
        if (!call.Result(1))
            return 0;
        return PutAnswer(ScriptedAnswer(call, "{\"result\":true}"), out) ? 1 : 0;
    }
    if (!in || !AnswerRequest(login, in->request, in->request_length, answer))
        return 0;
    return PutAnswer(answer, out) ? 1 : 0;
}

qn_handle CLIENT_AttachTransmitInfo(qn_handle login, const qn_transmit_attach_in *in, qn_transmit_out *out,
                                    int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["callback"] = PtrArg(reinterpret_cast<void *>(in->callback));
        rec["user"] = PtrArg(in->user);
        rec["request"] = RequestArg(in->request, in->request_length);
        rec["request_length"] = in->request_length;
    }
    Call call("CLIENT_AttachTransmitInfo", Args(login, rec, PtrArg(out), wait_ms));
    Callbacks cbs;
    if (in) {
        cbs.transmit = in->callback;
        cbs.dataUser = in->user;
    }
    std::string answer;
    if (call.scripted) {
        answer = ScriptedAnswer(call, "{\"result\":true}");
    } else if (!in || !AnswerRequest(login, in->request, in->request_length, answer)) {
        return 0;
    }
    if (!PutAnswer(answer, out))
        return 0;
    return AttachEndpoint(call, Kind::Transmit, login, cbs);
}

int CLIENT_DetachTransmitInfo(qn_handle attach, const qn_transmit_detach_in *in, qn_transmit_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["request"] = RequestArg(in->request, in->request_length);
        rec["request_length"] = in->request_length;
    }
    Call call("CLIENT_DetachTransmitInfo", Args(attach, rec, PtrArg(out), wait_ms));
    auto ep = State::Get().FindEndpoint(attach);
    const qn_handle login = ep ? ep->login : 0;
    const int stopped = StopEndpoint(attach, {Kind::Transmit});
    if (call.scripted)
        return call.Result(1) && PutAnswer(ScriptedAnswer(call, "{\"result\":true}"), out) ? 1 : 0;
    if (!stopped)
        return 0;
    std::string answer = "{\"result\":true}";
    if (in && in->request)
        AnswerRequest(login, in->request, in->request_length, answer);
    return PutAnswer(answer, out) ? 1 : 0;
}

qn_handle CLIENT_AttachVK(qn_handle login, const qn_vk_in *in, qn_vk_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["channel"] = in->channel;
        rec["callback"] = PtrArg(reinterpret_cast<void *>(in->callback));
        rec["user"] = PtrArg(in->user);
    }
    Call call("CLIENT_AttachVK", Args(login, rec, PtrArg(out), wait_ms));
    Callbacks cbs;
    if (in) {
        cbs.vk = in->callback;
        cbs.dataUser = in->user;
    }
    if (!call.scripted) {
        Login l;
        if (!LoginOf(login, l))
            return 0;
    }
    const qn_handle h = AttachEndpoint(call, Kind::VK, login, cbs);
    if (h && out) {
        out->size = sizeof *out;
        for (int i = 0; i < 16; ++i)
            out->data[i] = uint8_t(i + 1);
        for (int i = 0; i < 32; ++i)
            out->data[128 + i] = uint8_t(0x80 + i);
    }
    return h;
}

int CLIENT_DetachVK(qn_handle attach)
{
    Call call("CLIENT_DetachVK", Args(attach));
    const int stopped = StopEndpoint(attach, {Kind::VK});
    return call.scripted ? int(call.Result(1)) : stopped;
}

}  // extern "C"
