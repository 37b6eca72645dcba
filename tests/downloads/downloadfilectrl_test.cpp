// The file worker with scripted pieces: pieces start in the byte order of their entry names,
// only the video reports to the job, a file is settled once (also when a piece was paused),
// stopped files count as deleted only, a full worker refuses a batch, and the device stays
// while pieces run.

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QThread>

#include "TestHost.h"
#include "download.h"
#include "downloadfilectrl.h"
#include "downloadfixture.h"
#include "fakedevice.h"

namespace {

using dltest::Parse;

// The names of the pieces started, from the worker's thread.
class StartLog {
public:
    void Add(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_names.push_back(name);
    }
    std::vector<std::string> Names()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_names;
    }
    size_t size() { return Names().size(); }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_names;
};

// A piece that ends when the test says so (or at once when it is told to).
class ScriptedPiece : public Tolvane::IDownload {
public:
    ScriptedPiece(const std::string& name, bool endAtStart, int endState, StartLog* started)
        : IDownload(nullptr, Json::Value(), "", name, false), m_endAtStart(endAtStart), m_endState(endState),
          m_started(started)
    {
    }
    ~ScriptedPiece() override { Stop(); }
    bool Start() override
    {
        m_started->Add(m_fileName);
        SetState(m_endAtStart ? m_endState : StateDownloading);
        return true;
    }
    bool Stop() override
    {
        if (GetState() != StateFinished && GetState() != StateFailed) {
            if (m_stopped != nullptr) {
                ++*m_stopped;
            }
            SetState(StateFinished);
        }
        return true;
    }
    bool Pause() override
    {
        SetState(StatePaused);
        return true;
    }
    bool Resume() override
    {
        SetState(StateFinished);  // a resumed piece finishes at once
        return true;
    }
    void CountStopsIn(std::atomic<int>* stopped) { m_stopped = stopped; }

private:
    bool m_endAtStart;
    int m_endState;
    StartLog* m_started;
    std::atomic<int>* m_stopped = nullptr;
};

class ScriptedWorker : public Tolvane::CDownloadFileCtrl {
public:
    ScriptedWorker(const Json::Value& items, int total) : CDownloadFileCtrl(nullptr, items, total) {}
    ~ScriptedWorker() override { Shutdown(); }

    StartLog started;
    std::atomic<int> stoppedRunning{0};  // pieces stopped before they ended
    std::set<std::string> holdNames;  // pieces of these file names stay running
    int failState = 0;
    std::string failName;

protected:
    Tolvane::IDownload* MakePiece(bool, Tolvane::IDevice*, const Json::Value&, const std::string&,
                                  const std::string& fileName, bool) override
    {
        const bool hold = holdNames.count(fileName) != 0;
        const int end = fileName == failName ? Tolvane::IDownload::StateFailed : Tolvane::IDownload::StateFinished;
        auto* piece = new ScriptedPiece(fileName, !hold, end, &started);
        piece->CountStopsIn(&stoppedRunning);
        return piece;
    }
};

struct Finished {
    bool On(Tolvane::CDownloadFileCtrl*, int id, bool success)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({id, success});
        return true;
    }
    std::mutex mutex;
    std::vector<std::pair<int, bool>> calls;
};

Json::Value Entry(const std::string& saved, bool needed = true)
{
    Json::Value entry;
    entry["FilePath"] = "/dev/" + saved;
    entry["SavedFileName"] = "/tmp/out/" + saved;
    entry["Needed"] = needed;
    return entry;
}

bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 500; ++i) {
        if (done()) {
            return true;
        }
        QThread::msleep(5);
    }
    return false;
}

int Count(const Json::Value& progress, const char* list)
{
    return static_cast<int>(progress[list].size());
}

TEST(FileWorker, PiecesRunInNameOrderAndOnlyTheVideoReports)
{
    Json::Value items(Json::arrayValue);
    Json::Value item;
    item["DownloadInfo"]["Video"] = Entry("v0.rkv");
    item["DownloadInfo"]["Pic_B"] = Entry("b0.jpg");
    item["DownloadInfo"]["Pic_A"] = Entry("a0.jpg");
    item["DownloadInfo"]["Other"] = Entry("o0.jpg", false);
    items.append(item);
    items.append(Json::Value(Json::objectValue));  // nothing needed: succeeded at once
    Json::Value failing;
    failing["DownloadInfo"]["Video"] = Entry("v2.rkv");
    items.append(failing);

    ScriptedWorker worker(items, 3);
    worker.failName = "v2.rkv";
    Finished finished;
    worker.SetFileFinishedCallback(Tolvane::CDownloadFileCtrl::FileFinishedCallback(&finished, &Finished::On));
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitFor([&] { return worker.GetProgress()["Process"].asDouble() >= 100.0; }));

    EXPECT_EQ(worker.started.Names(), (std::vector<std::string>{"a0.jpg", "b0.jpg", "v0.rkv", "v2.rkv"}));
    EXPECT_EQ(finished.calls, (std::vector<std::pair<int, bool>>{{0, true}, {2, false}}));
    const Json::Value progress = worker.GetProgress();
    EXPECT_EQ(progress["SucceededFileIds"], Parse("[0, 1]"));
    EXPECT_EQ(progress["FailedFileIds"], Parse("[2]"));
    EXPECT_EQ(progress["TotalCount"].asInt(), 3);

    worker.Stop(Json::Value());
    EXPECT_FALSE(worker.Start());
}

