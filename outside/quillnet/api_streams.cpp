// Live streams, playback and downloads of recordings.
#include "api_common.h"

#include <cstring>

using namespace quillnet;

namespace {

std::string PathOf(const qn_record_file &r) { return std::string(r.path, strnlen(r.path, sizeof r.path)); }

// A bare endpoint for a scripted call: callbacks kept, nothing runs until a test fires them.
qn_handle ScriptedEndpoint(const Call &call, Kind kind, qn_handle login, const Callbacks &cbs)
{
    const qn_handle h = call.Result(State::Get().NewHandle());
    if (h) {
        auto ep = std::make_shared<Endpoint>(kind, h, login);
        ep->Replace([&](Callbacks &c) { c = cbs; });
        State::Get().AddEndpoint(ep);
    }
    return h;
}

// Playback is paced by the stream's time, and no faster than the device can send.
TransferOptions PlaybackOptions(const Login &l)
{
    TransferOptions options;
    options.bytesPerSecond = l.device ? l.device->transferBytesPerSecond : 0;
    return options;
}

qn_handle StartClip(Kind kind, qn_handle login, std::shared_ptr<Clip> clip, const Callbacks &cbs, bool reverse,
                    const TransferOptions &options, const qn_record_file *record = nullptr)
{
    auto ep = std::make_shared<Endpoint>(kind, State::Get().NewHandle(), login);
    ep->Replace([&](Callbacks &c) { c = cbs; });
    ep->ChangeControl([&](TransferControl &c) { c.reverse = reverse; });
    int64_t first = INT64_MAX;
    for (size_t i = 0; i < clip->packets.size(); ++i)
        first = std::min(first, clip->At(i).info.timestampMs);
    ep->spanStartMs = first;
    if (record)
        ep->record = *record;
    State::Get().AddEndpoint(ep);
    StartTransfer(ep, clip, options);
    return ep->handle;
}

// Chooses the recordings of a record-file record; false (with the error set) when none.
bool ClipOfRecord(const Login &l, const qn_record_file &r, Clip &clip)
{
    int64_t from = INT64_MIN, to = INT64_MAX;
    int64_t ms = 0;
    if (TimeToMs(r.start, ms))
        from = ms;
    if (TimeToMs(r.end, ms))
        to = ms + 999;
    if (!l.device->ClipByFile(PathOf(r), r.channel, from, to, clip) || clip.packets.empty()) {
        SetLastError(QN_ERR_NO_RECORD);
        return false;
    }
    return true;
}

bool ClipOfSpan(const Login &l, int channel, int stream, const qn_time &start, const qn_time &end, Clip &clip)
{
    int64_t from = 0, to = 0;
    if (!TimeToMs(start, from) || !TimeToMs(end, to) || to < from) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return false;
    }
    if (!l.device->ClipByTime(channel, stream, from, to + 999, clip)) {
        SetLastError(QN_ERR_NO_RECORD);
        return false;
    }
    return true;
}

template <class Change> int ControlTransfer(qn_handle h, Change change)
{
    auto ep = State::Get().FindEndpoint(h);
    if (!ep || (ep->kind != Kind::Playback && ep->kind != Kind::Download)) {
        SetLastError(QN_ERR_INVALID_HANDLE);
        return 0;
    }
    ep->ChangeControl([&](TransferControl &c) { change(*ep, c); });
    return 1;
}

Json::Value PlaybackFileArg(const qn_playback_file_in *in)
{
    if (!in)
        return Json::Value();
    Json::Value v;
    v["file"] = RecordFileArg(in->file);
    v["window"] = PtrArg(in->window);
    v["position_cb"] = PtrArg(reinterpret_cast<void *>(in->position_cb));
    v["position_user"] = PtrArg(in->position_user);
    v["data_cb"] = PtrArg(reinterpret_cast<void *>(in->data_cb));
    v["data_user"] = PtrArg(in->data_user);
    v["reverse"] = in->reverse;
    v["wait_ms"] = in->wait_ms;
    return v;
}

