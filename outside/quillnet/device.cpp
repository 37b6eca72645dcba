#include "device.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quillnet {

const Json::Value &Member(const Json::Value &v, const char *key)
{
    static const Json::Value null;
    if (!v.isObject())
        return null;
    const Json::Value *found = v.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : null;
}

std::string TextOf(const Json::Value &v, const char *key, const std::string &fallback)
{
    const Json::Value &m = Member(v, key);
    return m.isString() ? m.asString() : fallback;
}

int IntOf(const Json::Value &v, const char *key, int fallback)
{
    const Json::Value &m = Member(v, key);
    if (m.isInt())
        return m.asInt();
    if (m.isBool())
        return m.asBool() ? 1 : 0;
    return fallback;
}

namespace {

bool ReadJsonFile(const std::string &path, Json::Value &out, std::string *why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (why)
            *why = "cannot open " + path;
        return false;
    }
    Json::CharReaderBuilder builder;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &out, &errors)) {
        if (why)
            *why = path + ": " + errors;
        return false;
    }
    return true;
}

std::string Compact(const Json::Value &v)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, v);
}

}  // namespace

std::shared_ptr<Device> Device::Load(const std::string &folder, std::string *why)
{
    Json::Value root;
    if (!ReadJsonFile(folder + "/device.json", root, why))
        return nullptr;
    if (!root.isObject()) {
        if (why)
            *why = "device.json is not an object";
        return nullptr;
    }
    auto dev = std::make_shared<Device>();
    dev->folder = folder;
    dev->address = TextOf(root, "address");
    dev->port = IntOf(root, "port");
    dev->serial = TextOf(root, "serial", "QN-SIM");
    dev->secondaryAnalyse = IntOf(Member(root, "abilities"), "secondaryAnalyse");
    dev->transferBytesPerSecond = IntOf(root, "transferBytesPerSecond");
    for (const Json::Value &u : Member(root, "users")) {
        if (!u.isObject())
            continue;
        UserEntry e;
        e.name = TextOf(u, "name");
        e.password = TextOf(u, "password");
        e.lockLeft = IntOf(u, "lockLeft");
        e.lockedSeconds = IntOf(u, "lockedSeconds");
        e.loginError = IntOf(u, "loginError");
        dev->users.push_back(e);
    }
    for (const Json::Value &c : Member(root, "channels")) {
        const Json::Value &streams = Member(c, "streams");
        if (!streams.isObject())
            continue;
        const int ch = IntOf(c, "channel", -1);
        for (const std::string &name : streams.getMemberNames()) {
            if (streams[name].isString())
                dev->liveStreams[ch][name] = streams[name].asString();
        }
    }
    for (const Json::Value &r : Member(root, "recordings")) {
        Recording rec;
        rec.channel = IntOf(r, "channel", -1);
        rec.stream = TextOf(r, "stream", "Main");
        rec.file = TextOf(r, "file");
        rec.filePath = TextOf(r, "filePath", rec.file);
        rec.type = IntOf(r, "type");
        if (!packetfmt::ParseTimeText(TextOf(r, "startTime"), rec.startMs) ||
            !packetfmt::ParseTimeText(TextOf(r, "endTime"), rec.endMs) || rec.file.empty())
            continue;
        dev->recordings.push_back(rec);
    }
    const Json::Value &remote = Member(root, "remoteFiles");
    if (remote.isObject()) {
        for (const std::string &name : remote.getMemberNames()) {
            if (remote[name].isString())
                dev->remoteFiles[name] = remote[name].asString();
        }
    }
    dev->talkAudio = TextOf(Member(root, "talk"), "audio");
    dev->m_answers = Member(root, "answers");
    dev->m_config = Member(root, "config");
    if (!dev->m_config.isObject())
        dev->m_config = Json::Value(Json::objectValue);
    return dev;
}

std::string Device::FilePath(const std::string &relative) const
{
    if (relative.empty() || relative[0] == '/' || relative.find("..") != std::string::npos)
        return std::string();
    return folder + "/" + relative;
}

std::shared_ptr<const PacketList> Device::Packets(const std::string &relative)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_cache.find(relative);
    if (it != m_cache.end())
        return it->second;
    const std::string path = FilePath(relative);
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in)
        return nullptr;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto list = std::make_shared<PacketList>(packetfmt::ParseAll(bytes.data(), bytes.size()));
    std::shared_ptr<const PacketList> result = list;
    m_cache[relative] = result;
    return result;
}

std::string Device::StreamName(int streamType)
{
    switch (streamType) {
    case 3: return "Extra1";
    case 4: return "Extra2";
    case 5: return "Extra3";
    default: return "Main";
    }
}

std::shared_ptr<const PacketList> Device::LivePackets(int channel, int streamType)
{
    auto ch = liveStreams.find(channel);
    if (ch == liveStreams.end())
        return nullptr;
    auto st = ch->second.find(StreamName(streamType));
    if (st == ch->second.end())
        st = ch->second.find("Main");
    if (st == ch->second.end())
        return nullptr;
    auto packets = Packets(st->second);
    return packets && !packets->empty() ? packets : nullptr;
}

