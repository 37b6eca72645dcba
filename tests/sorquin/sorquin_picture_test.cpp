#include <atomic>
#include <thread>

#include <QBuffer>
#include <QByteArray>
#include <QTemporaryDir>

#include "sorquinfixture.h"

namespace {

constexpr uint32_t kRed = 0xff0000;
constexpr uint32_t kGreen = 0x00ff00;
constexpr uint32_t kBlue = 0x0000ff;

class SorquinPictureTest : public SorquinTest {
protected:
    void SetUp() override
    {
        SorquinTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_NE(Layout(1, 2, 0, 0, 640, 240).find("true"), std::string::npos);
    }

    // Pushes a picture through the window's sink from a thread of its own, as a player does.
    void FeedSink(int winID, const std::vector<uint32_t>& pixels, int width, int height, int stride)
    {
        auto* sink = static_cast<SorquinVideoSink*>(sorquin->GetWindowHandle(winID));
        ASSERT_NE(sink, nullptr);
        std::thread player([&] {
            sink->draw(sink->user, reinterpret_cast<const uint8_t*>(pixels.data()), width, height, stride);
        });
        player.join();
    }

    bool ShowSolid(int winID, int width, int height, uint32_t rgb, uint32_t frameId)
    {
        const std::vector<uint32_t> pixels = SolidPicture(width, height, rgb);
        const SorquinFrameInfo info{width, height, kSorquinFormatRgb32, 25, frameId};
        return sorquin->ShowFrame(winID, reinterpret_cast<const unsigned char*>(pixels.data()),
                                  long(pixels.size() * 4), 1, &info);
    }

    bool FrameDrawnFor(long winID)
    {
        for (const auto& draw : recorder.FrameDraws()) {
            if (draw.winID == winID) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(SorquinPictureTest, SinkPictureFromAPlayerThreadIsPaintedAndRaisesFrameDraw)
{
    // A 4 x 2 picture with a padded stride: left half red, right half blue.
    const int width = 4, height = 2, stride = 6 * 4;
    std::vector<uint32_t> pixels(6 * height, 0x12345678u);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[size_t(y) * 6 + x] = 0xff000000u | (x < 2 ? kRed : kBlue);
        }
    }
    FeedSink(0, pixels, width, height, stride);
    ASSERT_TRUE(WaitFor([&] { return FrameDrawnFor(0); }));

    const auto draws = recorder.FrameDraws();
    EXPECT_TRUE(draws.front().hasPainter && draws.front().hasRect);
    EXPECT_FALSE(FrameDrawnFor(1));  // nothing shown there, nothing drawn

    const QImage shown = Grab(0);
    ASSERT_EQ(shown.size(), QSize(320, 240));
    EXPECT_EQ(PixelAt(shown, 40, 120), kRed);
    EXPECT_EQ(PixelAt(shown, 280, 120), kBlue);
    EXPECT_EQ(PixelAt(Grab(1), 160, 120), 0u);  // the other window stays black
}

TEST_F(SorquinPictureTest, SinkRefusesUnsoundPicturesAndSurvivesItsWindow)
{
    auto* sink = static_cast<SorquinVideoSink*>(sorquin->GetWindowHandle(0));
    ASSERT_NE(sink, nullptr);
    const std::vector<uint32_t> pixels = SolidPicture(8, 8, kGreen);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pixels.data());
    struct Case {
        const char* what;
        const uint8_t* data;
        int width, height, stride;
    };
    const Case refused[] = {
        {"null picture", nullptr, 8, 8, 32},  {"stride below the width", bytes, 8, 8, 28},
        {"no width", bytes, 0, 8, 32},        {"negative height", bytes, 8, -1, 32},
        {"absurd size", bytes, 100000, 8, 400000},
    };
    for (const Case& c : refused) {
        sink->draw(sink->user, c.data, c.width, c.height, c.stride);
        EXPECT_TRUE(sorquin->GetSnapshotData(0).empty()) << c.what;
    }