TEST(FileWorker, PausedPieceSettlesItsFileOnceAndStoppedFilesCountAsDeletedOnly)
{
    Json::Value items(Json::arrayValue);
    for (int i = 0; i < 3; ++i) {
        Json::Value item;
        item["DownloadInfo"]["Pic_A"] = Entry("a" + std::to_string(i) + ".jpg");
        item["DownloadInfo"]["Video"] = Entry("v" + std::to_string(i) + ".rkv");
        items.append(item);
    }
    ScriptedWorker worker(items, 3);
    worker.holdNames = {"v0.rkv"};
    worker.Start();
    ASSERT_TRUE(WaitFor([&] { return worker.started.size() == 2u; }));  // a0, then v0 runs

    // Stopping a waiting file: deleted, never succeeded.
    worker.Stop(Parse("[2]"));
    // Pausing the running file holds its video; the file is not settled yet.
    worker.Pause(Parse("[0]"));
    ASSERT_TRUE(WaitFor([&] { return Count(worker.GetProgress(), "SucceededFileIds") == 1; }));  // file 1
    Json::Value progress = worker.GetProgress();
    EXPECT_EQ(progress["SucceededFileIds"], Parse("[1]"));
    EXPECT_EQ(progress["DeletedFileIds"], Parse("[2]"));
    ASSERT_EQ(progress["ProcessingStates"].size(), 1u);
    EXPECT_EQ(progress["ProcessingStates"][0]["FileId"].asInt(), 0);
    EXPECT_EQ(progress["ProcessingStates"][0]["State"].asInt(), 4);
    EXPECT_LT(progress["Process"].asDouble(), 100.0);

    worker.Resume(Json::Value());
    ASSERT_TRUE(WaitFor([&] { return worker.GetProgress()["Process"].asDouble() >= 100.0; }));
    progress = worker.GetProgress();
    EXPECT_EQ(progress["SucceededFileIds"], Parse("[1, 0]"));
    EXPECT_EQ(progress["FailedFileIds"], Parse("[]"));
    EXPECT_EQ(worker.started.Names(), (std::vector<std::string>{"a0.jpg", "v0.rkv", "a1.jpg", "v1.rkv"}));
}

// Only a file of the job that has not ended is stopped, and it counts as deleted once: ids
// the job never gave, elements that are not whole numbers, repeats and files that ended
// already change nothing, so the job neither passes 100 % nor stops its running file.
TEST(FileWorker, StopCountsOnlyFilesOfTheJobThatHaveNotEnded)
{
    struct Case {
        const char* what;
        std::vector<const char*> stops;  // lists handed to Stop one after the other
        const char* deleted;
    };
    const Case cases[] = {
        {"ids the job does not hold", {"[7, -1, 3, 2147483647]"}, "[]"},
        {"elements that are not whole numbers",
         {R"(["a", null, {}, [1], "1", true, 1.5, 4294967297])"}, "[]"},
        {"a list that is not an array", {"1", R"("a")", "{}"}, "[]"},
        {"an id repeated in one list", {"[2, 2]"}, "[2]"},
        {"an id stopped twice", {"[2]", "[2]"}, "[2]"},
        {"a file that has ended", {"[0]"}, "[]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Json::Value items(Json::arrayValue);
        items.append(Json::Value(Json::objectValue));  // nothing needed: succeeded at once
        Json::Value running;
        running["DownloadInfo"]["Video"] = Entry("v1.rkv");
        items.append(running);
        Json::Value waiting;
        waiting["DownloadInfo"]["Video"] = Entry("v2.rkv");
        items.append(waiting);
        ScriptedWorker worker(items, 3);
        worker.holdNames = {"v1.rkv"};
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitFor([&] { return worker.GetProgress()["CurrentFileId"].asInt() == 1; }));

        for (const char* ids : c.stops) {
            EXPECT_TRUE(worker.Stop(Parse(ids)));
        }
        const Json::Value progress = worker.GetProgress();
        EXPECT_EQ(progress["DeletedFileIds"], Parse(c.deleted));
        EXPECT_EQ(progress["SucceededFileIds"], Parse("[0]"));
        EXPECT_EQ(progress["FailedFileIds"], Parse("[]"));
        EXPECT_LT(progress["Process"].asDouble(), 100.0);
        EXPECT_EQ(progress["CurrentFileId"].asInt(), 1);
        EXPECT_EQ(worker.stoppedRunning.load(), 0) << "the running file was stopped";
        EXPECT_TRUE(worker.Start()) << "the whole job was stopped";
    }
}

