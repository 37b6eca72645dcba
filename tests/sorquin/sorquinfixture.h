#pragma once
// The window module loaded through the in-memory host, with a shown page content widget
// and recorders on its host signals.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <foundation/Any.h>
#include <foundation/SharedPtr.h>
#include <foundation/TypeNames.h>

#include "ISorquin.h"
#include "modulebypath.h"

struct SignalRecorder {
    struct FrameDraw {
        long winID;
        long frameId;
        bool hasPainter;
        bool hasRect;
    };

    void OnFrameDraw(long winID, long frameId, void* painter, void* rect)
    {
        std::lock_guard<std::mutex> lock(mutex);
        frameDraws.push_back({winID, frameId, painter != nullptr, rect != nullptr});
    }
    void OnViewNode(int winID, enum __ViewListEvent event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back((event == ViewNodeJoined ? "join " : "leave ") + std::to_string(winID));
    }
    void OnSwitch(int winID, int value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back("switch " + std::to_string(winID) + " " + std::to_string(value));
    }
    void OnDisconnectAll()
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back("disconnect all");
    }

    std::vector<FrameDraw> FrameDraws()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frameDraws;
    }
    std::vector<std::string> TakeEvents()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

    std::mutex mutex;
    std::vector<FrameDraw> frameDraws;
    std::vector<std::string> events;
};

class SorquinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = std::make_unique<LoadedModule>(SORQUIN_LIBRARY_PATH);
        ASSERT_TRUE(m_module->Load()) << m_module->Error();
        sorquin = m_module->Host().QueryService<ISorquin>(Foundation::TypeName::ISorquin);
        ASSERT_TRUE(sorquin.get() != nullptr);

        Connect("frameDrawSignal", SorquinFrameDrawHandler(&recorder, &SignalRecorder::OnFrameDraw));
        Connect("ViewNodeChange", SorquinViewNodeHandler(&recorder, &SignalRecorder::OnViewNode));
        Connect("SwitchWndSignal", SorquinSwitchWndHandler(&recorder, &SignalRecorder::OnSwitch));
        Connect("DisConnectAllSignal", SorquinDisconnectAllHandler(&recorder, &SignalRecorder::OnDisconnectAll));

        content = std::make_unique<QWidget>();
        content->resize(640, 480);
        content->show();
        sorquin->SetContentWidget(content.get());
    }

    void TearDown() override
    {
        sorquin = Foundation::CSharedPtr<ISorquin>();
        m_module->Unload();
        content.reset();
    }

    template <class Handler>
    void Connect(const char* name, const Handler& handler)
    {
        Foundation::Any box(handler);
        ASSERT_TRUE(m_module->Context()->ConnectSignal(name, &box)) << name;
    }

    std::string Layout(int rows, int columns, int left, int top, int width, int height)
    {
        const std::string params = "{\"rows\":" + std::to_string(rows) + ",\"columns\":" + std::to_string(columns)
                                   + ",\"left\":" + std::to_string(left) + ",\"top\":" + std::to_string(top)
                                   + ",\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height)
                                   + "}";
        return Host().CallMethod("setVideoWindowLayout", params);
    }

    static bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs) {
                return false;
            }
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // The window's widget as it paints itself now.
    QImage Grab(int winID)
    {
        QWidget* widget = sorquin->GetWindowWidget(winID);
        return widget != nullptr ? widget->grab().toImage() : QImage();
    }

    testsupport::TestHost& Host() { return m_module->Host(); }
    LoadedModule& Module() { return *m_module; }

    SignalRecorder recorder;
    Foundation::CSharedPtr<ISorquin> sorquin;
    std::unique_ptr<QWidget> content;

private:
    std::unique_ptr<LoadedModule> m_module;
};

// A width x height RGB32 picture of one colour.
inline std::vector<uint32_t> SolidPicture(int width, int height, uint32_t rgb)
{
    return std::vector<uint32_t>(size_t(width) * size_t(height), 0xff000000u | rgb);
}

inline uint32_t PixelAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xffffffu;
}