    // A removed window's sink drops pictures; the same window laid out again uses it again.
    ASSERT_NE(Layout(1, 1, 0, 0, 640, 240).find("true"), std::string::npos);
    auto* sink1 = static_cast<SorquinVideoSink*>(sorquin->GetWindowHandle(0));
    ASSERT_NE(Layout(1, 2, 0, 0, 640, 240).find("true"), std::string::npos);
    EXPECT_EQ(sink1, sink);
    ASSERT_NE(Layout(1, 1, 0, 0, 640, 240).find("true"), std::string::npos);
    EXPECT_EQ(sorquin->GetWindowHandle(1), nullptr);
    ASSERT_NE(Layout(1, 2, 0, 0, 640, 240).find("true"), std::string::npos);
    EXPECT_TRUE(sorquin->GetSnapshotData(1).empty());
}

TEST_F(SorquinPictureTest, ShowFrameChecksItsPictureAndClearsOnNull)
{
    const std::vector<uint32_t> pixels = SolidPicture(16, 8, kGreen);
    const auto* bytes = reinterpret_cast<const unsigned char*>(pixels.data());
    const long size = long(pixels.size() * 4);
    const SorquinFrameInfo good{16, 8, kSorquinFormatRgb32, 25, 7};
    const SorquinFrameInfo wrongFormat{16, 8, 3, 25, 7};
    const SorquinFrameInfo tooTall{16, 9, kSorquinFormatRgb32, 25, 7};
    struct Case {
        const char* what;
        int winID;
        long size;
        const SorquinFrameInfo* info;
    };
    const Case refused[] = {
        {"unknown window", 5, size, &good},     {"no description", 0, size, nullptr},
        {"buffer too small", 0, size - 1, &good}, {"taller than the buffer", 0, size, &tooTall},
        {"other pixel format", 0, size, &wrongFormat},
    };
    for (const Case& c : refused) {
        EXPECT_FALSE(sorquin->ShowFrame(c.winID, bytes, c.size, 1, c.info)) << c.what;
    }
    EXPECT_TRUE(sorquin->GetSnapshotData(0).empty());

    ASSERT_TRUE(sorquin->ShowFrame(0, bytes, size, 1, &good));
    ASSERT_TRUE(WaitFor([&] { return FrameDrawnFor(0); }));
    EXPECT_EQ(recorder.FrameDraws().back().frameId, 7);
    EXPECT_EQ(PixelAt(Grab(0), 100, 100), kGreen);

    EXPECT_TRUE(sorquin->ShowFrame(0, nullptr, 0, 1, nullptr));
    EXPECT_EQ(PixelAt(Grab(0), 100, 100), 0u);
    EXPECT_TRUE(sorquin->GetSnapshotData(0).empty());
}

TEST_F(SorquinPictureTest, VideoStateOffClearsThePicture)
{
    ASSERT_TRUE(ShowSolid(1, 4, 4, kBlue, 1));
    EXPECT_FALSE(sorquin->GetSnapshotData(1).empty());
    sorquin->SetVideoState(1, true);
    EXPECT_FALSE(sorquin->GetSnapshotData(1).empty());
    sorquin->SetVideoState(1, false);
    EXPECT_TRUE(sorquin->GetSnapshotData(1).empty());
    EXPECT_EQ(PixelAt(Grab(1), 10, 10), 0u);
    // Pictures after that are shown again.
    ASSERT_TRUE(ShowSolid(1, 4, 4, kRed, 2));
    EXPECT_EQ(PixelAt(Grab(1), 10, 10), kRed);
}

TEST_F(SorquinPictureTest, SnapshotsWriteTheLastPicture)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string base = folder.path().toStdString() + "/shot";
    EXPECT_FALSE(sorquin->SaveSnapshot(0, Json::Value()));  // nothing shown yet
    ASSERT_TRUE(ShowSolid(0, 32, 24, kRed, 3));

