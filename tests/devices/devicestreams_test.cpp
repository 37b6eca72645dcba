// Live stream, playback, downloads and talk of the device object against scripted outcomes
// of the device library: the calls and records it makes, what its callbacks hand on and
// answer, and the refusals that never reach the library.

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <foundation/HostCalls.h>
#include <foundation/JsonRead.h>

#include "messagecapture.h"
#include "streamsink.h"

namespace {

using devtest::Address;
using devtest::QuillnetStandIn;
using devtest::StreamSink;

Json::Value Parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(Foundation::JsonParse(text, value)) << text;
    return value;
}

const char kFileInfo[] = R"({"channel": 2, "length": 4096, "startTime": "2024-05-01 08:00:00",
    "endTime": "2024-05-01 08:01:00", "filePath": "/mnt/rec/a.qvp", "disk": 3, "cluster": 9})";
const char kTimeInfo[] = R"({"channel": 1, "streamType": "Main", "startTime": "2024-05-01 08:00:00",
    "endTime": "2024-05-01 08:01:00"})";

bool AnyLineContains(const MessageCapture& messages, const std::string& text)
{
    for (const std::string& line : messages.Lines()) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string ReadAll(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Open descriptors of this process whose target lies under the folder.
int OpenFilesUnder(const QString& folder)
{
    int count = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr) {
        return -1;
    }
    const std::string prefix = folder.toStdString();
    while (dirent* entry = readdir(fds)) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind(prefix, 0) == 0) {
            ++count;
        }
    }
    closedir(fds);
    return count;
}

class DeviceStreams : public devtest::ScriptedDeviceTest {};