Json::Value PlaybackTimeArg(const qn_playback_time_in *in)
{
    if (!in)
        return Json::Value();
    Json::Value v;
    v["start"] = TimeArg(&in->start);
    v["end"] = TimeArg(&in->end);
    v["window"] = PtrArg(in->window);
    v["position_cb"] = PtrArg(reinterpret_cast<void *>(in->position_cb));
    v["position_user"] = PtrArg(in->position_user);
    v["data_cb"] = PtrArg(reinterpret_cast<void *>(in->data_cb));
    v["data_user"] = PtrArg(in->data_user);
    v["reverse"] = in->reverse;
    v["wait_ms"] = in->wait_ms;
    return v;
}

Callbacks DataCallbacks(qn_position_cb pos, void *posUser, qn_data_cb data, void *dataUser)
{
    Callbacks c;
    c.position = pos;
    c.positionUser = posUser;
    c.data = data;
    c.dataUser = dataUser;
    return c;
}

}  // namespace

extern "C" {

qn_handle CLIENT_RealPlayEx(qn_handle login, int channel, void *window, int stream_type)
{
    Call call("CLIENT_RealPlayEx", Args(login, channel, PtrArg(window), stream_type));
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Real, login, Callbacks());
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    auto packets = l.device->LivePackets(channel, stream_type);
    if (!packets) {
        SetLastError(QN_ERR_NO_CHANNEL);
        return 0;
    }
    auto ep = std::make_shared<Endpoint>(Kind::Real, State::Get().NewHandle(), login);
    State::Get().AddEndpoint(ep);
    StartLive(ep, packets);
    return ep->handle;
}

int CLIENT_SetRealDataCallBack(qn_handle real, qn_real_data_cb callback, void *user)
{
    Call call("CLIENT_SetRealDataCallBack", Args(real, PtrArg(reinterpret_cast<void *>(callback)), PtrArg(user)));
    auto ep = State::Get().FindEndpoint(real);
    const bool known = ep && ep->kind == Kind::Real;
    if (known && (!call.scripted || call.Result(1))) {
        ep->Replace([&](Callbacks &c) {
            c.real = callback;
            c.dataUser = user;
        });
    }
    if (call.scripted)
        return int(call.Result(1));
    if (!known)
        SetLastError(QN_ERR_INVALID_HANDLE);
    return known ? 1 : 0;
}

int CLIENT_StopRealPlay(qn_handle real)
{
    Call call("CLIENT_StopRealPlay", Args(real));
    const int stopped = StopEndpoint(real, {Kind::Real});
    return call.scripted ? int(call.Result(1)) : stopped;
}

long CLIENT_GetStatiscFlux(qn_handle login, qn_handle real)
{
    Call call("CLIENT_GetStatiscFlux", Args(login, real));
    auto ep = State::Get().FindEndpoint(real);
    const long flux = ep && ep->login == login ? ep->flux.load() : 0;
    return call.scripted ? call.Result(flux) : flux;
}

int CLIENT_MakeKeyFrame(qn_handle login, int channel, int sub_stream)
{
    Call call("CLIENT_MakeKeyFrame", Args(login, channel, sub_stream));
    if (call.scripted)
        return int(call.Result(1));
    Login l;
    return LoginOf(login, l) ? 1 : 0;
}

qn_handle CLIENT_PlayBackByRecordFileEx2(qn_handle login, const qn_playback_file_in *in, qn_playback_out *out)
{
    Call call("CLIENT_PlayBackByRecordFileEx2", Args(login, PlaybackFileArg(in), PtrArg(out)));
    const Callbacks cbs = in ? DataCallbacks(in->position_cb, in->position_user, in->data_cb, in->data_user) : Callbacks();
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Playback, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    if (!in || !in->file) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    auto clip = std::make_shared<Clip>();
    if (!ClipOfRecord(l, *in->file, *clip))
        return 0;
    return StartClip(Kind::Playback, login, clip, cbs, in->reverse != 0, PlaybackOptions(l));
}