    struct Case {
        const char* format;
        bool written;
    };
    const Case cases[] = {{"jpg", true}, {"bmp", true}, {"png", true}, {"gif", false}, {nullptr, true}};
    int index = 0;
    for (const Case& c : cases) {
        Json::Value element(Json::objectValue);
        const std::string fileName = base + std::to_string(index++) + "." + (c.format ? c.format : "none");
        element["fileName"] = fileName;
        if (c.format != nullptr) {
            element["format"] = c.format;
        }
        element["quality"] = 90;
        EXPECT_EQ(sorquin->SaveSnapshot(0, element), c.written) << fileName;
        const QImage written(QString::fromStdString(fileName));
        EXPECT_EQ(!written.isNull(), c.written) << fileName;
        if (!written.isNull()) {
            EXPECT_EQ(written.size(), QSize(32, 24));
            const QRgb centre = written.pixel(16, 12);
            EXPECT_GT(qRed(centre), 240);
            EXPECT_LT(qGreen(centre) + qBlue(centre), 30);
        }
    }
    // Unsound elements write nothing.
    Json::Value noName(Json::objectValue);
    noName["format"] = "jpg";
    EXPECT_FALSE(sorquin->SaveSnapshot(0, noName));
    EXPECT_FALSE(sorquin->SaveSnapshot(0, Json::Value("not an object")));
    Json::Value badFolder(Json::objectValue);
    badFolder["fileName"] = base + "/missing/folder/shot.jpg";
    EXPECT_FALSE(sorquin->SaveSnapshot(0, badFolder));
    Json::Value unknownWindow(Json::objectValue);
    unknownWindow["fileName"] = base + "-none.jpg";
    EXPECT_FALSE(sorquin->SaveSnapshot(9, unknownWindow));
}

TEST_F(SorquinPictureTest, SnapshotDataIsAPngDataUrlOfThePicture)
{
    ASSERT_TRUE(ShowSolid(1, 10, 6, kGreen, 4));
    const std::string data = sorquin->GetSnapshotData(1);
    const std::string prefix = "data:image/png;base64,";
    ASSERT_EQ(data.compare(0, prefix.size(), prefix), 0);
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(QByteArray::fromBase64(QByteArray::fromStdString(data.substr(prefix.size()))),
                                     "PNG"));
    EXPECT_EQ(decoded.size(), QSize(10, 6));
    EXPECT_EQ(PixelAt(decoded, 5, 3), kGreen);
}

TEST_F(SorquinPictureTest, PlayersFeedWhileThePageRelaysOut)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> players;
    for (int p = 0; p < 3; ++p) {
        players.emplace_back([&, p] {
            const std::vector<uint32_t> pixels = SolidPicture(64, 48, kBlue);
            const SorquinFrameInfo info{64, 48, kSorquinFormatRgb32, 25, 1};
            while (!stop) {
                for (int winID = 0; winID < 4; ++winID) {
                    if (p == 0) {
                        if (auto* sink = static_cast<SorquinVideoSink*>(sorquin->GetWindowHandle(winID))) {
                            sink->draw(sink->user, reinterpret_cast<const uint8_t*>(pixels.data()), 64, 48, 256);
                        }
                    } else {
                        sorquin->ShowFrame(winID, reinterpret_cast<const unsigned char*>(pixels.data()),
                                           long(pixels.size() * 4), 1, &info);
                        sorquin->SetVideoState(winID, p == 1);
                    }
                }
            }
        });
    }
    for (int round = 0; round < 40; ++round) {
        Layout(round % 2 ? 2 : 1, 2, 0, 0, 320, 240);
        QApplication::processEvents();
    }
    stop = true;
    for (std::thread& player : players) {
        player.join();
    }
    QApplication::processEvents();
    EXPECT_TRUE(sorquin->IsWindowValid(3));
}

}  // namespace
