#include "pagedata.h"

#include "streams.h"

#include <sys/stat.h>

namespace demodevice {

namespace {

std::string Compact(const Json::Value &value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value) + "\n";
}

Json::Int64 FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? Json::Int64(info.st_size) : -1;
}

}  // namespace

bool AddPageContent(const std::string &root, Json::Value &device)
{
    device["transferBytesPerSecond"] = 1 << 20;
    // The player program that the client fetches beside downloaded recordings.
    const std::string player = "#!/bin/sh\n# Plays the recordings of this folder.\nexit 0\n";
    device["remoteFiles"]["/mnt/client/Orbisplay.exe"] = "files/Orbisplay.exe";
    return WriteText(root + "/files/Orbisplay.exe", player);
}

bool WritePageData(const std::string &root, const Json::Value &device)
{
    // A recording is played by file when it names its place on the disk (disk and cluster).
    Json::Value recordings(Json::arrayValue);
    Json::UInt cluster = 0;
    for (const Json::Value &r : device["recordings"]) {
        Json::Value entry;
        entry["channel"] = r["channel"];
        entry["stream"] = r["stream"];
        entry["startTime"] = r["startTime"];
        entry["endTime"] = r["endTime"];
        entry["filePath"] = r["filePath"];
        entry["length"] = r["length"];
        entry["disk"] = 0;
        entry["cluster"] = ++cluster;
        recordings.append(entry);
    }
    Json::Value files(Json::arrayValue);
    const Json::Value &remote = device["remoteFiles"];
    for (const std::string &path : remote.getMemberNames()) {
        Json::Value entry;
        entry["path"] = path;
        entry["size"] = FileSize(root + "/" + remote[path].asString());
        files.append(entry);
    }
    // Every channel as the device names it, with what it shows and its streams.
    Json::Value channels(Json::arrayValue);
    for (const Json::Value &c : device["channels"]) {
        Json::Value entry;
        entry["channel"] = c["channel"];
        entry["name"] = c["name"];
        entry["about"] = c["about"];
        entry["streams"] = Json::Value(Json::arrayValue);
        if (c["streams"].isObject()) {
            for (const std::string &stream : c["streams"].getMemberNames())
                entry["streams"].append(stream);
        }
        channels.append(entry);
    }
    return WriteText(root + "/www/recordings.json", Compact(recordings)) &&
           WriteText(root + "/www/files.json", Compact(files)) &&
           WriteText(root + "/www/channels.json", Compact(channels));
}

}  // namespace demodevice
