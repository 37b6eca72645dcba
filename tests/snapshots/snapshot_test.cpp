// Snapshots against recording fakes: file names and folders, formats, series through a
// hand-fired timer, failures, host-draws mode and the inline picture.

#include <atomic>
#include <thread>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "fakes.h"

namespace snaptest {
namespace {

const QRegularExpression kStamped(QStringLiteral("^(.*)-(\\d+)_(\\d{14})\\.(\\w+)$"));

QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The text as a JSON string literal.
std::string Quoted(const QString& text)
{
    std::string literal = Foundation::JsonFastText(Json::Value(text.toStdString()));
    while (!literal.empty() && literal.back() == '\n') {
        literal.pop_back();
    }
    return literal;
}

// The picture behind a "data:image/png;base64," answer.
QImage DataUrlPicture(const std::string& answer)
{
    const std::string prefix = "data:image/png;base64,";
    if (answer.compare(0, prefix.size(), prefix) != 0) {
        return QImage();
    }
    return QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(answer.substr(prefix.size()))));
}

bool NearColour(QRgb a, uint32_t b)
{
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 && std::abs(qBlue(a) - qBlue(b)) < 40;
}

TEST_F(SnapTest, FileNameHoldsTheCleanedNameTheWindowAndTheTime)
{
    Load();
    struct Case {
        const char* nameMember;  // JSON text of "name", or null for none
        const char* expected;
    };
    const Case cases[] = {
        {R"("gate")", "gate"},
        {R"("a/b:c")", "abc"},
        {R"("x*y?z\"<w>|v")", "xyzwv"},
        {R"("back\\slash")", "back\\slash"},
        {R"("")", ""},
        {nullptr, "Unknown"},
        {"17", "Unknown"},
    };
    for (const Case& c : cases) {
        const QString folder = Folder() + "/" + QString::number(&c - cases);
        std::string element = "{\"winID\":3,\"ManulSnapNum\":1,\"ManulSnapPath\":" + Quoted(folder);
        if (c.nameMember != nullptr) {
            element += std::string(",\"name\":") + c.nameMember;
        }
        element += "}";
        const QString before = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
        EXPECT_EQ(CallSnapshot("[" + element + "]"), Json::Value(true));
        const QString after = QDateTime::currentDateTime().toString("yyyyMMddhhmmss");

        const QStringList files = FilesIn(folder);
        ASSERT_EQ(files.size(), 1) << element;
        const QRegularExpressionMatch match = kStamped.match(files[0]);
        ASSERT_TRUE(match.hasMatch()) << files[0].toStdString();
        EXPECT_EQ(match.captured(1).toStdString(), c.expected) << element;
        EXPECT_EQ(match.captured(2), "3");
        EXPECT_GE(match.captured(3), before);
        EXPECT_LE(match.captured(3), after);
        EXPECT_EQ(match.captured(4), "jpg");
        EXPECT_TRUE(QImage(folder + "/" + files[0]).size() == QSize(64, 48)) << "a JPEG picture of the port";
    }
    const std::vector<fakeplay::Capture> captures = fakeplay::Captures();
    ASSERT_EQ(captures.size(), std::size(cases));
    for (const fakeplay::Capture& capture : captures) {
        EXPECT_EQ(capture.port, 7);
        EXPECT_EQ(capture.type, PLAY_PIC_JPEG);
    }
}

TEST_F(SnapTest, FolderComesFromTheElementThenTheSettingsThenTheProgramFolder)
{
    customer->strings["ManulSnapPath"] = (Folder() + "/settings/deep").toStdString();
    Load();

    EXPECT_EQ(CallSnapshot("[{\"winID\":3,\"name\":\"e\",\"ManulSnapPath\":" + Quoted(Folder() + "/own/a/b") + "}]"),
              Json::Value(true));
    EXPECT_EQ(FilesIn(Folder() + "/own/a/b").size(), 1) << "missing folders are made";

    EXPECT_EQ(CallSnapshot(R"([{"winID":3,"name":"s"}])"), Json::Value(true));
    EXPECT_EQ(FilesIn(Folder() + "/settings/deep").size(), 1);

    // An empty folder, from the page or the settings, means the program's "pictures".
    const QString pictures = QCoreApplication::applicationDirPath() + "/pictures";
    const QStringList earlier = FilesIn(pictures);
    EXPECT_EQ(CallSnapshot(R"([{"winID":3,"name":"snaptest-default","ManulSnapPath":""}])"), Json::Value(true));
    QStringList made;
    for (const QString& file : FilesIn(pictures)) {
        if (!earlier.contains(file)) {
            made << file;
            QFile::remove(pictures + "/" + file);
        }
    }
    QDir().rmdir(pictures);  // only when empty
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(made[0].startsWith("snaptest-default-3_"));
}

