// Download strategies against the scripted device library: the local file's extension picks
// the record format, a raw transfer writes the blocks it takes (refused blocks come again),
// pauses hold blocks back, the device's end and failure markers end the download, and remote
// files are fetched or decoded from base64.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "download.h"
#include "downloadbyremote.h"
#include "downloadfixture.h"

namespace {

using dltest::Parse;
using dltest::ReadFile;
using devtest::QuillnetStandIn;

// Records every state a download reports, from whichever thread reports it.
struct StateLog {
    void On(Tolvane::IDownload*, int state)
    {
        std::lock_guard<std::mutex> lock(mutex);
        states.push_back(state);
    }
    Tolvane::IDownload::StateHandler Handler() { return Tolvane::IDownload::StateHandler(this, &StateLog::On); }
    std::vector<int> States()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return states;
    }
    // A state is reported after the download has taken it: waits until count have come.
    std::vector<int> StatesOnceThereAre(size_t count)
    {
        for (int i = 0; i < 3000 && States().size() < count; ++i)
            QThread::msleep(2);
        return States();
    }

private:
    std::mutex mutex;
    std::vector<int> states;
};

const char kItem[] = R"({"Channel": 2, "Length": 6, "StartTime": "2024-05-01 08:00:00",
    "EndTime": "2024-05-01 08:01:00", "FilePath": "/mnt/rec/a.qvp"})";

class Strategies : public dltest::DownloadTest {};

TEST(RecordFormat, ExtensionPicksTheDataRecordType)
{
    const std::pair<const char*, int> cases[] = {
        {"a.rkv", 0}, {"a.mp4", 5}, {"a.avi", 1}, {"a.ts", 9}, {"a.asf", 2},
        {"a.flv", 0}, {"a.ps", 0},  {"a.MP4", 0}, {"noext", 0}, {"x.mp4.rkv", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tolvane::IDownload::RecordFormatOf(c.first), c.second) << c.first;
    }
}

TEST_F(Strategies, RawPlaybackWritesTakenBlocksHoldsThemWhilePausedAndEndsFinished)
{
    // A file of the same name exists: the download takes the counter form instead.
    dltest::WriteFile(Folder() + "/clip.rkv", "old");
    StateLog log;
    Tolvane::CDownloadByPlayback download(Context(), &Device(), Parse(kItem), Folder(), "clip.rkv", false);
    download.SetStateHandler(log.Handler());
    ASSERT_TRUE(download.Start());
    ASSERT_EQ(download.GetState(), Tolvane::IDownload::StateDownloading);

    EXPECT_EQ(QuillnetStandIn::CallsOf("CLIENT_PlayBackByRecordFileEx2").size(), 1u);
    const Json::Value speed = OnlyCall("CLIENT_SetPlayBackSpeed");
    EXPECT_EQ(speed[1].asInt(), 6);
    const long handle = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed")[0]["args"][0].asInt64();

    const unsigned char first[] = {1, 2, 3};
    const unsigned char second[] = {4, 5, 6};
    EXPECT_EQ(QuillnetStandIn::FireData(handle, first, 3), 0);  // opens the file, comes again
    EXPECT_EQ(QuillnetStandIn::FireData(handle, first, 3), 1);
    EXPECT_TRUE(download.Pause());
    EXPECT_EQ(QuillnetStandIn::FireData(handle, second, 3), 0);
    EXPECT_TRUE(download.Resume());
    EXPECT_EQ(QuillnetStandIn::FireData(handle, second, 3), 1);
    ASSERT_EQ(QuillnetStandIn::FirePosition(handle, 6, -1), 0);

    EXPECT_EQ(download.GetState(), Tolvane::IDownload::StateFinished);
    EXPECT_DOUBLE_EQ(download.GetProgressPercent(), 100.0);
    EXPECT_EQ(ReadFile(Folder() + "/clip (1).rkv"), std::string("\x01\x02\x03\x04\x05\x06"));
    EXPECT_EQ(ReadFile(Folder() + "/clip.rkv"), "old");
    EXPECT_EQ(log.States(), (std::vector<int>{2, 4, 2, 3}));
}

