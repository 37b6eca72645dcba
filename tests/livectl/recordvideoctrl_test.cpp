// Manual recording against the real player manager and live play modes over the fake player:
// the page methods, file names, the recording state, the length limit and the ends of a
// recording.

#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <tolvane/ITimer.h>

#include "fakes.h"
#include "moduletasks.h"
#include "playlibrary.h"
#include "playmode.h"
#include "recordtranscoder.h"
#include "recordtranscoderregistry.h"
#include "rkvrecordtranscoder.h"

namespace livetest {
namespace {

using Tolvane::CRecordVideoCtrl;

std::string ReadAll(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const QDateTime kStart(QDate(2024, 3, 5), QTime(9, 15, 0));

class RecordTest : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        m_now = kStart;
        recording->SetClock([this] { return m_now; });
    }

    // {"infos": [{"winID", "name", "ManulRecordPath", "ManulRecordLength"} ...]} as the page sends it.
    std::string Infos(std::initializer_list<int> windows, int length = 5, const std::string& extra = "")
    {
        std::string text = "{\"infos\":[";
        bool first = true;
        for (int winID : windows) {
            text += (first ? "" : ",");
            text += "{\"winID\":" + std::to_string(winID) + ",\"name\":\"cam\",\"ManulRecordPath\":\"" + Folder()
                    + "\",\"ManulRecordLength\":" + std::to_string(length) + extra + "}";
            first = false;
        }
        return text + "]}";
    }
    bool Call(const std::string& method, const std::string& params)
    {
        const std::string reply = Host().CallMethod(method, params);
        Json::Value parsed;
        EXPECT_TRUE(Foundation::JsonParse(reply, parsed)) << reply;
        return Foundation::JsonMember(parsed, "result") == true;
    }
    QStringList Files() const { return QDir(QString::fromStdString(Folder())).entryList(QDir::Files, QDir::Name); }
    QString FileName(int winID, const QDateTime& at) const
    {
        return QString("cam-%1_%2.rkv").arg(winID).arg(at.toString("yyyyMMddhhmmss"));
    }

