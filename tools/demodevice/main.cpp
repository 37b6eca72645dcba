// Writes the demo device folder: DemoDevice <devices-folder> [--update-tree] creates
// <devices-folder>/demo/; with --update-tree its web folder also offers an update.
#include "demopage.h"
#include "packetfmt.h"
#include "pagedata.h"
#include "streams.h"
#include "updatetree.h"

#include <json/json.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace demodevice;

namespace {

const char *kAddress = "127.0.0.1";
const int kPort = 37777;
const char *kDay = "2024-05-01";
const char *kDemoStreamKey = "Demo-Key-0123456";

int64_t At(const char *clock)
{
    int64_t ms = 0;
    packetfmt::ParseTimeText(std::string(kDay) + " " + clock, ms);
    return ms;
}

struct Rec {
    int channel;
    const char *stream;
    const char *start;
    int seconds;
    StreamParams params;
};

Json::Value Users()
{
    Json::Value users(Json::arrayValue);
    auto add = [&](const char *name, const char *password, const char *key, int value) {
        Json::Value u;
        u["name"] = name;
        u["password"] = password;
        if (key)
            u[key] = value;
        users.append(u);
    };
    add("admin", "admin123", "lockLeft", 4);
    add("guest", "guest", "lockLeft", 2);
    add("locked", "locked", "lockedSeconds", 1800);
    add("busy", "busy", "loginError", 7);
    return users;
}

// The intelligent search finds every recording of the day as a line-crossing event with the
// object that crossed and its picture, one of the device's pictures in turn.
Json::Value SearchAnswers(const Json::Value &recordings, const std::vector<std::string> &pictures)
{
    Json::Value answers;
    answers["mediaFileFind.factory.create"]["result"] = 3001;
    answers["mediaFileFind.findFile"]["result"] = true;
    Json::Value infos(Json::arrayValue);
    for (const Json::Value &r : recordings) {
        Json::Value info;
        info["Channel"] = r["channel"];
        info["StartTime"] = r["startTime"];
        info["EndTime"] = r["endTime"];
        info["FilePath"] = r["filePath"];
        info["Length"] = r["length"];
        info["Type"] = "rec";
        info["Events"].append("LineCrossing");
        Json::Value &ivs = info["Summary"]["IVS"];
        ivs["Rule"] = "LineCrossing";
        ivs["ObjectType"] = infos.size() % 2 == 0 ? "Human" : "Vehicle";
        if (!pictures.empty())
            ivs["ImageInfo"]["FilePath"] = pictures[infos.size() % pictures.size()];
        infos.append(info);
    }
    Json::Value page;
    page["result"] = true;
    page["params"]["found"] = infos.size();
    page["params"]["infos"] = infos;
    Json::Value empty;
    empty["result"] = true;
    empty["params"]["found"] = 0;
    empty["params"]["infos"] = Json::Value(Json::arrayValue);
    Json::Value &next = answers["mediaFileFind.findNextFile"];
    next["sequence"].append(page);
    next["sequence"].append(empty);
    next["resetOn"] = "mediaFileFind.findFile";
    answers["mediaFileFind.destroy"]["result"] = true;
    answers["device.describeModel"]["result"] = true;
    answers["device.describeModel"]["params"]["type"] = "QN-SIM-4";
    return answers;
}

Json::Value ConfigTables()
{
    Json::Value config;
    for (int ch = 0; ch < 4; ++ch) {
        Json::Value rule;
        rule["Name"] = "Line" + std::to_string(ch + 1);
        rule["Type"] = "LineCrossing";
        rule["Enable"] = ch < 2;
        Json::Value line(Json::arrayValue);
        Json::Value a(Json::arrayValue), b(Json::arrayValue);
        a.append(1000);
        a.append(4000);
        b.append(7000);
        b.append(4200);
        line.append(a);
        line.append(b);
        rule["DetectLine"] = line;
        Json::Value rules(Json::arrayValue);
        rules.append(rule);
        config["VideoAnalyseRule"].append(rules);
        Json::Value display;
        display["Enable"] = true;
        display["ShowRule"] = true;
        config["AIDisplayRule"].append(display);
    }
    config["GlobalAIDisplayRule"]["Enable"] = true;
    config["GlobalAIDisplayRule"]["ShowTrack"] = true;
    return config;
}

// Channel 5: SVAC with encrypted slices; the player needs kDemoStreamKey to show it.
StreamParams EncryptedLive()
{
    StreamParams p{packetfmt::kEncSvac, 704, 576, 25, At("00:00:00"), 4, 25, false};
    p.key = kDemoStreamKey;
    return p;
}

}  // namespace