qn_handle CLIENT_PlayBackByTimeEx2(qn_handle login, int channel, const qn_playback_time_in *in, qn_playback_out *out)
{
    Call call("CLIENT_PlayBackByTimeEx2", Args(login, channel, PlaybackTimeArg(in), PtrArg(out)));
    const Callbacks cbs = in ? DataCallbacks(in->position_cb, in->position_user, in->data_cb, in->data_user) : Callbacks();
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Playback, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    if (!in) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    auto clip = std::make_shared<Clip>();
    if (!ClipOfSpan(l, channel, l.playbackStream, in->start, in->end, *clip))
        return 0;
    return StartClip(Kind::Playback, login, clip, cbs, in->reverse != 0, PlaybackOptions(l));
}

qn_handle CLIENT_PlayBackBySecondaryAnalyse(qn_handle login, const qn_analyse_playback_in *in,
                                            qn_analyse_playback_out *out, int wait_ms)
{
    Json::Value rec;
    if (in) {
        rec["size"] = in->size;
        rec["channel"] = in->channel;
        rec["start"] = TimeArg(&in->start);
        rec["end"] = TimeArg(&in->end);
        rec["position_user"] = PtrArg(in->position_user);
        rec["data_user"] = PtrArg(in->data_user);
        rec["reverse"] = in->reverse;
        rec["task"] = in->task;
    }
    Call call("CLIENT_PlayBackBySecondaryAnalyse", Args(login, rec, PtrArg(out), wait_ms));
    const Callbacks cbs = in ? DataCallbacks(in->position_cb, in->position_user, in->data_cb, in->data_user) : Callbacks();
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Playback, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    if (!in) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    auto clip = std::make_shared<Clip>();
    if (!ClipOfSpan(l, in->channel, 0, in->start, in->end, *clip))
        return 0;
    return StartClip(Kind::Playback, login, clip, cbs, in->reverse != 0, PlaybackOptions(l));
}

int CLIENT_SetDeviceMode(qn_handle login, int mode, void *value)
{
    const int stream = value ? *static_cast<int *>(value) : 0;
    Call call("CLIENT_SetDeviceMode", Args(login, mode, value ? Json::Value(stream) : Json::Value()));
    if (call.scripted)
        return int(call.Result(1));
    if (mode == QN_MODE_PLAYBACK_STREAM) {
        if (!value) {
            SetLastError(QN_ERR_INVALID_ARGUMENT);
            return 0;
        }
        if (!State::Get().SetPlaybackStream(login, stream)) {
            SetLastError(QN_ERR_INVALID_HANDLE);
            return 0;
        }
        return 1;
    }
    Login l;
    return LoginOf(login, l) ? 1 : 0;
}

int CLIENT_StopPlayBack(qn_handle playback)
{
    Call call("CLIENT_StopPlayBack", Args(playback));
    const int stopped = StopEndpoint(playback, {Kind::Playback});
    return call.scripted ? int(call.Result(1)) : stopped;
}

int CLIENT_PausePlayBack(qn_handle playback, int pause)
{
    Call call("CLIENT_PausePlayBack", Args(playback, pause));
    if (call.scripted)
        return int(call.Result(1));
    return ControlTransfer(playback, [&](Endpoint &, TransferControl &c) { c.paused = pause != 0; });
}

int CLIENT_SeekPlayBack(qn_handle playback, int offset_seconds, int offset_bytes)
{
    Call call("CLIENT_SeekPlayBack", Args(playback, offset_seconds, offset_bytes));
    if (call.scripted)
        return int(call.Result(1));
    if (offset_seconds < 0 && offset_bytes < 0) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    return ControlTransfer(playback, [&](Endpoint &ep, TransferControl &c) {
        if (offset_seconds >= 0)
            c.seekMs = ep.spanStartMs + int64_t(offset_seconds) * 1000;
        else
            c.seekBytes = offset_bytes;
    });
}