    QDateTime m_now;
};

TEST_F(RecordTest, MalformedRequestsAnswerFalseAndChangeNothing)
{
    ShowLive(1);
    struct Case {
        const char* method;
        std::string params;
    };
    const Case cases[] = {
        {"startRecord", R"({"infos":[]})"},
        {"startRecord", R"({"infos":null})"},
        {"startRecord", R"({"infos":{"winID":1,"name":"cam"}})"},
        {"startRecord", R"({"infos":"cam"})"},
        {"startRecord", R"({"infos":[{"winID":1,"ManulRecordPath":")" + Folder() + R"("}]})"},
        {"startRecord", R"({"infos":[{"winID":"1","name":"cam","ManulRecordPath":")" + Folder() + R"("}]})"},
        {"startRecord", R"({"infos":[7]})"},
        {"stopRecord", R"({"infos":[]})"},
        {"stopRecord", R"({"infos":{"winID":1}})"},
        {"stopRecord", R"({"infos":[{"name":"cam"}]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.params);
        EXPECT_FALSE(Call(c.method, c.params));
        EXPECT_EQ(recording->GetRecordState(1), CRecordVideoCtrl::StateNone);
    }
    EXPECT_TRUE(Files().isEmpty());
    // A window that never recorded stops fine.
    EXPECT_TRUE(Call("stopRecord", R"({"infos":[{"winID":9}]})"));
}

TEST_F(RecordTest, RecordsTheWindowsStreamUntilStopped)
{
    const int32_t port = ShowLive(4, 3);
    ASSERT_TRUE(Call("startRecord", Infos({4})));
    EXPECT_EQ(recording->GetRecordState(4), CRecordVideoCtrl::StateRecording);
    ASSERT_EQ(Files(), QStringList{FileName(4, kStart)});
    // A key frame of the mode's sub-stream (stream type 3 is sub-stream 1).
    ASSERT_EQ(device.KeyFrames().size(), 1u);
    EXPECT_EQ(device.KeyFrames()[0], std::make_pair(0, 1));

    ASSERT_TRUE(fakeplayer::FireDemux(port, {'p', 'k', '1'}));
    ASSERT_TRUE(fakeplayer::FireDemux(port, {'p', 'k', '2'}));
    // The same type again leaves the running recording alone.
    ASSERT_TRUE(Call("startRecord", Infos({4})));
    EXPECT_EQ(Files().size(), 1);

    ASSERT_TRUE(Call("stopRecord", R"({"infos":[{"winID":4}]})"));
    EXPECT_EQ(recording->GetRecordState(4), CRecordVideoCtrl::StateNone);
    EXPECT_FALSE(fakeplayer::HasDemuxCallBack(port));
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith("cam-4_20240305091500-")) << files[0].toStdString();
    EXPECT_TRUE(files[0].endsWith(".rkv"));
    EXPECT_EQ(files[0].size(), FileName(4, kStart).size() + 15);
    EXPECT_EQ(ReadAll(QString::fromStdString(Folder()) + "/" + files[0]), "pk1pk2");
}

TEST_F(RecordTest, ExistingNamesGetACounterBeforeTheSuffix)
{
    ShowLive(2);
    const QString dir = QString::fromStdString(Folder()) + "/";
    const QStringList taken[] = {
        {},
        {"cam-2_20240305091500.rkv"},
        {"cam-2_20240305091500.rkv", "cam-2_20240305091500 (1).rkv"},
    };
    const QString expected[] = {"cam-2_20240305091500.rkv", "cam-2_20240305091500 (1).rkv",
                                "cam-2_20240305091500 (2).rkv"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        for (const QString& name : taken[i]) {
            QFile file(dir + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(Call("startRecord", Infos({2})));
        EXPECT_TRUE(QFile::exists(dir + expected[i]));
        EXPECT_EQ(Files().size(), taken[i].size() + 1);
        ASSERT_TRUE(recording->StopWindowRecord(2));
        // The counter stays in the final name, before the stop time.
        QStringList names = Files();
        for (const QString& name : taken[i]) {
            names.removeAll(name);
        }
        ASSERT_EQ(names.size(), 1);
        EXPECT_TRUE(names[0].startsWith(expected[i].left(expected[i].size() - 4) + "-")) << names[0].toStdString();
    }
}

TEST_F(RecordTest, AWindowWithoutAPictureCannotRecordAndReportsFailure)
{
    ASSERT_TRUE(live->ConnectRealVideoByID(0, -1, 2, 0, 3, 5, false));  // no picture yet
    EXPECT_TRUE(Call("startRecord", Infos({3, 8})));                    // window 8 shows nothing at all
    EXPECT_EQ(recording->GetRecordState(3), CRecordVideoCtrl::StateFailed);
    EXPECT_EQ(recording->GetRecordState(8), CRecordVideoCtrl::StateFailed);
    EXPECT_TRUE(Files().isEmpty());

    // Once it shows a picture, a new start replaces the failure.
    fakeplayer::FirePicture(fakeplayer::LastPort());
    ASSERT_TRUE(Call("startRecord", Infos({3})));
    EXPECT_EQ(recording->GetRecordState(3), CRecordVideoCtrl::StateRecording);
}

TEST_F(RecordTest, TheLengthLimitEndsARecordingWhenTheStateIsAsked)
{
    ShowLive(5);
    ASSERT_TRUE(Call("startRecord", Infos({5}, 1)));
    m_now = kStart.addSecs(59);
    EXPECT_EQ(recording->GetRecordState(5), CRecordVideoCtrl::StateRecording);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Folder()) + "/" + FileName(5, kStart)));

    m_now = kStart.addSecs(60);
    EXPECT_EQ(recording->GetRecordState(5), CRecordVideoCtrl::StateRecording);  // stopped by this query
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder()) + "/" + FileName(5, kStart)));
    EXPECT_EQ(recording->GetRecordState(5), CRecordVideoCtrl::StateNone);
    EXPECT_EQ(Files().size(), 1);
}