TEST_F(SnapTest, FormatIndexChoosesTheExtensionAndPictureType)
{
    Load();
    struct Case {
        Json::Value format;
        const char* ext;
        int32_t type;
    };
    const Case cases[] = {
        {0, "jpg", PLAY_PIC_JPEG},  {1, "tiff", PLAY_PIC_JPEG}, {2, "bmp", PLAY_PIC_BMP},
        {5, "bmp", PLAY_PIC_BMP},   {-1, "bmp", PLAY_PIC_BMP},  {Json::Value("2"), "jpg", PLAY_PIC_JPEG},
        {Json::Value(), "jpg", PLAY_PIC_JPEG},
    };
    for (const Case& c : cases) {
        const QString folder = Folder() + "/" + QString::number(&c - cases);
        Json::Value element(Json::objectValue);
        element["name"] = "f";
        element["snapshotPath"] = folder.toStdString();
        if (!c.format.isNull()) {
            element["format"] = c.format;
        }
        ASSERT_TRUE(grab->SnapshotWindow(3, element)) << c.format;
        EXPECT_EQ(element["format"], Json::Value(c.ext));
        EXPECT_EQ(element["width"], Json::Value(0));
        EXPECT_EQ(element["height"], Json::Value(0));
        const std::string fileName = Foundation::JsonStringOrEmpty(element["fileName"]);
        EXPECT_EQ(QFileInfo(QString::fromStdString(fileName)).suffix().toStdString(), c.ext);
        EXPECT_EQ(QFileInfo(QString::fromStdString(fileName)).path(), folder);
        ASSERT_FALSE(fakeplay::Captures().empty());
        EXPECT_EQ(fakeplay::Captures().back().type, c.type) << c.format;
        EXPECT_EQ(fakeplay::Captures().back().path, fileName);
    }

    // The page cannot choose: "snapshot" always makes "jpg" pictures.
    EXPECT_EQ(CallSnapshot("[{\"winID\":4,\"name\":\"p\",\"format\":2,\"ManulSnapPath\":" + Quoted(Folder() + "/page")
                           + "}]"),
              Json::Value(true));
    const QStringList files = FilesIn(Folder() + "/page");
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].endsWith(".jpg"));
    EXPECT_EQ(fakeplay::Captures().back().port, 8);
    EXPECT_EQ(fakeplay::Captures().back().type, PLAY_PIC_JPEG);
}

TEST_F(SnapTest, PicturesOfOneSecondAreKeptApart)
{
    Load();
    Json::Value element(Json::objectValue);
    element["name"] = "burst";
    element["snapshotPath"] = Folder().toStdString();
    for (int i = 0; i < 3; ++i) {
        Json::Value copy = element;
        ASSERT_TRUE(grab->SnapshotWindow(3, copy));
    }
    const QStringList files = FilesIn(Folder());
    ASSERT_EQ(files.size(), 3) << files.join(' ').toStdString();
    for (const QString& file : files) {
        EXPECT_EQ(QFileInfo(Folder() + "/" + file).size() > 0, true) << file.toStdString();
    }
}