TEST_F(DeviceStreams, LiveStreamStartsWithItsDataCallbackAndStopsWhenThatFails)
{
    StreamSink sink;
    const long real = Device().ConnectRealvideo(3, 2, 7, &sink.Data());
    ASSERT_NE(real, 0);
    EXPECT_EQ(Device().GetProtocol(), 7);
    EXPECT_EQ(OnlyCall("CLIENT_RealPlayEx"), Parse("[" + std::to_string(Login()) + ", 3, 0, 2]"));
    const Json::Value set = OnlyCall("CLIENT_SetRealDataCallBack");
    EXPECT_EQ(set[0].asInt64(), real);
    EXPECT_EQ(set[2].asUInt64(), Address(&sink.Data()));

    // Live blocks reach the delegate without the data type.
    const unsigned char block[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(QuillnetStandIn::FireRealData(real, block, sizeof(block)), 0);
    ASSERT_EQ(sink.Blocks().size(), 1u);
    EXPECT_EQ(sink.Blocks()[0], std::vector<uint8_t>(block, block + sizeof(block)));

    // The library answers exactly 1 for a stopped stream; anything else is a failure.
    QuillnetStandIn::Script("CLIENT_StopRealPlay", R"({"result": 2})");
    EXPECT_FALSE(Device().StopRealvideo(real));
    EXPECT_TRUE(Device().StopRealvideo(Device().ConnectRealvideo(3, 2, 7, &sink.Data())));

    QuillnetStandIn::ClearJournal();
    QuillnetStandIn::Script("CLIENT_SetRealDataCallBack", R"({"result": 0, "lastError": 805306370})");
    MessageCapture messages;
    EXPECT_EQ(Device().ConnectRealvideo(3, 2, 7, &sink.Data()), 0);
    EXPECT_EQ(QuillnetStandIn::CallNames(),
              (std::vector<std::string>{"CLIENT_RealPlayEx", "CLIENT_SetRealDataCallBack", "CLIENT_GetLastError",
                                        "CLIENT_StopRealPlay"}));
    // The error is logged with its low 28 bits only.
    EXPECT_TRUE(AnyLineContains(messages, "errorCode: 2"));

    QuillnetStandIn::Script("CLIENT_RealPlayEx", R"({"result": 0})");
    EXPECT_EQ(Device().ConnectRealvideo(3, 2, 7, &sink.Data()), 0);
}

TEST_F(DeviceStreams, HandleZeroAndOutOfRangeSpeedsNeverReachTheLibrary)
{
    struct Case {
        const char* what;
        bool (*call)(Tolvane::CQuillnetDev&, long);
        const char* function;
    };
    const Case cases[] = {
        {"stop", [](Tolvane::CQuillnetDev& d, long h) { return d.StopPlayBack(h); }, "CLIENT_StopPlayBack"},
        {"pause", [](Tolvane::CQuillnetDev& d, long h) { return d.PausePlayBack(h, true); }, "CLIENT_PausePlayBack"},
        {"seek", [](Tolvane::CQuillnetDev& d, long h) { return d.SeekPlayBack(h, 5, -1); }, "CLIENT_SeekPlayBack"},
        {"direction", [](Tolvane::CQuillnetDev& d, long h) { return d.PlayBackControlDirection(h, 1); },
         "CLIENT_PlayBackControlDirection"},
        {"speed", [](Tolvane::CQuillnetDev& d, long h) { return d.SetPlayBackSpeed(h, 2); },
         "CLIENT_SetPlayBackSpeed"},
        {"stop download", [](Tolvane::CQuillnetDev& d, long h) { return d.StopDownload(h); },
         "CLIENT_StopDownload"},
        {"stop live", [](Tolvane::CQuillnetDev& d, long h) { return d.StopRealvideo(h); }, "CLIENT_StopRealPlay"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearJournal();
        EXPECT_FALSE(c.call(Device(), 0));
        EXPECT_TRUE(QuillnetStandIn::Journal().empty());
        EXPECT_TRUE(c.call(Device(), 5));
        EXPECT_EQ(OnlyCall(c.function)[0].asInt(), 5);
        QuillnetStandIn::Script(c.function, R"({"result": 0})");
        EXPECT_FALSE(c.call(Device(), 5));
    }
    EXPECT_EQ(Device().GetStatiscFlux(0), 0);

    struct Step {
        int step;
        bool sent;
    };
    for (const Step& s : {Step{-5, false}, Step{-4, true}, Step{0, true}, Step{6, true}, Step{7, false}}) {
        SCOPED_TRACE(s.step);
        QuillnetStandIn::ClearJournal();
        EXPECT_EQ(Device().SetPlayBackSpeed(9, s.step), s.sent);
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed");
        ASSERT_EQ(calls.size(), s.sent ? 1u : 0u);
        if (s.sent) {
            EXPECT_EQ(calls[0]["args"], Parse("[9, " + std::to_string(s.step) + "]"));
        }
    }
}

TEST_F(DeviceStreams, PlaybackByFileBuildsItsRecordFromTheFileInfo)
{
    StreamSink sink;
    Json::Value info = Parse(kFileInfo);
    info["filePath"] = std::string(200, 'p');
    for (bool reverse : {false, true}) {
        SCOPED_TRACE(reverse);
        QuillnetStandIn::ClearJournal();
        ASSERT_NE(Device().Playback(info, &sink.Position(), &sink.Data(), false, reverse), 0);
        const Json::Value args = OnlyCall("CLIENT_PlayBackByRecordFileEx2");
        EXPECT_EQ(args[0].asInt64(), Login());
        const Json::Value& in = args[1];
        EXPECT_EQ(in["file"], Parse(R"({"channel": 2, "path": ")" + std::string(123, 'p') +
                                    R"(", "length": 4096, "start": "2024-05-01 08:00:00",
            "end": "2024-05-01 08:01:00", "disk": 3, "cluster": 9, "type": 0})"));
        EXPECT_EQ(in["window"].asUInt64(), 0u);
        EXPECT_EQ(in["position_user"].asUInt64(), Address(&sink.Position()));
        EXPECT_EQ(in["data_user"].asUInt64(), Address(&sink.Data()));
        EXPECT_EQ(in["reverse"].asInt(), reverse ? 1 : 0);
        EXPECT_EQ(in["wait_ms"].asInt(), 10000);
    }
}

TEST_F(DeviceStreams, PlaybackByTimeChoosesTheDeviceStreamFirst)
{
    struct Case {
        const char* streamType;
        int mode;
    };
    const Case cases[] = {{"Main", 1}, {"Extra1", 2}, {"Extra2", 3}, {"Extra3", 4}, {"Extra4", 0}, {"main", 0},
                          {"", 0}};
    StreamSink sink;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.streamType);
        Json::Value info = Parse(kTimeInfo);
        info["streamType"] = c.streamType;
        QuillnetStandIn::ClearJournal();
        ASSERT_NE(Device().Playback(info, &sink.Position(), &sink.Data(), true, true), 0);
        ASSERT_EQ(QuillnetStandIn::CallNames(),
                  (std::vector<std::string>{"CLIENT_SetDeviceMode", "CLIENT_PlayBackByTimeEx2"}));
        EXPECT_EQ(OnlyCall("CLIENT_SetDeviceMode"),
                  Parse("[" + std::to_string(Login()) + ", 6, " + std::to_string(c.mode) + "]"));
        const Json::Value args = OnlyCall("CLIENT_PlayBackByTimeEx2");
        EXPECT_EQ(args[1].asInt(), 1);
        EXPECT_EQ(args[2]["start"].asString(), "2024-05-01 08:00:00");
        EXPECT_EQ(args[2]["end"].asString(), "2024-05-01 08:01:00");
        EXPECT_EQ(args[2]["reverse"].asInt(), 1);
        EXPECT_EQ(args[2]["wait_ms"].asInt(), 10000);
        EXPECT_EQ(args[2]["data_user"].asUInt64(), Address(&sink.Data()));
    }
}

