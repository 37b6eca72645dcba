// The local file play mode against the recording player: the calls it makes and their
// order, how the reader feeds a file and when it ends, and the control operations.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include <QFileInfo>

#include "localfakes.h"
#include "localplaymode.h"

namespace localtest {
namespace {

using Tolvane::CLocalPlayMode;
using Tolvane::IPlayMode;

constexpr int kBlock = CLocalPlayMode::kBlockSize;

struct StatusLog {
    std::mutex mutex;
    std::vector<int> statuses;
    void On(IPlayMode*, IPlayMode::playStatus status)
    {
        std::lock_guard<std::mutex> lock(mutex);
        statuses.push_back(status);
    }
    std::vector<int> Get()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return statuses;
    }
};

struct ModeDeleter {
    void operator()(CLocalPlayMode* mode) const
    {
        mode->Close();
        mode->Dispose();
    }
};
using ModePtr = std::unique_ptr<CLocalPlayMode, ModeDeleter>;

class LocalModeTest : public LocalTest {
protected:
    ModePtr NewMode(int winID = 3) { return ModePtr(new CLocalPlayMode(Context(), HandleOf(winID), false)); }

    // Plays a file whose reader ends at once (drained player) and waits for the end.
    void PlayToEnd(CLocalPlayMode* mode, const std::string& path)
    {
        ASSERT_TRUE(mode->PlayLocalFile(path.c_str()));
        ASSERT_TRUE(WaitUntil([&] { return !mode->IsOpen(); }));
    }

    static std::vector<uint8_t> Bytes(const QByteArray& data) { return std::vector<uint8_t>(data.begin(), data.end()); }
    static QByteArray Content(const std::string& path)
    {
        QFile file(QString::fromStdString(path));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    std::vector<std::string> OpenCalls(int port, int winID)
    {
        const std::string p = std::to_string(port);
        return {"PLAY_GetFreePort()",
                "PLAY_OpenStream(" + p + ",null,0,15360000)",
                "PLAY_SetStreamOpenMode(" + p + ",1)",
                "PLAY_SetEngine(" + p + ",0,3)",
                "PLAY_Play(" + p + "," + recplay::Pointer(HandleOf(winID)) + ")",
                "PLAY_EnableLargePicAdjustment(" + p + ",1)",
                "PLAY_SetPlaySpeed(" + p + ",1)",
                "PLAY_SetDemuxCallBack(" + p + ",cb,user)",
                "PLAY_SetVisibleDecodeCallBack(" + p + ",cb,user)",
                "PLAY_GetPictureSize(" + p + ")",
                "PLAY_SetPlayMethod(" + p + ",0,0,0,0)",
                "PLAY_SetDataCallBack(" + p + ",cb,user)",
                "PLAY_SetEncTypeChangeCallBackEx(" + p + ",cb,user)",
                "PLAY_SetColor(" + p + ",0,64,64,64,64)"};
    }
    std::vector<std::string> CloseCalls(int port)
    {
        const std::string p = std::to_string(port);
        return {"PLAY_RigisterDrawFun(" + p + ",null,null)",
                "PLAY_SetVisibleDecodeCallBack(" + p + ",null,null)",
                "PLAY_SetDemuxCallBack(" + p + ",null,null)",
                "PLAY_SetDisplayCallBack(" + p + ",null,null)",
                "PLAY_SetDataCallBack(" + p + ",null,null)",
                "PLAY_SetEncTypeChangeCallBackEx(" + p + ",null,null)",
                "PLAY_Stop(" + p + ")",
                "PLAY_CloseStream(" + p + ")",
                "PLAY_ResetSourceBuffer(" + p + ")",
                "PLAY_ReleasePort(" + p + ")"};
    }
};

size_t IndexOf(const std::vector<std::string>& journal, const std::string& entry, bool last = false)
{
    size_t found = journal.size();
    for (size_t i = 0; i < journal.size(); ++i) {
        if (journal[i] == entry) {
            found = i;
            if (!last) {
                break;
            }
        }
    }
    return found;
}

TEST_F(LocalModeTest, OpensPlaysAndClosesInThePlayersOrder)
{
    const std::string path = WriteFile("a.rkv", 1000);
    ModePtr mode = NewMode(3);
    StatusLog statuses;
    mode->AttachStatus(IPlayMode::StatusHandler(&statuses, &StatusLog::On));

    PlayToEnd(mode.get(), path);
    EXPECT_EQ(recplay::JournalWithout({"PLAY_InputData"}), OpenCalls(7, 3));
    EXPECT_EQ(mode->GetPort(), 7);
    EXPECT_EQ(mode->GetChannel(), 0);
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusPlaying);