TEST_F(SnapTest, FailedPicturesAnswerFalseAndLeaveNoFile)
{
    Load();
    // A file where the folder should be.
    QFile blocker(Folder() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FakeMode noPicture(9, 0, 0);
    players->Show(5, &noPicture);

    struct Case {
        const char* what;
        int winID;
        QString folder;
        int32_t captureResult;
    };
    const Case cases[] = {
        {"window without a mode", 1, Folder() + "/a", 1},
        {"mode without a picture yet", 5, Folder() + "/b", 1},
        {"capture fails", 3, Folder() + "/c", 0},
        {"folder cannot be made", 3, Folder() + "/blocker/sub", 1},
    };
    for (const Case& c : cases) {
        fakeplay::SetCaptureResult(c.captureResult);
        Json::Value element(Json::objectValue);
        element["name"] = "x";
        element["snapshotPath"] = c.folder.toStdString();
        EXPECT_FALSE(grab->SnapshotWindow(c.winID, element)) << c.what;
        EXPECT_TRUE(FilesIn(c.folder).isEmpty()) << c.what;
    }
    // Only the failing capture reached the library.
    ASSERT_EQ(fakeplay::Captures().size(), 1u);
    EXPECT_EQ(fakeplay::Captures()[0].port, 7);
}

TEST_F(SnapTest, WithoutThePlayerFunctionFileSnapshotsFail)
{
    Host().SetFunction("play", "PLAY_CatchPicEx", nullptr);
    Load();
    Json::Value element(Json::objectValue);
    element["snapshotPath"] = Folder().toStdString();
    EXPECT_FALSE(grab->SnapshotWindow(3, element));
    EXPECT_TRUE(FilesIn(Folder()).isEmpty());
}

class NoWindowModuleTest : public SnapTest {
protected:
    bool WithWindowModule() const override { return false; }
};

TEST_F(NoWindowModuleTest, FileSnapshotsFailButInlinePicturesWork)
{
    Load();
    CallSnapshot("[{\"winID\":3,\"ManulSnapPath\":" + Quoted(Folder()) + "}]");
    EXPECT_TRUE(FilesIn(Folder()).isEmpty());
    EXPECT_TRUE(fakeplay::Captures().empty());
    EXPECT_FALSE(DataUrlPicture(grab->snapshotEx(3)).isNull());
}

TEST_F(SnapTest, SeriesTakesItsPicturesAtTheIntervalAndEndsItself)
{
    Load();
    const std::string infos = "[{\"winID\":3,\"name\":\"s\",\"ManulSnapNum\":3,\"ManulSnapInterval\":2,"
                              "\"ManulSnapPath\":" + Quoted(Folder()) + "}]";
    EXPECT_EQ(CallSnapshot(infos), Json::Value(true));
    EXPECT_EQ(FilesIn(Folder()).size(), 1) << "the first picture at once";
    const uint64_t id = timer->LastId();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(timer->IntervalOf(id), 2000);

    EXPECT_EQ(timer->Fire(id), 1);
    grab->WaitForTasks();
    EXPECT_EQ(FilesIn(Folder()).size(), 2);
    EXPECT_EQ(timer->Fire(id), -1) << "the third picture ends the series";
    grab->WaitForTasks();
    EXPECT_EQ(FilesIn(Folder()).size(), 3);
    EXPECT_EQ(timer->Fire(id), -99);
    EXPECT_EQ(fakeplay::Captures().size(), 3u);
    EXPECT_EQ(grab->OnSnapshotTimer(12345), -1) << "an unknown timer ends";
}

// A timer re-armed with no interval runs again at once: a series keeps a second between
// its pictures whatever interval it is given, from the page or from the settings.
TEST_F(SnapTest, SeriesIntervalOfZeroOrBelowBecomesOneSecond)
{
    customer->ints["ManulSnapNum"] = 2;
    customer->ints["ManulSnapInterval"] = 0;
    Load();
    const char* intervals[] = {"0", "-3", "\"x\"", nullptr};
    for (const char* interval : intervals) {
        const std::string member = interval != nullptr ? std::string(",\"ManulSnapInterval\":") + interval : "";
        CallSnapshot("[{\"winID\":3,\"ManulSnapNum\":2" + member + ",\"ManulSnapPath\":" + Quoted(Folder()) + "}]");
        const uint64_t id = timer->LastId();
        ASSERT_NE(id, 0u);
        EXPECT_EQ(timer->IntervalOf(id), 1000) << (interval != nullptr ? interval : "from the settings");
    }
    grab->WaitForTasks();
}

TEST_F(SnapTest, NewRequestEndsTheRunningSeriesOfItsWindowOnly)
{
    Load();
    const std::string series = ",\"ManulSnapNum\":5,\"ManulSnapInterval\":1,\"ManulSnapPath\":" + Quoted(Folder()) + "}";
    CallSnapshot("[{\"winID\":3,\"name\":\"one\"" + series + ",{\"winID\":4,\"name\":\"four\"" + series + "]");
    const uint64_t first3 = timer->LastId() - 1;
    const uint64_t first4 = timer->LastId();
    CallSnapshot("[{\"winID\":3,\"name\":\"two\"" + series + "]");
    const uint64_t second3 = timer->LastId();

    EXPECT_EQ(timer->destroyed, std::vector<uint64_t>{first3});
    EXPECT_EQ(grab->OnSnapshotTimer(first3), -1) << "the old series is forgotten";
    EXPECT_EQ(timer->Fire(first4), 1);
    EXPECT_EQ(timer->Fire(second3), 1);
    grab->WaitForTasks();
    int one = 0, two = 0, four = 0;
    for (const QString& file : FilesIn(Folder())) {
        one += file.startsWith("one-") ? 1 : 0;
        two += file.startsWith("two-") ? 1 : 0;
        four += file.startsWith("four-") ? 1 : 0;
    }
    EXPECT_EQ(one, 1);
    EXPECT_EQ(two, 2);
    EXPECT_EQ(four, 2);
}

TEST_F(SnapTest, CountOfOneOrLessTakesOnePictureWithoutTimer)
{
    customer->ints["ManulSnapNum"] = 4;
    customer->ints["ManulSnapInterval"] = 3;
    Load();
    const char* counts[] = {"0", "1", "-2"};
    for (const char* count : counts) {
        const QString folder = Folder() + "/" + count;
        CallSnapshot(std::string("[{\"winID\":3,\"ManulSnapNum\":") + count + ",\"ManulSnapPath\":" + Quoted(folder) + "}]");
        EXPECT_EQ(FilesIn(folder).size(), 1) << count;
    }
    EXPECT_EQ(timer->LastId(), 0u);

    // Without a count of its own the element takes the settings' count and interval.
    CallSnapshot("[{\"winID\":3,\"ManulSnapPath\":" + Quoted(Folder() + "/settings") + "}]");
    ASSERT_EQ(timer->LastId(), 1u);
    EXPECT_EQ(timer->IntervalOf(1), 3000);
}

TEST_F(SnapTest, MalformedInfosAnswerTrueAndTakeNothing)
{
    Load();
    const std::string cases[] = {
        "null",
        "\"pictures\"",
        "{\"winID\":3,\"name\":\"object\"}",
        "[]",
        "[3, \"x\", null, []]",
        "[{\"winID\":\"3\"}]",
        "[{\"winID\":3.5}]",
        "[{\"name\":\"nowindow\"}]",
    };
    for (const std::string& infos : cases) {
        EXPECT_EQ(CallSnapshot(infos), Json::Value(true)) << infos;
    }
    EXPECT_TRUE(fakeplay::Captures().empty());
    EXPECT_EQ(timer->LastId(), 0u);
    // "infos" must be present: the method takes exactly one parameter.
    EXPECT_NE(Host().CallMethod("snapshot", "{}").find("Method not exist"), std::string::npos);
}

TEST_F(SnapTest, HostDrawsModeTakesPicturesFromTheWindowModule)
{
    Context()->SetCompatibilityFlag(1);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::cyan);
    sorquin->SetPicture(3, picture);
    Load();

    CallSnapshot("[{\"winID\":3,\"name\":\"host\",\"ManulSnapPath\":" + Quoted(Folder()) + "}]");
    const auto saved = sorquin->Saved();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].first, 3);
    const Json::Value& element = saved[0].second;
    EXPECT_EQ(element["format"], Json::Value("jpg"));
    EXPECT_EQ(element["quality"], Json::Value(100));
    EXPECT_EQ(element["snapshotPath"], Json::Value(Folder().toStdString()));
    EXPECT_EQ(element["width"], Json::Value(0));
    EXPECT_EQ(element["height"], Json::Value(0));
    const QStringList files = FilesIn(Folder());
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(element["fileName"], Json::Value((Folder() + "/" + files[0]).toStdString()));
    EXPECT_EQ(QImage(Folder() + "/" + files[0]).size(), QSize(40, 30));
    EXPECT_TRUE(fakeplay::Captures().empty());

    // A window without a picture: nothing written, nothing left behind.
    Json::Value other(Json::objectValue);
    other["snapshotPath"] = (Folder() + "/none").toStdString();
    EXPECT_FALSE(grab->SnapshotWindow(4, other));
    EXPECT_TRUE(FilesIn(Folder() + "/none").isEmpty());

    EXPECT_EQ(grab->snapshotEx(3), "data:image/png;base64,AAAA");
    EXPECT_EQ(grab->snapshotEx(4), "");
    EXPECT_EQ(sorquin->dataRequests, (std::vector<int>{3, 4}));
}