TEST_F(DeviceStreams, AnalysisTaskRoutesBothKindsToSecondaryAnalysis)
{
    StreamSink sink;
    for (bool byTime : {false, true}) {
        SCOPED_TRACE(byTime);
        Json::Value info = Parse(byTime ? kTimeInfo : kFileInfo);
        info["AnalysisTask"] = 7;
        QuillnetStandIn::ClearJournal();
        ASSERT_NE(Device().Playback(info, &sink.Position(), &sink.Data(), byTime, true), 0);
        EXPECT_TRUE(QuillnetStandIn::CallsOf("CLIENT_PlayBackByRecordFileEx2").empty());
        EXPECT_TRUE(QuillnetStandIn::CallsOf("CLIENT_PlayBackByTimeEx2").empty());
        EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_SetDeviceMode").size(), byTime ? 1u : 0u);
        const Json::Value args = OnlyCall("CLIENT_PlayBackBySecondaryAnalyse");
        EXPECT_EQ(args[0].asInt64(), Login());
        EXPECT_EQ(args[1]["channel"].asInt(), byTime ? 1 : 2);
        EXPECT_EQ(args[1]["start"].asString(), "2024-05-01 08:00:00");
        EXPECT_EQ(args[1]["end"].asString(), "2024-05-01 08:01:00");
        EXPECT_EQ(args[1]["task"].asInt(), 7);
        EXPECT_EQ(args[1]["reverse"].asInt(), 1);
        EXPECT_EQ(args[1]["position_user"].asUInt64(), Address(&sink.Position()));
        EXPECT_EQ(args[1]["data_user"].asUInt64(), Address(&sink.Data()));
        EXPECT_EQ(args[3].asInt(), 5000);
    }
}

