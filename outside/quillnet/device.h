// A simulated device, read from its folder's device.json, with its stream files.
//
// device.json (paths relative to the folder; times "yyyy-MM-dd hh:mm:ss", device local time):
//   "address", "port"                      where CLIENT_LoginEx2 finds the device
//   "serial", "abilities": {"secondaryAnalyse": n}
//   "users": [{"name", "password", "lockLeft", "lockedSeconds", "loginError"}]
//       wrong password: error 1 with lockLeft; lockedSeconds: error 5; loginError: that error
//   "channels": [{"channel", "name", "streams": {"Main"|"Extra1"|...: file}}]   live, looped
//   "recordings": [{"channel", "stream", "startTime", "endTime", "file", "filePath", "type"}]
//   "remoteFiles": {device path: file}
//   "answers": {method: answer | [answers...] | {"sequence": [...], "resetOn": method}}
//       a list answers call by call, its last element repeating; "resetOn" restarts it
//   "config": {name: table}                 "configManager.getConfig"/"writeTable"
//   "talk": {"audio": file}                 device audio of talks (a tone when absent)
//   "transferBytesPerSecond": n              playbacks and downloads no faster than that (unlimited when absent)
#ifndef OUTSIDE_QUILLNET_DEVICE_H
#define OUTSIDE_QUILLNET_DEVICE_H

#include "packetfmt.h"

#include <json/json.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quillnet {

using PacketList = std::vector<packetfmt::Packet>;

struct UserEntry {
    std::string name;
    std::string password;
    int lockLeft = 0;
    int lockedSeconds = 0;
    int loginError = 0;
};

struct Recording {
    int channel = 0;
    std::string stream = "Main";
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string file;        // stream file, relative to the device folder
    std::string filePath;    // the path the device reports for it
    int type = 0;
};

// Packets chosen for one playback or download, in time order.
struct Clip {
    std::vector<std::shared_ptr<const PacketList>> sources;
    std::vector<std::pair<size_t, size_t>> packets;   // (source, index)
    std::vector<size_t> recordingOfSource;            // index into Device::recordings
    uint64_t totalBytes = 0;
    const packetfmt::Packet &At(size_t i) const { return (*sources[packets[i].first])[packets[i].second]; }
};

class Device {
public:
    // Reads folder/device.json; null with a reason when it cannot be used.
    static std::shared_ptr<Device> Load(const std::string &folder, std::string *why = nullptr);

    std::string folder;
    std::string address;
    int port = 0;
    std::string serial;
    int secondaryAnalyse = 0;
    std::vector<UserEntry> users;
    std::map<int, std::map<std::string, std::string>> liveStreams;   // channel -> stream -> file
    std::vector<Recording> recordings;
    std::map<std::string, std::string> remoteFiles;                  // device path -> local file
    std::string talkAudio;
    int64_t transferBytesPerSecond = 0;

    // Packets of a stream file of the folder (cached); null when it cannot be read.
    std::shared_ptr<const PacketList> Packets(const std::string &relative);
    // Full path of a file of the folder; empty when it would leave the folder.
    std::string FilePath(const std::string &relative) const;

    // Stream name for a live stream type: 0 and 2 main, 3-5 extra 1-3.
    static std::string StreamName(int streamType);
    // Live packets of a channel and stream (the main stream when that stream is missing).
    std::shared_ptr<const PacketList> LivePackets(int channel, int streamType);

    // Recordings chosen by path (when it names one) or by channel and time, clipped to
    // [fromMs, toMs]. Stream number: 0 any, 1 main, 2-4 extra 1-3.
    bool ClipByFile(const std::string &path, int channel, int64_t fromMs, int64_t toMs, Clip &clip);
    bool ClipByTime(int channel, int streamNumber, int64_t fromMs, int64_t toMs, Clip &clip);

    // Answers one transparent JSON request; notifications for config watchers come back in
    // changed (name -> notification text).
    std::string Answer(const Json::Value &request, std::map<std::string, std::string> &changed);

private:
    bool AddRecording(size_t index, int64_t fromMs, int64_t toMs, Clip &clip);

    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const PacketList>> m_cache;
    Json::Value m_answers;
    std::map<std::string, unsigned> m_answerCalls;
    Json::Value m_config;
};

// Finds the device of an address and port in the devices folder.
std::shared_ptr<Device> FindDevice(const std::string &devicesFolder, const std::string &address, int port);

// Guarded JSON reads: never throw.
const Json::Value &Member(const Json::Value &v, const char *key);
std::string TextOf(const Json::Value &v, const char *key, const std::string &fallback = std::string());
int IntOf(const Json::Value &v, const char *key, int fallback = 0);

}  // namespace quillnet

#endif