// Only a transfer that reached the device's end of data keeps its file: a failed or cut-off
// one would leave a truncated copy.
TEST_F(Strategies, TransferEndsAsTheDeviceSays)
{
    struct Case {
        const char* what;
        const char* script;  // outcome of opening the playback, or null
        bool data;           // a block is written first
        int position;        // fired after the start, 0 for none
        bool stop;
        int expected;
        bool fileKept;
    };
    const Case cases[] = {
        {"device refuses the transfer", R"({"result": 0})", false, 0, false, 5, false},
        {"device reports a failure", nullptr, true, -2, false, 5, false},
        {"stopped by the user before the end of data", nullptr, true, 0, true, 5, false},
        {"stopped before any data", nullptr, false, 0, true, 5, false},
        {"failed, then stopped", nullptr, true, -2, true, 5, false},
        {"end of data", nullptr, true, -1, false, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearJournal();
        if (c.script != nullptr) {
            QuillnetStandIn::Script("CLIENT_PlayBackByRecordFileEx2", c.script);
        }
        StateLog log;
        {
            Tolvane::CDownloadByPlayback download(Context(), &Device(), Parse(kItem), Folder(), "x.rkv", false);
            download.SetStateHandler(log.Handler());
            download.Start();
            const std::vector<Json::Value> speed = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed");
            const unsigned char block[] = {1, 2, 3};
            if (c.data) {
                ASSERT_EQ(speed.size(), 1u);
                QuillnetStandIn::FireData(speed[0]["args"][0].asInt64(), block, 3);  // opens the file
                EXPECT_EQ(QuillnetStandIn::FireData(speed[0]["args"][0].asInt64(), block, 3), 1);
            }
            if (c.position != 0) {
                ASSERT_EQ(speed.size(), 1u);
                QuillnetStandIn::FirePosition(speed[0]["args"][0].asInt64(), 6, c.position);
            }
            if (c.stop) {
                EXPECT_TRUE(download.Stop());
            }
            EXPECT_EQ(download.GetState(), c.expected);
            EXPECT_EQ(log.States().back(), c.expected);
        }
        EXPECT_EQ(QFile::exists(QString::fromStdString(Folder() + "/x.rkv")), c.fileKept);
        QuillnetStandIn::ClearScript();
    }
}

// Writes fail once the disk is full.
class FullDiskPlayback : public Tolvane::CDownloadByPlayback {
public:
    using CDownloadByPlayback::CDownloadByPlayback;
    std::atomic<int> writesLeft{1};

protected:
    qint64 WriteOutput(const char* data, qint64 size) override
    {
        if (writesLeft-- <= 0) {
            return -1;
        }
        return CDownloadByPlayback::WriteOutput(data, size);
    }
};

TEST_F(Strategies, FailingWritesEndTheDownloadAsFailedWithoutItsFile)
{
    StateLog log;
    FullDiskPlayback download(Context(), &Device(), Parse(kItem), Folder(), "full.rkv", false);
    download.SetStateHandler(log.Handler());
    ASSERT_TRUE(download.Start());
    const long handle = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed")[0]["args"][0].asInt64();
    const unsigned char block[] = {1, 2, 3};
    EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 0);  // opens the file
    EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 1);
    ASSERT_TRUE(QFile::exists(QString::fromStdString(Folder() + "/full.rkv")));
    EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 0);  // the disk is full
    EXPECT_EQ(download.GetState(), Tolvane::IDownload::StateFailed);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder() + "/full.rkv")));
    EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 0);  // offered again: still refused
    EXPECT_EQ(log.States(), (std::vector<int>{2, 5}));
}