TEST_F(RecordTest, LeavingTheWindowEndsItsRecording)
{
    const int32_t port = ShowLive(6);
    ASSERT_TRUE(Call("startRecord", Infos({6})));
    ASSERT_TRUE(live->DisConnectRealVideoByID(6));
    EXPECT_EQ(recording->GetRecordState(6), CRecordVideoCtrl::StateNone);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder()) + "/" + FileName(6, kStart)));
    EXPECT_EQ(Files().size(), 1);
    EXPECT_EQ(fakeplayer::FireDemux(port, {1}), false);
}

TEST_F(RecordTest, AnotherTypeClosesTheFirstRecording)
{
    struct Nothing final : Tolvane::IRecordTranscoder {
        bool Open(const char*, int32_t) override { return recording = true; }
        bool Stop() override { return !(recording = false); }
        bool IsRecording() override { return recording; }
        bool SetOption(int32_t, int32_t) override { return true; }
        const char* GetType() override { return "tst"; }
        bool recording = false;
    };
    Tolvane::RecordTranscoderRegistry::Register("tst", [](HostContext*) -> Tolvane::IRecordTranscoder* {
        return new Nothing();
    });
    ShowLive(7);
    ASSERT_TRUE(Call("startRecord", Infos({7})));
    ASSERT_TRUE(Call("startRecord", Infos({7}, 5, R"(,"type":"tst")")));
    EXPECT_EQ(recording->GetRecordState(7), CRecordVideoCtrl::StateRecording);
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);  // the rkv file, closed under its final name
    EXPECT_NE(files[0], FileName(7, kStart));
}

// A start that fails while the window still records (its mode stopped playing) closes that
// recording instead of losing it behind the failure entry.
TEST_F(RecordTest, AFailedStartClosesTheRecordingItReplaces)
{
    ShowLive(9);
    ASSERT_TRUE(Call("startRecord", Infos({9})));
    Tolvane::IPlayMode* mode = LiveModeOf(9);
    ASSERT_NE(mode, nullptr);
    {
        QMutexLocker lock(manager->GetMutex());
        mode->Close();  // still filed under the window, no longer open
    }
    EXPECT_TRUE(Call("startRecord", Infos({9})));
    EXPECT_EQ(recording->GetRecordState(9), CRecordVideoCtrl::StateFailed);
    const QStringList files = Files();
    ASSERT_EQ(files.size(), 1);
    EXPECT_NE(files[0], FileName(9, kStart));
}

// A window of another kind (playback, local file) as the recording sees it: an open mode on
// a port of its own that has shown a picture.
class OtherKindMode final : public Tolvane::CPlayMode {
public:
    OtherKindMode(HostContext* context, const char* modeId) : CPlayMode(context, nullptr, false), m_modeId(modeId)
    {
        int32_t port = 0;
        PLAY_CALL(m_context, PLAY_GetFreePort, &port);
        PLAY_CALL(m_context, PLAY_SetVisibleDecodeCallBack, port, &CPlayMode::VisibleDecodeCallBack,
                  static_cast<void*>(this));
        m_port.store(port);
        m_open.store(true);
        m_status.store(StatusPlaying);
    }
    ~OtherKindMode() override { EndLifetime(); }
    const char* GetModeID() override { return m_modeId; }
    bool Close() override
    {
        m_open.store(false);
        m_status.store(StatusClosed);
        return true;
    }

private:
    const char* m_modeId;
};

// The timer service as the recording uses it: the armed handler, run when the test says.
class HeldTimer final : public Tolvane::ITimer {
public:
    uint64_t SetTimer(Handler& handler, int64_t interval) override
    {
        m_handler = handler;
        this->interval = interval;
        return 1;
    }
    bool DestroyTimer(uint64_t id) override
    {
        if (id == 1) {
            m_handler.clear();
        }
        return true;
    }
    // Runs the armed handler as the service would; -99 when none is armed.
    int Fire() { return m_handler.empty() ? -99 : m_handler(1); }

    int64_t interval = 0;

private:
    Handler m_handler;
};