TEST_F(DeviceStreams, InvalidFileInfoIsRefusedWithItsLogLine)
{
    struct Case {
        const char* operation;
        const char* info;
    };
    const Case cases[] = {
        {"PlaybackByFile", "null"},
        {"PlaybackByFile", "[1, 2]"},
        {"PlaybackByFile", R"({"channel": "2", "length": 1, "startTime": "a", "endTime": "b"})"},
        {"PlaybackByFile", R"({"channel": 1.5, "length": 1, "startTime": "a", "endTime": "b"})"},
        {"PlaybackByFile", R"({"channel": 2, "length": "1", "startTime": "a", "endTime": "b"})"},
        {"PlaybackByFile", R"({"channel": 2, "length": 1, "endTime": "b"})"},
        {"PlaybackByTime", R"({"channel": 2, "startTime": "a", "endTime": "b"})"},
        {"PlaybackByTime", R"({"channel": 2, "streamType": 1, "startTime": "a", "endTime": "b"})"},
        {"DownloadByFile", R"({"channel": 2, "length": 1, "startTime": "a", "endTime": "b"})"},
        {"DownloadByFile", R"({"channel": 2, "length": 1, "startTime": "a", "endTime": "b",
                              "recordFileType": "0"})"},
    };
    StreamSink sink;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.info);
        const Json::Value info = Parse(c.info);
        QuillnetStandIn::ClearJournal();
        MessageCapture messages;
        const std::string op = c.operation;
        long handle = -1;
        if (op == "DownloadByFile") {
            handle = Device().DownloadByFile(info, "", "", &sink.Position(), &sink.Data());
        } else {
            handle = Device().Playback(info, &sink.Position(), &sink.Data(), op == "PlaybackByTime", false);
        }
        EXPECT_EQ(handle, 0);
        EXPECT_TRUE(QuillnetStandIn::Journal().empty());
        const std::string expected = "CQuillnetDev::" + op + ": ERROR: jFileInfo invalid! jFileInfo: " +
                                     Foundation::JsonFastText(info).substr(0, Foundation::JsonFastText(info).size() - 1);
        EXPECT_EQ(messages.Lines(), std::vector<std::string>{expected});
    }
}

TEST_F(DeviceStreams, DownloadChecksTheTimesUnlessTheRecordTypeIsFour)
{
    struct Case {
        Json::Value type;
        const char* start;
        const char* end;
        bool sent;
    };
    const Case cases[] = {
        {0, "2024-05-01 08:00:00", "2024-05-01 08:00:01", true},
        {0, "2024-05-01 08:00:00", "2024-05-01 08:00:00", false},
        {0, "2024-05-01 08:00:05", "2024-05-01 08:00:00", false},
        {0, "2024-05-01 08:00:00", "tomorrow", false},
        {0, "2024-05-01 24:00:00", "2024-05-02 08:00:00", false},
        {1u, "2024-05-01 08:00:00", "2024-05-01 09:00:00", true},
        {true, "2024-05-01 08:00:00", "2024-05-01 08:00:00", false},
        {4, "2024-05-01 08:00:00", "2024-05-01 08:00:00", true},
        {4, "yesterday", "tomorrow", true},
    };
    StreamSink sink;
    for (const Case& c : cases) {
        SCOPED_TRACE(Foundation::JsonFastText(c.type) + c.start + " / " + c.end);
        Json::Value info = Parse(kFileInfo);
        info["recordFileType"] = c.type;
        info["startTime"] = c.start;
        info["endTime"] = c.end;
        QuillnetStandIn::ClearJournal();
        MessageCapture messages;
        const long handle = Device().DownloadByFile(info, "folder", "name", &sink.Position(), &sink.Data());
        EXPECT_EQ(handle != 0, c.sent);
        const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_DownloadByRecordFileEx2");
        ASSERT_EQ(calls.size(), c.sent ? 1u : 0u);
        if (!c.sent) {
            EXPECT_TRUE(messages.Lines().empty());
            continue;
        }
        const Json::Value& args = calls[0]["args"];
        EXPECT_EQ(args[0].asInt64(), Login());
        EXPECT_EQ(args[1]["type"].asInt(), c.type.isBool() ? 1 : c.type.asInt());
        EXPECT_EQ(args[1]["path"].asString(), "/mnt/rec/a.qvp");
        EXPECT_TRUE(args[2].isNull());
        EXPECT_EQ(args[4].asUInt64(), Address(&sink.Position()));
        EXPECT_EQ(args[6].asUInt64(), Address(&sink.Data()));
        EXPECT_EQ(args[8].asInt(), 0);
        EXPECT_TRUE(AnyLineContains(messages, "DataCallBack lRealHandle"));
    }
}