// A player whose input never drains; the data record writes a file at once.
namespace stalled {
int32_t GetFreePort(int32_t* port)
{
    *port = 1;
    return 1;
}
int32_t One(int32_t) { return 1; }
int32_t Zero(int32_t) { return 0; }
int32_t OpenMode(int32_t, int32_t) { return 1; }
int32_t OpenStream(int32_t, const void*, int32_t, int32_t) { return 1; }
int32_t Play(int32_t, void*) { return 1; }
int32_t InputData(int32_t, const void*, int32_t) { return 0; }
int32_t BufferValue(int32_t, int32_t) { return 0; }
int32_t StartDataRecord(int32_t, const char* path, int32_t)
{
    dltest::WriteFile(path, "partial");
    return 1;
}
}  // namespace stalled

TEST_F(Strategies, StalledConversionEndsAsFailedWithoutItsFile)
{
    const std::pair<const char*, void*> functions[] = {
        {"PLAY_GetFreePort", reinterpret_cast<void*>(&stalled::GetFreePort)},
        {"PLAY_SetStreamOpenMode", reinterpret_cast<void*>(&stalled::OpenMode)},
        {"PLAY_OpenStream", reinterpret_cast<void*>(&stalled::OpenStream)},
        {"PLAY_Play", reinterpret_cast<void*>(&stalled::Play)},
        {"PLAY_StartDataRecord", reinterpret_cast<void*>(&stalled::StartDataRecord)},
        {"PLAY_InputData", reinterpret_cast<void*>(&stalled::InputData)},
        {"PLAY_GetSourceBufferRemain", reinterpret_cast<void*>(&stalled::Zero)},
        {"PLAY_GetBufferValue", reinterpret_cast<void*>(&stalled::BufferValue)},
        {"PLAY_StopDataRecord", reinterpret_cast<void*>(&stalled::One)},
        {"PLAY_Stop", reinterpret_cast<void*>(&stalled::One)},
        {"PLAY_CloseStream", reinterpret_cast<void*>(&stalled::One)},
        {"PLAY_ReleasePort", reinterpret_cast<void*>(&stalled::One)},
    };
    for (const auto& f : functions) {
        Host().SetFunction("play", f.first, f.second);
    }
    StateLog log;
    Tolvane::CDownloadByPlayback download(Context(), &Device(), Parse(kItem), Folder(), "clip.mp4", false);
    download.SetStateHandler(log.Handler());
    ASSERT_TRUE(download.Start());
    ASSERT_EQ(download.GetState(), Tolvane::IDownload::StateDownloading);
    const std::string path = Folder() + "/clip.mp4";
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));

    const long handle = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed")[0]["args"][0].asInt64();
    const unsigned char block[] = {1, 2, 3};
    EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 0);  // refused until the stop
    for (int i = 0; i < 3000 && download.GetState() == Tolvane::IDownload::StateDownloading; ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ(download.GetState(), Tolvane::IDownload::StateFailed);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

// A player that holds what it was fed until told to convert some of it with each poll.
namespace holding {
std::atomic<int32_t> held{0};
std::atomic<int32_t> drainPerPoll{0};
std::atomic<bool> accept{true};
std::atomic<int> recordsStopped{0};
std::atomic<int> portsReleased{0};
int32_t SourceRemain(int32_t)
{
    int32_t now = held.load();
    while (now > 0 && !held.compare_exchange_weak(now, std::max(0, now - drainPerPoll.load()))) {
    }
    return now;
}
int32_t InputData(int32_t, const void*, int32_t size)
{
    if (!accept.load()) {
        return 0;
    }
    held += size;
    return 1;
}
int32_t StopDataRecord(int32_t)
{
    ++recordsStopped;
    return 1;
}
int32_t ReleasePort(int32_t)
{
    ++portsReleased;
    return 1;
}
}  // namespace holding

// A conversion keeps its file only when the player converted everything it was fed; a
// player that keeps data in its buffer ends the wait at the stall time-out, and the download
// then fails without its file, whether it was stopped, reached the end of data or stalled.
TEST_F(Strategies, ConversionEndsOnlyWhenThePlayerHasConvertedEverything)
{
    const std::pair<const char*, void*> functions[] = {
        {"PLAY_GetFreePort", reinterpret_cast<void*>(&stalled::GetFreePort)},
        {"PLAY_SetStreamOpenMode", reinterpret_cast<void*>(&stalled::OpenMode)},
        {"PLAY_OpenStream", reinterpret_cast<void*>(&stalled::OpenStream)},
        {"PLAY_Play", reinterpret_cast<void*>(&stalled::Play)},
        {"PLAY_StartDataRecord", reinterpret_cast<void*>(&stalled::StartDataRecord)},
        {"PLAY_InputData", reinterpret_cast<void*>(&holding::InputData)},
        {"PLAY_GetSourceBufferRemain", reinterpret_cast<void*>(&holding::SourceRemain)},
        {"PLAY_GetBufferValue", reinterpret_cast<void*>(&stalled::BufferValue)},
        {"PLAY_StopDataRecord", reinterpret_cast<void*>(&holding::StopDataRecord)},
        {"PLAY_Stop", reinterpret_cast<void*>(&stalled::One)},
        {"PLAY_CloseStream", reinterpret_cast<void*>(&stalled::One)},
        {"PLAY_ReleasePort", reinterpret_cast<void*>(&holding::ReleasePort)},
    };
    for (const auto& f : functions) {
        Host().SetFunction("play", f.first, f.second);
    }
    enum class End { Stop, EndOfData, Refused };
    struct Case {
        const char* what;
        End end;
        int32_t drainPerPoll;
        int expected;
        bool fileKept;
    };
    const Case cases[] = {
        {"stopped while the player keeps data", End::Stop, 0, 5, false},
        {"end of data while the player keeps data", End::EndOfData, 0, 5, false},
        {"the player refuses input and keeps data", End::Refused, 0, 5, false},
        {"end of data, the player converts it all", End::EndOfData, 1, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuillnetStandIn::ClearJournal();
        holding::held = 0;
        holding::drainPerPoll = c.drainPerPoll;
        holding::accept = true;
        holding::recordsStopped = 0;
        holding::portsReleased = 0;
        const std::string path = Folder() + "/clip.mp4";
        StateLog log;
        {
            Tolvane::CDownloadByPlayback download(Context(), &Device(), Parse(kItem), Folder(), "clip.mp4", false);
            download.SetStateHandler(log.Handler());
            ASSERT_TRUE(download.Start());
            ASSERT_EQ(download.GetState(), Tolvane::IDownload::StateDownloading);
            const long handle = QuillnetStandIn::CallsOf("CLIENT_SetPlayBackSpeed")[0]["args"][0].asInt64();
            const unsigned char block[] = {1, 2, 3};
            EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 1);
            switch (c.end) {
            case End::Stop:
                EXPECT_TRUE(download.Stop());
                break;
            case End::EndOfData:
                QuillnetStandIn::FirePosition(handle, 6, -1);
                break;
            case End::Refused:
                holding::accept = false;
                EXPECT_EQ(QuillnetStandIn::FireData(handle, block, 3), 0);
                for (int i = 0; i < 3000 && download.GetState() == Tolvane::IDownload::StateDownloading; ++i) {
                    QThread::msleep(10);
                }
                break;
            }
            EXPECT_EQ(download.GetState(), c.expected);
            EXPECT_EQ(log.StatesOnceThereAre(2), (std::vector<int>{2, c.expected}));
            EXPECT_EQ(QFile::exists(QString::fromStdString(path)), c.fileKept);
        }
        // The record ended and the port went back exactly once, whichever way it ended.
        EXPECT_EQ(holding::recordsStopped.load(), 1);
        EXPECT_EQ(holding::portsReleased.load(), 1);
        EXPECT_EQ(QFile::exists(QString::fromStdString(path)), c.fileKept);
        QFile::remove(QString::fromStdString(path));
    }
}

TEST_F(Strategies, NoDeviceFailsAtStart)
{
    StateLog log;
    Tolvane::CDownloadByPlayback video(Context(), nullptr, Parse(kItem), Folder(), "x.rkv", false);
    video.SetStateHandler(log.Handler());
    EXPECT_FALSE(video.Start());
    Tolvane::CDownloadByRemote remote(nullptr, Parse(R"({"FilePath": "/a.jpg"})"), Folder(), "a.jpg", false, false);
    remote.SetStateHandler(log.Handler());
    EXPECT_FALSE(remote.Start());
    EXPECT_EQ(log.States(), (std::vector<int>{5, 5}));
}

TEST_F(Strategies, RemoteContentsAreDecodedAndFailedFetchesLeaveNoFile)
{
    struct Case {
        const char* what;
        Json::Value info;
        const char* script;  // outcome of CLIENT_DownloadRemoteFile, or null
        bool ok;
        const char* bytes;  // expected file content, null = no file
    };
    Json::Value prefixed;
    prefixed["FileContents"] = "data:image/png;base64,aGVsbG8=";
    Json::Value plain;
    plain["FileContents"] = "aGVsbG8=";
    Json::Value fetched;
    fetched["FilePath"] = "/mnt/pic/a.jpg";
    Json::Value neither;
    neither["FilePath"] = 7;
    const Case cases[] = {
        {"content behind a prefix", prefixed, nullptr, true, "hello"},
        {"content without prefix", plain, nullptr, true, "hello"},
        {"fetched by path", fetched, R"({"data": "picture"})", true, "picture"},
        {"fetch fails", fetched, R"({"result": 0, "lastError": 8})", false, nullptr},
        {"no source text", neither, nullptr, false, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.script != nullptr) {
            QuillnetStandIn::Script("CLIENT_DownloadRemoteFile", c.script);
        }
        const std::string name = "f" + std::to_string(n++) + ".bin";
        Tolvane::CDownloadByRemote remote(&Device(), c.info, Folder() + "/sub", name, false, false);
        EXPECT_EQ(remote.Start(), c.ok);
        EXPECT_EQ(remote.GetState(), c.ok ? 3 : 5);
        const std::string path = Folder() + "/sub/" + name;
        if (c.bytes != nullptr) {
            EXPECT_EQ(ReadFile(path), c.bytes);
        } else {
            EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
        }
        QuillnetStandIn::ClearScript();
    }
}

// Opens the read end of a named pipe whenever a writer waits on it, so that a writer that
// would wait for ever gets its pipe instead (and the test its answer).
class PipeReader {
public:
    explicit PipeReader(const std::string& path)
        : m_thread([this, path] {
              while (!m_done.load()) {
                  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      QThread::msleep(1);
                      ::close(fd);
                  }
                  QThread::msleep(1);
              }
          })
    {
    }
    ~PipeReader()
    {
        m_done.store(true);
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Content the page supplies replaces whatever stands at the file's name: a file, a link
// (whose target stays as it was) or a named pipe (which is not waited on).
TEST_F(Strategies, RemoteContentsReplaceWhatStandsAtTheName)
{
    const std::string folder = Folder() + "/sub";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    const std::string outside = Folder() + "/outside.txt";
    dltest::WriteFile(outside, "outside");
    const std::string pipe = folder + "/pipe.bin";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string link = folder + "/link.bin";
    ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
    const std::string file = folder + "/file.bin";
    dltest::WriteFile(file, "old");
    PipeReader reader(pipe);
    Json::Value info;
    info["FileContents"] = "aGVsbG8=";
    for (const std::string& path : {pipe, link, file}) {
        SCOPED_TRACE(path);
        const std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
        Tolvane::CDownloadByRemote remote(&Device(), info, folder, name, false, false);
        EXPECT_TRUE(remote.Start());
        const QFileInfo written(QString::fromStdString(path));
        ASSERT_TRUE(written.isFile() && !written.isSymLink());
        EXPECT_EQ(ReadFile(path), "hello");
    }
    EXPECT_EQ(ReadFile(outside), "outside");
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);
}

}  // namespace