int main(int argc, char **argv)
{
    const bool updateTree = argc == 3 && std::string(argv[2]) == "--update-tree";
    if (argc != 2 && !updateTree) {
        std::fprintf(stderr, "usage: DemoDevice <devices-folder> [--update-tree]\n");
        return 2;
    }
    const std::string root = std::string(argv[1]) + "/demo";
    if (!MakeDirs(root + "/streams") || !MakeDirs(root + "/records") || !MakeDirs(root + "/files") ||
        !MakeDirs(root + "/www")) {
        std::fprintf(stderr, "DemoDevice: cannot create %s\n", root.c_str());
        return 1;
    }
    bool ok = true;
    Json::Value device;
    device["name"] = "demo";
    device["address"] = kAddress;
    device["port"] = kPort;
    device["serial"] = "QN-DEMO-0001";
    device["abilities"]["secondaryAnalyse"] = 1;
    device["users"] = Users();

    // Live streams, looped by the device.
    struct Live {
        int channel;
        const char *stream;
        StreamParams params;
    };
    StreamParams main0{packetfmt::kEncSvac, 704, 576, 25, At("00:00:00"), 10, 25, true};
    StreamParams extra0{packetfmt::kEncTestPic, 352, 288, 15, At("00:00:00"), 10, 15, false};
    StreamParams main1{packetfmt::kEncSvac, 1280, 720, 25, At("00:00:00"), 10, 25, false};
    StreamParams main2{packetfmt::kEncSvac, 1920, 1080, 20, At("00:00:00"), 10, 20, false};
    StreamParams i420{packetfmt::kEncI420, 176, 144, 5, At("00:00:00"), 2, 1, false};
    const Live lives[] = {{0, "Main", main0}, {0, "Extra1", extra0}, {1, "Main", main1},
                          {2, "Main", main2}, {3, "Main", i420}, {4, "Main", EncryptedLive()}};
    // What each camera shows, in words for the page.
    const char *const about[] = {
        "SVAC 704x576 at 25 fps, sub-stream Extra1 352x288",
        "SVAC 1280x720 at 25 fps",
        "SVAC 1920x1080 at 20 fps",
        "uncompressed test pattern (colour bars, time and frame number) 176x144 at 5 fps",
        "SVAC 704x576, encrypted: without its key it shows nothing",
    };
    for (const Live &l : lives) {
        const std::string file = "streams/live-ch" + std::to_string(l.channel) + "-" + l.stream + ".qvp";
        ok = WriteFile(root + "/" + file, MakeStream(l.params)) && ok;
        Json::Value &ch = device["channels"][l.channel];
        ch["channel"] = l.channel;
        ch["name"] = "Camera " + std::to_string(l.channel + 1);
        ch["about"] = about[l.channel];
        ch["streams"][l.stream] = file;
    }

    // Recordings of one day.
    StreamParams r0{packetfmt::kEncSvac, 704, 576, 25, At("08:00:00"), 60, 25, true};
    StreamParams r0b{packetfmt::kEncSvac, 704, 576, 25, At("08:10:00"), 60, 25, false};
    StreamParams r0x{packetfmt::kEncTestPic, 352, 288, 15, At("08:00:00"), 60, 15, false};
    StreamParams r1{packetfmt::kEncSvac, 1280, 720, 25, At("09:30:00"), 60, 25, false};
    StreamParams r3{packetfmt::kEncI420, 176, 144, 5, At("08:00:00"), 3, 1, false};
    const Rec recs[] = {{0, "Main", "08:00:00", 60, r0}, {0, "Main", "08:10:00", 60, r0b},
                        {0, "Extra1", "08:00:00", 60, r0x}, {1, "Main", "09:30:00", 60, r1},
                        {3, "Main", "08:00:00", 3, r3}};
    int index = 0;
    for (const Rec &r : recs) {
        const std::vector<uint8_t> bytes = MakeStream(r.params);
        const std::string name = "ch" + std::to_string(r.channel) + "-" + r.stream + "-" +
                                 std::to_string(++index) + ".qvp";
        ok = WriteFile(root + "/records/" + name, bytes) && ok;
        Json::Value rec;
        rec["channel"] = r.channel;
        rec["stream"] = r.stream;
        rec["startTime"] = packetfmt::FormatTimeText(r.params.startMs);
        rec["endTime"] = packetfmt::FormatTimeText(r.params.startMs + r.seconds * 1000LL);
        rec["file"] = "records/" + name;
        rec["filePath"] = "/mnt/rec/" + std::string(kDay) + "/" + name;
        rec["length"] = Json::UInt(bytes.size());
        rec["type"] = 0;
        device["recordings"].append(rec);
    }

    // Files that the page fetches by their device path.
    std::vector<std::string> pictures;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "snap" + std::to_string(i + 1) + ".bmp";
        ok = WriteFile(root + "/files/" + name, MakeBmp(64, 48, i)) && ok;
        pictures.push_back("/mnt/pic/" + std::string(kDay) + "/" + name);
        device["remoteFiles"][pictures.back()] = "files/" + name;
    }
    std::vector<uint8_t> big(70000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 31 + i / 256);
    ok = WriteFile(root + "/files/big.bin", big) && ok;
    device["remoteFiles"]["/mnt/data/big.bin"] = "files/big.bin";

    device["answers"] = SearchAnswers(device["recordings"], pictures);
    device["config"] = ConfigTables();
    ok = AddPageContent(root, device) && ok;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    ok = WriteText(root + "/device.json", Json::writeString(builder, device) + "\n") && ok;
    ok = WriteText(root + "/www/index.html", kDemoPage) && ok;
    ok = WritePageData(root, device) && ok;
    if (updateTree)
        ok = WriteUpdateTree(root + "/www", std::string(argv[1]) + "/..") && ok;
    if (!ok) {
        std::fprintf(stderr, "DemoDevice: writing %s failed\n", root.c_str());
        return 1;
    }
    std::printf("%s\n", root.c_str());
    return 0;
}
