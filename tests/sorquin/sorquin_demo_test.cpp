// Four video windows over a page, each fed the demo device's recording through the player
// library from a different moment; the page is saved as a screenshot in the build folder.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include <QDir>

#include <foundation/JsonRead.h>

#include "playsdk.h"
#include "sorquinfixture.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The first recording of the demo device.
std::vector<uint8_t> DemoRecording()
{
    const std::string folder = std::string(DEMO_DEVICE_DIR);
    const std::vector<uint8_t> text = ReadBytes(folder + "/device.json");
    Json::Value device;
    if (!Foundation::JsonParse(std::string(text.begin(), text.end()), device)) {
        return {};
    }
    const Json::Value* recordings = Foundation::JsonFind(device, "recordings");
    if (recordings == nullptr || !recordings->isArray() || recordings->empty()) {
        return {};
    }
    const Json::Value* file = Foundation::JsonFind((*recordings)[0], "file");
    return file != nullptr ? ReadBytes(folder + "/" + Foundation::JsonStringOrEmpty(*file)) : std::vector<uint8_t>();
}

// Share of the window's pixels that differ between two grabs.
double ChangedShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) {
        return 0.0;
    }
    int64_t changed = 0;
    for (int y = 0; y < a.height(); y += 2) {
        for (int x = 0; x < a.width(); x += 2) {
            changed += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return double(changed) / double((a.height() / 2) * (a.width() / 2));
}

bool IsBlack(const QImage& image)
{
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            if ((image.pixel(x, y) & 0xffffffu) != 0) {
                return false;
            }
        }
    }
    return true;
}

TEST_F(SorquinTest, FourWindowsPlayTheDemoRecording)
{
    const std::vector<uint8_t> recording = DemoRecording();
    ASSERT_GT(recording.size(), 100000u) << "demo device missing under " << DEMO_DEVICE_DIR;

    content->resize(1280, 720);
    ASSERT_NE(Layout(2, 2, 0, 0, 1280, 720).find("true"), std::string::npos);

    // Window i starts i tenths into the file: mid-packet, so the player resynchronises.
    std::vector<int32_t> ports;
    for (int winID = 0; winID < 4; ++winID) {
        int32_t port = 0;
        ASSERT_TRUE(PLAY_GetFreePort(&port));
        ports.push_back(port);
        ASSERT_TRUE(PLAY_SetStreamOpenMode(port, PLAY_STREAM_FILE));
        ASSERT_TRUE(PLAY_OpenStream(port, nullptr, 0, 4194304));
        ASSERT_TRUE(PLAY_Play(port, sorquin->GetWindowHandle(winID)));
        const size_t start = recording.size() * size_t(winID) / 10 + 7 * size_t(winID);
        ASSERT_TRUE(PLAY_InputData(port, recording.data() + start, int32_t(recording.size() - start)));
    }

    ASSERT_TRUE(WaitFor([&] {
        for (int winID = 0; winID < 4; ++winID) {
            if (sorquin->GetSnapshotData(winID).empty()) {
                return false;
            }
        }
        return true;
    }));
    std::vector<QImage> first;
    for (int winID = 0; winID < 4; ++winID) {
        first.push_back(Grab(winID));
    }
    WaitFor([] { return false; }, 600);

    for (int winID = 0; winID < 4; ++winID) {
        const QImage later = Grab(winID);
        EXPECT_FALSE(IsBlack(later)) << "window " << winID;
        EXPECT_GT(ChangedShare(first[winID], later), 0.001) << "window " << winID << " does not move";
        // Each window shows its own moment of the recording.
        if (winID > 0) {
            EXPECT_GT(ChangedShare(Grab(winID - 1), later), 0.001) << "windows " << winID - 1 << " and " << winID;
        }
    }

    const QString shot = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("sorquin-demo-4-windows.png"));
    EXPECT_TRUE(content->grab().save(shot, "PNG")) << shot.toStdString();

    for (int32_t port : ports) {
        PLAY_Stop(port);
        PLAY_CloseStream(port);
        PLAY_ReleasePort(port);
    }
}

}  // namespace