int CLIENT_PlayBackControlDirection(qn_handle playback, int direction)
{
    Call call("CLIENT_PlayBackControlDirection", Args(playback, direction));
    if (call.scripted)
        return int(call.Result(1));
    return ControlTransfer(playback, [&](Endpoint &, TransferControl &c) { c.reverse = direction != 0; });
}

int CLIENT_SetPlayBackSpeed(qn_handle playback, int step)
{
    Call call("CLIENT_SetPlayBackSpeed", Args(playback, step));
    if (call.scripted)
        return int(call.Result(1));
    if (step < -4 || step > 6) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    return ControlTransfer(playback, [&](Endpoint &, TransferControl &c) { c.speedStep = step; });
}

qn_handle CLIENT_DownloadByRecordFileEx2(qn_handle login, const qn_record_file *file, const char *save_file,
                                         qn_position_cb position_cb, void *position_user, qn_data_cb data_cb,
                                         void *data_user, void *reserved, int flags)
{
    Call call("CLIENT_DownloadByRecordFileEx2",
              Args(login, RecordFileArg(file), TextArg(save_file), PtrArg(reinterpret_cast<void *>(position_cb)),
                   PtrArg(position_user), PtrArg(reinterpret_cast<void *>(data_cb)), PtrArg(data_user),
                   PtrArg(reserved), flags));
    const Callbacks cbs = DataCallbacks(position_cb, position_user, data_cb, data_user);
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Download, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    if (!file) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    auto clip = std::make_shared<Clip>();
    if (!ClipOfRecord(l, *file, *clip))
        return 0;
    TransferOptions options;
    options.paced = false;
    options.bytesPerSecond = l.device->transferBytesPerSecond;
    options.saveFile = save_file ? save_file : "";
    return StartClip(Kind::Download, login, clip, cbs, false, options);
}

qn_handle CLIENT_DownloadByTimeEx(qn_handle login, int channel, int record_type, const qn_time *start,
                                  const qn_time *end, const char *save_file, qn_time_position_cb position_cb,
                                  void *position_user, qn_data_cb data_cb, void *data_user, void *reserved)
{
    Call call("CLIENT_DownloadByTimeEx",
              Args(login, channel, record_type, TimeArg(start), TimeArg(end), TextArg(save_file),
                   PtrArg(reinterpret_cast<void *>(position_cb)), PtrArg(position_user),
                   PtrArg(reinterpret_cast<void *>(data_cb)), PtrArg(data_user), PtrArg(reserved)));
    Callbacks cbs;
    cbs.timePosition = position_cb;
    cbs.positionUser = position_user;
    cbs.data = data_cb;
    cbs.dataUser = data_user;
    if (call.scripted)
        return ScriptedEndpoint(call, Kind::Download, login, cbs);
    Login l;
    if (!LoginOf(login, l) || !l.device)
        return 0;
    if (!start || !end) {
        SetLastError(QN_ERR_INVALID_ARGUMENT);
        return 0;
    }
    auto clip = std::make_shared<Clip>();
    if (!ClipOfSpan(l, channel, 0, *start, *end, *clip))
        return 0;
    qn_record_file record{};
    const Recording &rec = l.device->recordings[clip->recordingOfSource.front()];
    record.channel = rec.channel;
    std::strncpy(record.path, rec.filePath.c_str(), sizeof record.path - 1);
    record.length = uint32_t(clip->totalBytes);
    record.start = MsToTime(rec.startMs);
    record.end = MsToTime(rec.endMs);
    record.type = uint8_t(rec.type);
    TransferOptions options;
    options.paced = false;
    options.bytesPerSecond = l.device->transferBytesPerSecond;
    options.timePosition = true;
    options.saveFile = save_file ? save_file : "";
    return StartClip(Kind::Download, login, clip, cbs, false, options, &record);
}

int CLIENT_StopDownload(qn_handle download)
{
    Call call("CLIENT_StopDownload", Args(download));
    const int stopped = StopEndpoint(download, {Kind::Download});
    return call.scripted ? int(call.Result(1)) : stopped;
}

}  // extern "C"