TEST_F(DeviceStreams, DataCallbackAnswersAndPositionsWithLargeTotals)
{
    struct Case {
        const char* what;
        bool useDelegate;
        bool objectSet;
        bool answer;
        int expected;
    };
    const Case cases[] = {
        {"no delegate", false, false, false, 1},
        {"delegate without object", true, false, false, 0},
        {"block taken", true, true, true, 1},
        {"block not taken", true, true, false, 0},
    };
    const unsigned char block[] = {9, 8, 7};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamSink sink;
        sink.SetAnswer(c.answer);
        Tolvane::DeviceDataDelegate empty;
        Tolvane::DeviceDataDelegate* data = !c.useDelegate ? nullptr : c.objectSet ? &sink.Data() : &empty;
        const long handle = Device().PlaybackByFile(Parse(kFileInfo), &sink.Position(), data, false);
        ASSERT_NE(handle, 0);
        EXPECT_EQ(QuillnetStandIn::FireData(handle, block, sizeof(block)), c.expected);
        EXPECT_EQ(sink.Blocks().size(), c.objectSet ? 1u : 0u);
        ASSERT_TRUE(Device().StopPlayBack(handle));
    }

    // Totals reach the delegate unrounded, from playbacks and from both kinds of download.
    StreamSink sink;
    Json::Value download = Parse(kFileInfo);
    download["recordFileType"] = 4;
    const long handles[] = {
        Device().PlaybackByFile(Parse(kFileInfo), &sink.Position(), &sink.Data(), false),
        Device().DownloadByFile(download, "", "", &sink.Position(), &sink.Data()),
        Device().DownloadByTime(Parse(R"({"channel": 1})"), "/tmp", "a.qvp", "2024-05-01 08:00:00",
                                "2024-05-01 08:01:00", &sink.Position(), &sink.Data()),
    };
    for (long handle : handles) {
        ASSERT_NE(handle, 0);
        ASSERT_EQ(QuillnetStandIn::FirePosition(handle, 16777217u, 5), 0);
        ASSERT_EQ(QuillnetStandIn::FirePosition(handle, 4294967295u, -1), 0);
    }
    const std::vector<std::pair<uint32_t, int32_t>> expected = {
        {16777217u, 5}, {4294967295u, -1}, {16777217u, 5}, {4294967295u, -1}, {16777217u, 5}, {4294967295u, -1}};
    EXPECT_EQ(sink.Positions(), expected);
    const Json::Value byTime = OnlyCall("CLIENT_DownloadByTimeEx");
    EXPECT_EQ(byTime[1].asInt(), 1);
    EXPECT_EQ(byTime[3].asString(), "2024-05-01 08:00:00");
    EXPECT_EQ(byTime[4].asString(), "2024-05-01 08:01:00");
    EXPECT_EQ(byTime[5].asString(), "a.qvp");
}

class PieceDownload : public devtest::ScriptedDeviceTest {
protected:
    QString Local() const { return m_folder.path() + "/piece.bin"; }
    QString Folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

TEST_F(PieceDownload, SeventyThousandBytesComeInThreePieces)
{
    std::string content(70000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + (i * 7 + i / 97) % 26);
    }
    Json::Value outcome;
    outcome["data"] = content;
    for (int i = 0; i < 3; ++i) {
        QuillnetStandIn::Script("CLIENT_DownloadPieceFile", Foundation::JsonFastText(outcome).c_str());
    }
    const std::string name = "/mnt/data/" + std::string(300, 'n');
    ASSERT_TRUE(Device().DownloadPieceFile(name.c_str(), Local().toLocal8Bit().constData()));
    EXPECT_EQ(ReadAll(Local()), content);