TEST_F(RecordTest, TheLengthLimitEndsRecordingsOfEveryKindWithoutTheLiveTick)
{
    // Loaded again with a timer service, the recording arms its own once-a-second check.
    auto* timer = new HeldTimer();
    ASSERT_TRUE(Foundation::RegisterHostObject(Context(), Foundation::TypeName::ITimer,
                                               Foundation::CSharedPtr<Tolvane::ITimer>(timer)));
    recording->OnImplPreRelease();
    recording->OnImplLoaded();
    EXPECT_EQ(timer->interval, 1000);

    struct Case {
        const char* kind;
        int winID;
    };
    const Case cases[] = {{Tolvane::ModeId::RealVideo, 20}, {Tolvane::ModeId::Playback, 21},
                          {Tolvane::ModeId::LocalPlay, 22}};
    for (const Case& c : cases) {
        if (c.winID == 20) {
            ShowLive(c.winID);
        } else {
            auto* mode = new OtherKindMode(Context(), c.kind);
            ASSERT_TRUE(manager->AttachPlayMode(c.winID, mode));
            fakeplayer::FirePicture(mode->GetPort());
            Tolvane::ModuleTaskPool().waitForDone();
        }
        ASSERT_TRUE(Call("startRecord", Infos({c.winID}, 1)));
    }
    m_now = kStart.addSecs(59);
    EXPECT_EQ(timer->Fire(), 1);
    for (const Case& c : cases) {
        EXPECT_TRUE(QFile::exists(QString::fromStdString(Folder()) + "/" + FileName(c.winID, kStart))) << c.kind;
    }
    m_now = kStart.addSecs(60);
    EXPECT_EQ(timer->Fire(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder()) + "/" + FileName(c.winID, kStart)));
        EXPECT_EQ(recording->GetRecordState(c.winID), CRecordVideoCtrl::StateNone);
    }
    EXPECT_EQ(Files().size(), 3);  // each closed under its final name
}

TEST_F(RecordTest, ANameCannotLeaveTheRecordingFolder)
{
    ShowLive(13);
    const QDir folder(QString::fromStdString(Folder()));
    ASSERT_TRUE(folder.mkpath("inner"));
    const std::string inner = Folder() + "/inner";
    ASSERT_TRUE(Call("startRecord", R"({"infos":[{"winID":13,"name":"../../x:y*?\"<>|z","ManulRecordPath":")" + inner
                                        + R"("}]})"));
    ASSERT_TRUE(recording->StopWindowRecord(13));
    // Nothing where the climbing name points (two folders up from "inner").
    QDir above(QString::fromStdString(inner));
    ASSERT_TRUE(above.cd("../.."));
    const QStringList climbed = above.entryList({"x*-13_*"}, QDir::Files);
    for (const QString& name : climbed) {
        above.remove(name);
    }
    EXPECT_EQ(climbed, QStringList());
    const QStringList written = QDir(QString::fromStdString(inner)).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(written.size(), 1);
    EXPECT_TRUE(written[0].startsWith("....xyz-13_20240305091500")) << written[0].toStdString();
}

TEST_F(RecordTest, AnEmptyFolderFallsBackToTheProgramsVideoFolder)
{
    ShowLive(12);
    const QString expected = QCoreApplication::applicationDirPath() + "/video/" + FileName(12, kStart);
    ASSERT_FALSE(QFile::exists(expected));
    ASSERT_TRUE(Call("startRecord", R"({"infos":[{"winID":12,"name":"cam","ManulRecordPath":""}]})"));
    EXPECT_TRUE(QFile::exists(expected));
    ASSERT_TRUE(recording->StopWindowRecord(12));
    const QStringList left = QDir(QCoreApplication::applicationDirPath() + "/video")
                                 .entryList({"cam-12_20240305091500-*.rkv"}, QDir::Files);
    ASSERT_EQ(left.size(), 1);
    QFile::remove(QCoreApplication::applicationDirPath() + "/video/" + left[0]);
}

}  // namespace
}  // namespace livetest