    const size_t before = recplay::Journal().size();
    EXPECT_TRUE(mode->Close());
    std::vector<std::string> journal = recplay::Journal();
    EXPECT_EQ(std::vector<std::string>(journal.begin() + before, journal.end()), CloseCalls(7));
    EXPECT_EQ(mode->GetPort(), 0);
    EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusClosed);
    EXPECT_TRUE(mode->Close()) << "closing again";
    EXPECT_EQ(recplay::Journal().size(), journal.size()) << "a closed mode makes no calls";

    EXPECT_EQ(statuses.Get(), (std::vector<int>{1, 4}));
    const std::vector<Json::Value> states = Events("ReturnLocalState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(Foundation::JsonFastText(states[0]), R"({"open":1,"playTime":0,"totalTime":1000})" "\n");
    EXPECT_EQ(Foundation::JsonFastText(states[1]), R"({"open":0})" "\n");
}

TEST_F(LocalModeTest, AFailingOpenStepReleasesThePort)
{
    const std::string path = WriteFile("a.rkv", 1000);
    const std::vector<std::string> chain = {
        "PLAY_GetFreePort",  "PLAY_OpenStream",       "PLAY_SetStreamOpenMode",
        "PLAY_SetEngine",    "PLAY_Play",             "PLAY_EnableLargePicAdjustment",
        "PLAY_SetPlaySpeed", "PLAY_SetDemuxCallBack", "PLAY_SetVisibleDecodeCallBack"};
    const std::vector<std::string> open = OpenCalls(7, 3);
    for (size_t failing = 0; failing < chain.size(); ++failing) {
        SCOPED_TRACE(chain[failing]);
        recplay::Reset();
        recplay::SetResult(chain[failing], 0);
        DebugCapture log;
        {
            ModePtr mode = NewMode(3);
            EXPECT_FALSE(mode->PlayLocalFile(path.c_str()));
            EXPECT_FALSE(mode->IsOpen());
            EXPECT_EQ(mode->GetPort(), 0);
            EXPECT_EQ(mode->GetPlayStatus(), IPlayMode::StatusClosed);
        }
        std::vector<std::string> expected(open.begin(), open.begin() + static_cast<long>(failing) + 1);
        if (failing != 0) {
            expected.push_back("PLAY_ReleasePort(7)");
        }
        EXPECT_EQ(recplay::Journal(), expected);
        EXPECT_TRUE(log.Contains("Start LocalPlay failed(" + path + ")!"));
    }
    EXPECT_TRUE(Events("ReturnLocalState").empty());

    // A free port of 0 is no port.
    recplay::Reset();
    recplay::SetFreePort(0);
    ModePtr mode = NewMode(3);
    EXPECT_FALSE(mode->PlayLocalFile(path.c_str()));
    EXPECT_EQ(recplay::Journal(), std::vector<std::string>{"PLAY_GetFreePort()"});
}

TEST_F(LocalModeTest, RejectsAnEmptyPathWithoutCalls)
{
    ModePtr mode = NewMode();
    EXPECT_FALSE(mode->PlayLocalFile(nullptr));
    EXPECT_FALSE(mode->PlayLocalFile(""));
    EXPECT_TRUE(recplay::Journal().empty());
}

// The reader feeds whole blocks and the last one at its real length, and ends only once
// the player holds none of the file's bytes any more.
TEST_F(LocalModeTest, FeedsTheFileInBlocksUntilThePlayerConsumedIt)
{
    struct Case {
        int64_t size;
        std::vector<std::string> feeds;
    };
    const std::string b = std::to_string(kBlock);
    const Case cases[] = {
        {0, {}},
        {1000, {"PLAY_InputData(7,1000)"}},
        {kBlock, {"PLAY_InputData(7," + b + ")"}},
        {2 * kBlock, {"PLAY_InputData(7," + b + ")", "PLAY_InputData(7," + b + ")"}},
        {kBlock + 1000, {"PLAY_InputData(7," + b + ")", "PLAY_InputData(7,1000)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        recplay::Reset();
        recplay::SetDrained(false);
        Host().ClearSentTexts();
        const std::string path = WriteFile("f" + std::to_string(c.size) + ".rkv", c.size);
        ModePtr mode = NewMode();
        ASSERT_TRUE(mode->PlayLocalFile(path.c_str()));
        ASSERT_TRUE(WaitUntil([&] { return static_cast<int64_t>(recplay::FedBytes(7).size()) == c.size; }));
        if (c.size > 0) {
            // Everything is fed but nothing consumed: the reader keeps waiting.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_TRUE(mode->IsOpen());
            EXPECT_EQ(mode->GetPlayedBytes(), 0);
            recplay::SetDrained(true);
        }
        ASSERT_TRUE(WaitUntil([&] { return !mode->IsOpen(); }));
        EXPECT_EQ(recplay::CallsOf("PLAY_InputData"), c.feeds);
        EXPECT_EQ(recplay::FedBytes(7), Bytes(Content(path)));
        EXPECT_EQ(mode->GetPlayedBytes(), c.size);
        EXPECT_EQ(mode->GetFileSize(), c.size);
        const std::vector<Json::Value> states = Events("ReturnLocalState");
        ASSERT_EQ(states.size(), 1u);
        EXPECT_EQ(Foundation::JsonMember(states[0], "totalTime").asInt64(), c.size);
        EXPECT_EQ(Foundation::JsonMember(states[0], "playTime").asInt64(), 0);
    }
}

TEST_F(LocalModeTest, ARefusedBlockIsOfferedAgain)
{
    const std::string path = WriteFile("a.rkv", 1000);
    recplay::RefuseInputs(3);
    ModePtr mode = NewMode();
    PlayToEnd(mode.get(), path);
    EXPECT_EQ(recplay::CallsOf("PLAY_InputData"), std::vector<std::string>(4, "PLAY_InputData(7,1000)"));
    EXPECT_EQ(recplay::FedBytes(7), Bytes(Content(path)));
    EXPECT_EQ(mode->GetPlayedBytes(), 1000);
}

// The reader is stopped and joined before its port goes back to the library: a released
// port number may already feed another window.
TEST_F(LocalModeTest, CloseDuringARefusedFeedStopsTheReaderBeforeReleasingThePort)
{
    const std::string path = WriteFile("a.rkv", 1000);
    recplay::SetInputRefused(true);
    recplay::SetInputDelay(20);  // Close most likely meets the reader inside the library
    ModePtr mode = NewMode();
    ASSERT_TRUE(mode->PlayLocalFile(path.c_str()));
    ASSERT_TRUE(WaitUntil([] { return recplay::CountOf("PLAY_InputData") >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // past the 5 ms pause, into the next call
    EXPECT_TRUE(mode->Close());
    const std::vector<std::string> journal = recplay::Journal();
    const size_t lastFeed = IndexOf(journal, "PLAY_InputData(7,1000)", true);
    ASSERT_LT(lastFeed, journal.size());
    EXPECT_LT(lastFeed, IndexOf(journal, "PLAY_RigisterDrawFun(7,null,null)"));
    EXPECT_LT(lastFeed, IndexOf(journal, "PLAY_ReleasePort(7)"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(recplay::Journal().size(), journal.size()) << "nothing is fed after Close";
    EXPECT_EQ(mode->GetPlayedBytes(), 0);
}

TEST_F(LocalModeTest, DeletingAnUnclosedModeStopsItsReaderAndPort)
{
    const std::string path = WriteFile("a.rkv", 1000);
    recplay::SetInputRefused(true);
    auto* mode = new CLocalPlayMode(Context(), HandleOf(3), false);
    ASSERT_TRUE(mode->PlayLocalFile(path.c_str()));
    ASSERT_TRUE(WaitUntil([] { return recplay::CountOf("PLAY_InputData") >= 2; }));
    mode->Dispose();
    const std::vector<std::string> journal = recplay::Journal();
    EXPECT_LT(IndexOf(journal, "PLAY_InputData(7,1000)", true), IndexOf(journal, "PLAY_ReleasePort(7)"));
    EXPECT_LT(IndexOf(journal, "PLAY_ReleasePort(7)"), journal.size());
}

// A second file in the same mode: the first reader is joined and its port closed before a
// new port is opened.
TEST_F(LocalModeTest, ASecondFileStopsTheFirstReaderAndPort)
{
    const std::string first = WriteFile("a.rkv", 1000);
    const std::string second = WriteFile("b.rkv", 2000);
    recplay::SetDrained(false);
    ModePtr mode = NewMode();
    ASSERT_TRUE(mode->PlayLocalFile(first.c_str()));
    ASSERT_TRUE(WaitUntil([] { return recplay::FedBytes(7).size() == 1000; }));
    recplay::SetFreePort(8);
    ASSERT_TRUE(mode->PlayLocalFile(second.c_str()));
    recplay::SetDrained(true);
    ASSERT_TRUE(WaitUntil([&] { return !mode->IsOpen(); }));

    const std::vector<std::string> journal = recplay::Journal();
    const size_t reopen = IndexOf(journal, "PLAY_GetFreePort()", true);
    const std::vector<std::string> close = CloseCalls(7);
    ASSERT_GE(reopen, close.size());
    EXPECT_EQ(std::vector<std::string>(journal.begin() + static_cast<long>(reopen - close.size()),
                                       journal.begin() + static_cast<long>(reopen)),
              close);
    EXPECT_EQ(recplay::FedBytes(7), Bytes(Content(first)));
    EXPECT_EQ(recplay::FedBytes(8), Bytes(Content(second)));
    EXPECT_EQ(mode->GetPort(), 8);
    EXPECT_EQ(mode->GetFileSize(), 2000);
}

// Opens the write end of a named pipe as soon as a reader waits on it, so that a reader that
// would wait for ever gets its pipe instead (and the test its answer).
class PipeWriter {
public:
    explicit PipeWriter(const std::string& path)
        : m_thread([this, path] {
              while (!m_done.load()) {
                  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~PipeWriter()
    {
        m_done.store(true);
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// A file that cannot be opened, or is not a regular file, fails the start before the player
// is asked for a port and without waiting on the file; a file played before in the same mode
// is closed all the same.
TEST_F(LocalModeTest, AFileThatCannotBeOpenedFailsTheStartWithoutAPort)
{
    const std::string first = WriteFile("a.rkv", 1000);
    const std::string folder = QFileInfo(QString::fromStdString(first)).absolutePath().toStdString();
    const std::string pipe = folder + "/pipe.rkv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string pipeLink = folder + "/pipelink.rkv";
    ASSERT_EQ(::symlink(pipe.c_str(), pipeLink.c_str()), 0);
    struct Case {
        const char* what;
        std::string path;
    };
    const Case cases[] = {
        {"missing", MissingPath()},
        {"a folder", folder},
        {"below a file", first + "/b.rkv"},
        {"a named pipe", pipe},
        {"a link to a named pipe", pipeLink},
        {"a device", "/dev/zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PipeWriter writer(pipe);
        ModePtr mode = NewMode();
        PlayToEnd(mode.get(), first);
        recplay::Reset();
        Host().ClearSentTexts();
        DebugCapture log;
        EXPECT_FALSE(mode->PlayLocalFile(c.path.c_str()));
        EXPECT_TRUE(log.Contains("open file(fileEntry)filed!"));
        EXPECT_EQ(recplay::Journal(), CloseCalls(7)) << "only the first file's port is closed";
        EXPECT_FALSE(mode->IsOpen());
        EXPECT_EQ(mode->GetPort(), 0);
        EXPECT_TRUE(Events("ReturnLocalState").empty());
    }
}

TEST_F(LocalModeTest, ControlOperationsFollowTheStatus)
{
    struct Step {
        const char* operation;
        float speed;
        const char* failing;  // a library function that answers 0, or null
        bool result;
        std::vector<std::string> calls;
        int status;
    };
    const std::string play = "PLAY_Play(7," + recplay::Pointer(HandleOf(3)) + ")";
    const Step steps[] = {
        {"Pause", 0, nullptr, true, {"PLAY_Pause(7,1)"}, 2},
        {"Pause", 0, nullptr, true, {}, 2},
        {"Resume", 0, nullptr, true, {"PLAY_Pause(7,0)"}, 1},
        {"Resume", 0, nullptr, true, {}, 1},
        {"Step", 0, nullptr, true, {"PLAY_OneByOne(7)"}, 8},
        {"Resume", 0, nullptr, true, {play, "PLAY_EnableLargePicAdjustment(7,1)"}, 1},
        {"SetSpeed", 2, nullptr, true, {"PLAY_SetPlaySpeed(7,2)"}, 5},
        {"Pause", 0, nullptr, true, {"PLAY_Pause(7,1)"}, 2},
        {"SetSpeed", 0.5f, nullptr, true, {"PLAY_Pause(7,0)", "PLAY_SetPlaySpeed(7,0.5)"}, 5},
        {"Pause", 0, "PLAY_Pause", false, {"PLAY_Pause(7,1)"}, 5},
        {"Step", 0, "PLAY_OneByOne", false, {"PLAY_OneByOne(7)"}, 5},
        {"SetSpeed", 4, "PLAY_SetPlaySpeed", false,
         {play, "PLAY_EnableLargePicAdjustment(7,1)", "PLAY_SetPlaySpeed(7,4)"}, 1},
        {"Resume", 0, "PLAY_Pause", true, {}, 1},
    };
    const std::string path = WriteFile("a.rkv", 1000);
    ModePtr mode = NewMode(3);
    PlayToEnd(mode.get(), path);
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.operation) + " " + std::to_string(step.speed));
        recplay::Reset();
        if (step.failing != nullptr) {
            recplay::SetResult(step.failing, 0);
        }
        const std::string op = step.operation;
        const bool result = op == "Pause"    ? mode->Pause()
                            : op == "Resume" ? mode->Resume()
                            : op == "Step"   ? mode->Step()
                                             : mode->SetSpeed(step.speed);
        EXPECT_EQ(result, step.result);
        EXPECT_EQ(recplay::Journal(), step.calls);
        EXPECT_EQ(mode->GetPlayStatus(), step.status);
    }
    EXPECT_FLOAT_EQ(mode->GetSpeed(), 0.5f) << "a refused speed is not kept";

    ModePtr unopened = NewMode();
    recplay::Reset();
    EXPECT_FALSE(unopened->Step());
    EXPECT_TRUE(recplay::Journal().empty());
}

}  // namespace
}  // namespace localtest