    const std::vector<Json::Value> calls = QuillnetStandIn::CallsOf("CLIENT_DownloadPieceFile");
    ASSERT_EQ(calls.size(), 3u);
    for (unsigned i = 0; i < calls.size(); ++i) {
        const Json::Value& args = calls[i]["args"];
        EXPECT_EQ(args[0].asInt64(), Login());
        EXPECT_EQ(args[1]["name"].asString(), name.substr(0, 259));
        EXPECT_EQ(args[1]["offset"].asUInt(), i * 32768u);
        EXPECT_EQ(args[1]["piece_length"].asUInt(), 32768u);
        EXPECT_EQ(args[2]["buffer_size"].asUInt(), 32768u);
        EXPECT_EQ(args[3].asInt(), 5000);
    }
}

TEST_F(PieceDownload, ShortEmptyOrFailedPiecesFailWithTheFileClosedAndTheOldOneKept)
{
    struct Case {
        const char* what;
        std::vector<const char*> outcomes;
        size_t calls;
        bool ok;
        std::string content;
    };
    const Case cases[] = {
        {"short, then nothing more", {R"({"data": "abc", "total": 70000})", R"({"data": "abc", "total": 70000})"},
         2, false, "old"},
        {"empty piece", {R"({"data": "", "total": 70000})"}, 1, false, "old"},
        {"library failure", {R"({"result": 0, "lastError": 8})"}, 1, false, "old"},
        {"second piece fails", {R"({"data": "abcdef", "total": 9})", R"({"result": 0})"}, 2, false, "old"},
        {"more than the total", {R"({"data": "abcdef", "total": 4})"}, 1, true, "abcdef"},
        {"empty file", {R"({"data": ""})"}, 1, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::ofstream old(Local().toStdString(), std::ios::binary | std::ios::trunc);
            old << "old";
        }
        QuillnetStandIn::ClearJournal();
        for (const char* outcome : c.outcomes) {
            QuillnetStandIn::Script("CLIENT_DownloadPieceFile", outcome);
        }
        EXPECT_EQ(Device().DownloadPieceFile("/mnt/data/big.bin", Local().toLocal8Bit().constData()), c.ok);
        EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_DownloadPieceFile").size(), c.calls);
        EXPECT_EQ(ReadAll(Local()), c.content);
        EXPECT_EQ(OpenFilesUnder(Folder()), 0);
        EXPECT_EQ(QDir(Folder()).entryList(QDir::Files), QStringList{"piece.bin"});
        QuillnetStandIn::ClearScript();
    }
    // A local file that cannot be made fails before the library is asked.
    QuillnetStandIn::ClearJournal();
    EXPECT_FALSE(Device().DownloadPieceFile("/mnt/data/big.bin", (Folder() + "/missing/x.bin").toLocal8Bit().constData()));
    EXPECT_FALSE(Device().DownloadPieceFile("/mnt/data/big.bin", ""));
    EXPECT_TRUE(QuillnetStandIn::Journal().empty());
}