// QDir::tempPath() is a folder of the test's own while this lives.
struct OwnTempFolder {
    QTemporaryDir dir;
    const bool wasSet = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray shared = qgetenv("TMPDIR");
    OwnTempFolder() { qputenv("TMPDIR", QFile::encodeName(dir.path())); }
    ~OwnTempFolder()
    {
        if (wasSet) {
            qputenv("TMPDIR", shared);
        } else {
            qunsetenv("TMPDIR");
        }
    }
};

TEST_F(SnapTest, InlinePictureIsScaledToTheWindow)
{
    // A temporary folder of its own: tests running beside this one pass their pictures
    // through the shared one.
    const OwnTempFolder temp;
    ASSERT_TRUE(temp.dir.isValid());
    QWidget widget;
    widget.resize(200, 100);
    sorquin->SetWidget(4, &widget);
    Load();

    struct Case {
        int winID;
        QSize size;
        uint32_t colour;
    };
    const Case cases[] = {
        {3, QSize(320, 240), fakeplay::PortColour(7)},  // the frame's size
        {4, QSize(200, 100), fakeplay::PortColour(8)},  // the window widget's size
    };
    for (const Case& c : cases) {
        const std::string reply = Host().CallMethod("snapshotEx", "{\"winID\":" + std::to_string(c.winID) + "}");
        Json::Value parsed;
        ASSERT_TRUE(Foundation::JsonParse(reply, parsed));
        const QImage picture = DataUrlPicture(Foundation::JsonStringOrEmpty(parsed["result"]));
        ASSERT_FALSE(picture.isNull()) << reply.substr(0, 80);
        EXPECT_EQ(picture.size(), c.size);
        EXPECT_TRUE(NearColour(picture.pixel(c.size.width() / 2, c.size.height() / 2), c.colour));
    }
    EXPECT_TRUE(QDir::temp().entryList({"snapPic_temp*"}, QDir::Files).isEmpty()) << "no temporary file is left";
    EXPECT_EQ(QDir::tempPath(), temp.dir.path());
}