bool Device::AddRecording(size_t index, int64_t fromMs, int64_t toMs, Clip &clip)
{
    auto packets = Packets(recordings[index].file);
    if (!packets)
        return false;
    const size_t source = clip.sources.size();
    clip.sources.push_back(packets);
    clip.recordingOfSource.push_back(index);
    for (size_t i = 0; i < packets->size(); ++i) {
        const int64_t ts = (*packets)[i].info.timestampMs;
        if (ts < fromMs || ts > toMs)
            continue;
        clip.packets.emplace_back(source, i);
        clip.totalBytes += (*packets)[i].bytes.size();
    }
    return true;
}

bool Device::ClipByFile(const std::string &path, int channel, int64_t fromMs, int64_t toMs, Clip &clip)
{
    for (size_t i = 0; i < recordings.size(); ++i) {
        if (!path.empty() && recordings[i].filePath == path)
            return AddRecording(i, fromMs, toMs, clip);
    }
    return ClipByTime(channel, 0, fromMs, toMs, clip);
}

bool Device::ClipByTime(int channel, int streamNumber, int64_t fromMs, int64_t toMs, Clip &clip)
{
    static const char *names[] = {"Main", "Main", "Extra1", "Extra2", "Extra3"};
    const std::string wanted = names[streamNumber >= 0 && streamNumber <= 4 ? streamNumber : 0];
    std::vector<size_t> candidates;
    for (size_t i = 0; i < recordings.size(); ++i) {
        const Recording &r = recordings[i];
        if (r.channel == channel && r.startMs <= toMs && r.endMs >= fromMs)
            candidates.push_back(i);
    }
    std::sort(candidates.begin(), candidates.end(),
              [&](size_t a, size_t b) { return recordings[a].startMs < recordings[b].startMs; });
    if (candidates.empty())
        return false;
    // One stream only: the wanted one; one the device did not record falls back to the main
    // stream, else to the stream of the earliest recording.
    auto has = [&](const std::string &name) {
        return std::any_of(candidates.begin(), candidates.end(), [&](size_t i) { return recordings[i].stream == name; });
    };
    const std::string stream = has(wanted) ? wanted : has("Main") ? std::string("Main") : recordings[candidates[0]].stream;
    bool any = false;
    for (size_t i : candidates) {
        if (recordings[i].stream == stream)
            any = AddRecording(i, fromMs, toMs, clip) || any;
    }
    return any && !clip.packets.empty();
}

std::string Device::Answer(const Json::Value &request, std::map<std::string, std::string> &changed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string method = TextOf(request, "method");
    const Json::Value &params = Member(request, "params");
    Json::Value answer;
    if (m_answers.isObject()) {
        for (const std::string &name : m_answers.getMemberNames()) {
            if (!method.empty() && TextOf(m_answers[name], "resetOn") == method)
                m_answerCalls[name] = 0;
        }
    }
    const Json::Value &scripted = Member(m_answers, method.c_str());
    const Json::Value &sequence = scripted.isArray() ? scripted : Member(scripted, "sequence");
    if (!method.empty() && !scripted.isNull()) {
        if (sequence.isArray() && sequence.size() > 0) {
            unsigned &calls = m_answerCalls[method];
            answer = sequence[std::min<unsigned>(calls, sequence.size() - 1)];
            ++calls;
        } else {
            answer = scripted;
        }
    } else if (method == "configManager.getConfig") {
        const std::string name = TextOf(params, "name");
        const Json::Value &table = Member(m_config, name.c_str());
        if (table.isNull()) {
            answer["result"] = false;
            answer["error"]["code"] = 404;
            answer["error"]["message"] = "no such configuration";
        } else {
            const Json::Value &channel = Member(params, "channel");
            answer["result"] = true;
            if (table.isArray() && channel.isInt() && channel.asInt() >= 0 &&
                Json::ArrayIndex(channel.asInt()) < table.size())
                answer["params"]["table"] = table[Json::ArrayIndex(channel.asInt())];
            else
                answer["params"]["table"] = table;
        }
    } else if (method == "configManager.writeTable") {
        const std::string name = TextOf(params, "name");
        const Json::Value &table = Member(params, "table");
        if (name.empty() || table.isNull()) {
            answer["result"] = false;
            answer["error"]["code"] = 400;
            answer["error"]["message"] = "name and table required";
        } else {
            const Json::Value &channel = Member(params, "channel");
            Json::Value &stored = m_config[name];
            if (channel.isInt() && channel.asInt() >= 0 && channel.asInt() < 256 &&
                (stored.isArray() || stored.isNull()))
                stored[Json::ArrayIndex(channel.asInt())] = table;
            else
                stored = table;
            Json::Value note;
            note["method"] = "configManager.tableChanged";
            note["params"]["name"] = name;
            note["params"]["table"] = stored;
            changed[name] = Compact(note);
            answer["result"] = true;
        }
    } else if (method == "snapManager.attachFileProc" || method == "snapManager.detachFileProc") {
        answer["result"] = true;
    } else {
        answer["result"] = false;
        answer["error"]["code"] = 404;
        answer["error"]["message"] = "method not found: " + method;
    }
    if (answer.isObject()) {
        const Json::Value &id = Member(request, "id");
        if (!id.isNull())
            answer["id"] = id;
    }
    return answer.isString() ? answer.asString() : Compact(answer);
}

std::shared_ptr<Device> FindDevice(const std::string &devicesFolder, const std::string &address, int port)
{
    DIR *dir = opendir(devicesFolder.c_str());
    if (!dir)
        return nullptr;
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        auto dev = Device::Load(devicesFolder + "/" + name);
        if (dev && dev->address == address && dev->port == port)
            return dev;
    }
    return nullptr;
}

}  // namespace quillnet