TEST_F(PieceDownload, RemoteFileIsWrittenByTheLibrary)
{
    QuillnetStandIn::Script("CLIENT_DownloadRemoteFile", R"({"data": "picture"})");
    ASSERT_TRUE(Device().DownloadRemoteFile("/mnt/pic/a.bmp", Local().toLocal8Bit().constData()));
    EXPECT_EQ(ReadAll(Local()), "picture");
    const Json::Value args = OnlyCall("CLIENT_DownloadRemoteFile");
    EXPECT_EQ(args[1]["remote"].asString(), "/mnt/pic/a.bmp");
    // The library writes beside the local file, which is replaced only afterwards.
    const std::string written = args[1]["local"].asString();
    EXPECT_EQ(written.rfind(Local().toStdString() + ".", 0), 0u) << written;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(written)));
    EXPECT_EQ(args[3].asInt(), 4000);

    // A failed download keeps the file that was there and leaves nothing beside it.
    QuillnetStandIn::Script("CLIENT_DownloadRemoteFile", R"({"result": 0, "lastError": 8})");
    MessageCapture messages;
    EXPECT_FALSE(Device().DownloadRemoteFile("/mnt/pic/a.bmp", Local().toLocal8Bit().constData()));
    EXPECT_TRUE(AnyLineContains(messages, "CLIENT_DownloadRemoteFile CLIENT_GetLastError  8"));
    EXPECT_EQ(ReadAll(Local()), "picture");
    EXPECT_EQ(QDir(QFileInfo(Local()).absolutePath()).entryList(QDir::Files).size(), 1);
}

class DeviceTalk : public devtest::ScriptedDeviceTest {
protected:
    std::vector<std::string> Names() { return QuillnetStandIn::CallNames(); }
};

TEST_F(DeviceTalk, StartStopAndRestartSequences)
{
    ASSERT_TRUE(Device().StartTalk(0));
    EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT_StartTalkEx", "CLIENT_RecordStart"}));
    const Json::Value start = OnlyCall("CLIENT_StartTalkEx");
    EXPECT_EQ(start[0].asInt64(), Login());
    EXPECT_EQ(start[2].asUInt64(), Address(&Device()));

    // A second start closes the open talk first.
    QuillnetStandIn::ClearJournal();
    ASSERT_TRUE(Device().StartTalk(0));
    EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT_RecordStop", "CLIENT_StopTalkEx", "CLIENT_StartTalkEx",
                                                 "CLIENT_RecordStart"}));
    const long closed = OnlyCall("CLIENT_StopTalkEx")[0].asInt64();
    EXPECT_NE(closed, 0);

    QuillnetStandIn::ClearJournal();
    EXPECT_TRUE(Device().StopTalk());
    EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT_RecordStop", "CLIENT_StopTalkEx"}));
    const long second = OnlyCall("CLIENT_StopTalkEx")[0].asInt64();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, closed);

    // Capture that does not start closes the talk again.
    QuillnetStandIn::ClearJournal();
    QuillnetStandIn::Script("CLIENT_RecordStart", R"({"result": 0})");
    EXPECT_FALSE(Device().StartTalk(0));
    EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT_StartTalkEx", "CLIENT_RecordStart", "CLIENT_RecordStop",
                                                 "CLIENT_StopTalkEx"}));
    EXPECT_NE(OnlyCall("CLIENT_StopTalkEx")[0].asInt64(), 0);

    // No talk handle: nothing more happens.
    QuillnetStandIn::ClearJournal();
    QuillnetStandIn::Script("CLIENT_StartTalkEx", R"({"result": 0})");
    EXPECT_FALSE(Device().StartTalk(0));
    EXPECT_EQ(Names(), std::vector<std::string>{"CLIENT_StartTalkEx"});
}

TEST_F(DeviceTalk, LogoutEndsTheTalkAndItsCapture)
{
    ASSERT_TRUE(Device().StartTalk(0));
    QuillnetStandIn::ClearJournal();
    EXPECT_TRUE(Device().LogoutDevice());
    EXPECT_EQ(Names(), (std::vector<std::string>{"CLIENT_RecordStop", "CLIENT_StopTalkEx", "CLIENT_Logout"}));
    EXPECT_NE(OnlyCall("CLIENT_StopTalkEx")[0].asInt64(), 0);
}