TEST_F(SnapTest, InlinePictureFailuresAnswerEmpty)
{
    FakeMode noPicture(9, 0, 0);
    players->Show(5, &noPicture);
    Load();
    EXPECT_EQ(grab->snapshotEx(1), "") << "no mode";
    EXPECT_EQ(grab->snapshotEx(5), "") << "no picture yet";
    fakeplay::SetCaptureResult(0);
    EXPECT_EQ(grab->snapshotEx(3), "") << "capture fails";
    EXPECT_EQ(fakeplay::Captures().size(), 1u);
    Host().SetFunction("play", "PLAY_CatchPicEx", nullptr);
    EXPECT_EQ(grab->snapshotEx(3), "") << "no player function";
}

TEST_F(SnapTest, ConcurrentInlinePicturesEachGetTheirOwnWindow)
{
    Load();
    std::atomic<int> wrong{0};
    std::atomic<int> empty{0};
    auto run = [&](int winID, uint32_t colour) {
        for (int i = 0; i < 15; ++i) {
            const QImage picture = DataUrlPicture(grab->snapshotEx(winID));
            if (picture.isNull()) {
                ++empty;
            } else if (!NearColour(picture.pixel(5, 5), colour)) {
                ++wrong;
            }
        }
    };
    std::thread a(run, 3, fakeplay::PortColour(7));
    std::thread b(run, 4, fakeplay::PortColour(8));
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(empty.load(), 0);
}

}  // namespace
}  // namespace snaptest