// The file's video runs while its picture is paused; resuming the file resumes both.
TEST(FileWorker, ResumingAFileResumesEveryPausedPieceOfIt)
{
    Json::Value items(Json::arrayValue);
    Json::Value item;
    item["DownloadInfo"]["Pic_A"] = Entry("a0.jpg");
    item["DownloadInfo"]["Video"] = Entry("v0.rkv");
    items.append(item);
    ScriptedWorker worker(items, 1);
    worker.holdNames = {"a0.jpg", "v0.rkv"};
    worker.Start();
    ASSERT_TRUE(WaitFor([&] { return worker.started.size() == 1u; }));
    worker.Pause(Parse("[0]"));
    ASSERT_TRUE(WaitFor([&] { return worker.started.size() == 2u; }));  // v0 runs now

    worker.Resume(Parse("[0]"));
    ASSERT_TRUE(WaitFor([&] { return worker.GetProgress()["Process"].asDouble() >= 100.0; }))
        << worker.GetProgress().toStyledString();
    const Json::Value progress = worker.GetProgress();
    EXPECT_EQ(progress["SucceededFileIds"], Parse("[0]"));
    EXPECT_EQ(progress["ProcessingStates"], Parse("[]"));
}

TEST(FileWorker, FullWorkerRefusesABatch)
{
    Json::Value items(Json::arrayValue);
    for (int i = 0; i < 49; ++i) {
        items.append(Json::Value(Json::objectValue));
    }
    ScriptedWorker worker(items, 100);  // not started: every file waits
    Json::Value batch(Json::arrayValue);
    for (int i = 0; i < 10; ++i) {
        batch.append(Json::Value(Json::objectValue));
    }
    EXPECT_TRUE(worker.AddFiles(batch));
    EXPECT_EQ(worker.WaitingCount(), 59);
    EXPECT_FALSE(worker.AddFiles(batch));
    EXPECT_EQ(worker.WaitingCount(), 59);
}

TEST(FileWorker, NothingToFetchIsDoneAtOnce)
{
    ScriptedWorker worker(Json::Value(Json::arrayValue), 0);
    EXPECT_DOUBLE_EQ(worker.GetProgress()["Process"].asDouble(), 100.0);
}

// A device whose manager notes when it goes (the device goes with it), and what the pieces
// on it saw.
struct DeviceLife {
    testsupport::NullDevice device;
    bool gone = false;
    std::atomic<bool> running{false};
    std::vector<bool> stoppedWithDevice;  // per stopped piece: was its device still there
};

class MortalDeviceMgr final : public dltest::FixedDeviceMgr {
public:
    explicit MortalDeviceMgr(DeviceLife* life) : FixedDeviceMgr(&life->device), m_life(life) {}
    ~MortalDeviceMgr() override { m_life->gone = true; }

private:
    DeviceLife* m_life;
};

// Runs until stopped.
class DevicePiece : public Tolvane::IDownload {
public:
    DevicePiece(Tolvane::IDevice* device, DeviceLife* life)
        : IDownload(device, Json::Value(), "", "v0.rkv", false), m_life(life)
    {
    }
    ~DevicePiece() override { Stop(); }
    bool Start() override
    {
        SetState(StateDownloading);
        m_life->running.store(true);
        return true;
    }
    bool Stop() override
    {
        if (GetState() == StateDownloading) {
            m_life->stoppedWithDevice.push_back(m_device == &m_life->device && !m_life->gone);
            SetState(StateFinished);
        }
        return true;
    }
    bool Pause() override { return true; }
    bool Resume() override { return true; }

private:
    DeviceLife* m_life;
};

class DeviceWorker : public Tolvane::CDownloadFileCtrl {
public:
    DeviceWorker(HostContext* context, const Json::Value& items, DeviceLife* life)
        : CDownloadFileCtrl(context, items, 1), m_life(life)
    {
    }
    ~DeviceWorker() override { Shutdown(); }

protected:
    Tolvane::IDownload* MakePiece(bool, Tolvane::IDevice* device, const Json::Value&, const std::string&,
                                  const std::string&, bool) override
    {
        return new DevicePiece(device, m_life);
    }

private:
    DeviceLife* m_life;
};

TEST(FileWorker, KeepsItsDeviceUntilItsRunningPieceIsStopped)
{
    DeviceLife life;
    testsupport::TestHost host;
    Foundation::RegisterHostObject(host.Context(), Foundation::TypeName::IDeviceMgr,
                                   Foundation::CSharedPtr<Tolvane::IDeviceMgr>(new MortalDeviceMgr(&life)));
    Json::Value items(Json::arrayValue);
    Json::Value item;
    item["DownloadInfo"]["Video"] = Entry("v0.rkv");
    items.append(item);
    auto worker = std::make_unique<DeviceWorker>(host.Context(), items, &life);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(WaitFor([&] { return life.running.load(); }));

    host.ClearObjects();  // the host lets go of the device manager while the download runs
    EXPECT_FALSE(life.gone);
    worker.reset();
    EXPECT_EQ(life.stoppedWithDevice, std::vector<bool>{true});
    EXPECT_TRUE(life.gone);
}

}  // namespace