TEST_F(DeviceTalk, AudioOfTheOpenTalkIsPlayedOrSentOthersIgnored)
{
    ASSERT_TRUE(Device().StartTalk(0));
    const Json::Value start = OnlyCall("CLIENT_StartTalkEx");
    // A second talk that is not the device's, with the device's callback and user value.
    auto* startTalk = Foundation::ResolveHostFunction<std::remove_pointer_t<CLIENT_StartTalkEx_fn>>(
        Context(), "Quillnet", "CLIENT_StartTalkEx");
    ASSERT_NE(startTalk, nullptr);
    const long foreign = startTalk(Login(), reinterpret_cast<qn_talk_cb>(start[1].asUInt64()), &Device());
    ASSERT_NE(foreign, 0);

    // Handles are counted up, so the device's own talk is the one just before.
    const long own = foreign - 1;
    const char audio[] = "abcd";
    struct Case {
        long talk;
        int flag;
        const char* expected;
    };
    for (const Case& c : {Case{own, 1, "CLIENT_AudioDec"}, Case{own, 0, "CLIENT_TalkSendData"},
                          Case{own, 2, nullptr}, Case{foreign, 1, nullptr}, Case{foreign, 0, nullptr}}) {
        SCOPED_TRACE(std::to_string(c.talk) + " flag " + std::to_string(c.flag));
        QuillnetStandIn::ClearJournal();
        ASSERT_EQ(QuillnetStandIn::FireTalk(c.talk, audio, 4, c.flag), 0);
        const std::vector<std::string> names = Names();
        if (c.expected == nullptr) {
            EXPECT_TRUE(names.empty());
            continue;
        }
        ASSERT_EQ(names, std::vector<std::string>{c.expected});
        const Json::Value args = OnlyCall(c.expected);
        if (c.flag == 0) {
            EXPECT_EQ(args[0].asInt64(), own);
        }
        EXPECT_EQ(args[args.size() - 1].asUInt(), 4u);
    }
    QuillnetStandIn::ClearJournal();
    ASSERT_TRUE(Device().StopTalk());
    EXPECT_EQ(OnlyCall("CLIENT_StopTalkEx")[0].asInt64(), own);
}

uint32_t g_keyCalls = 0;
int32_t g_keyPort = 0;
std::string g_key;
int32_t g_errorCalls = 0;
int32_t FakeSetSecurityKey(int32_t port, const char* key, int32_t length)
{
    ++g_keyCalls;
    g_keyPort = port;
    g_key.assign(key, static_cast<size_t>(length));
    return length > 0 ? 1 : 0;
}
int32_t FakeLastError()
{
    ++g_errorCalls;
    return 0;
}

TEST_F(DeviceStreams, KeyFramesAndThePlayerKey)
{
    EXPECT_TRUE(Device().MakeKeyFrame(2, 1));
    EXPECT_EQ(OnlyCall("CLIENT_MakeKeyFrame"), Parse("[" + std::to_string(Login()) + ", 2, 1]"));
    QuillnetStandIn::Script("CLIENT_MakeKeyFrame", R"({"result": 0})");
    EXPECT_FALSE(Device().MakeKeyFrame(2, 1));

    // Without the player library the key cannot be set.
    EXPECT_FALSE(Device().SetSecurityKey(3, "k", 1));
    Host().SetFunction("play", "PLAY_SetSecurityKey", reinterpret_cast<void*>(&FakeSetSecurityKey));
    Host().SetFunction("play", "PLAY_GetLastErrorEx", reinterpret_cast<void*>(&FakeLastError));
    EXPECT_TRUE(Device().SetSecurityKey(3, "secret", 6));
    EXPECT_EQ(g_keyPort, 3);
    EXPECT_EQ(g_key, "secret");
    EXPECT_FALSE(Device().SetSecurityKey(3, "", 0));
    EXPECT_EQ(g_keyCalls, 2u);
    EXPECT_EQ(g_errorCalls, 2);
}

}  // namespace
