#include <thread>

#include <QPointer>
#include <QTest>

#include "sorquinfixture.h"

namespace {

const char kTrue[] = "\"result\" : true";
const char kFalse[] = "\"result\" : false";

TEST_F(SorquinTest, RegistersItselfItsSignalsAndItsLayoutMethod)
{
    for (const char* name : {"frameDrawSignal", "ViewNodeChange", "SwitchWndSignal", "DisConnectAllSignal"}) {
        EXPECT_EQ(Host().SignalCount(name), 1) << name;
    }
    EXPECT_EQ(Host().MethodNames(), std::vector<std::string>{"setVideoWindowLayout"});
}

TEST_F(SorquinTest, LayoutTilesTheRectangleRowByRow)
{
    struct Case {
        int rows, columns, left, top, width, height;
        std::vector<QRect> cells;
    };
    const Case cases[] = {
        {1, 1, 0, 0, 640, 480, {QRect(0, 0, 640, 480)}},
        {2, 2, 10, 20, 400, 300,
         {QRect(10, 20, 200, 150), QRect(210, 20, 200, 150), QRect(10, 170, 200, 150), QRect(210, 170, 200, 150)}},
        // Uneven splits leave no gap and no overlap.
        {1, 3, 0, 0, 100, 50, {QRect(0, 0, 33, 50), QRect(33, 0, 33, 50), QRect(66, 0, 34, 50)}},
        {3, 1, 5, 5, 10, 10, {QRect(5, 5, 10, 3), QRect(5, 8, 10, 3), QRect(5, 11, 10, 4)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.columns));
        ASSERT_NE(Layout(c.rows, c.columns, c.left, c.top, c.width, c.height).find(kTrue), std::string::npos);
        for (int winID = 0; winID < int(c.cells.size()); ++winID) {
            EXPECT_TRUE(sorquin->IsWindowValid(winID));
            QWidget* widget = sorquin->GetWindowWidget(winID);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->parentWidget(), content.get());
            EXPECT_EQ(widget->geometry(), c.cells[winID]) << "window " << winID;
            EXPECT_TRUE(widget->isVisible());
        }
        const int past = int(c.cells.size());
        EXPECT_FALSE(sorquin->IsWindowValid(past));
        EXPECT_EQ(sorquin->GetWindowWidget(past), nullptr);
        EXPECT_EQ(sorquin->GetWindowHandle(past), nullptr);
    }
    EXPECT_FALSE(sorquin->IsWindowValid(-1));
}

// The windows of a 4, 9 or 16 grid are told apart by a line along each shared edge, while
// the inside of a window without a picture stays black.
TEST_F(SorquinTest, WindowsOfAGridAreDrawnApartByALine)
{
    for (int side : {2, 3, 4}) {
        SCOPED_TRACE(std::to_string(side * side) + " windows");
        ASSERT_NE(Layout(side, side, 0, 0, 640, 480).find(kTrue), std::string::npos);
        ASSERT_TRUE(WaitFor([&] { return sorquin->GetWindowWidget(side * side - 1) != nullptr; }));
        const QImage shown = content->grab().toImage();
        const auto lit = [&](int x, int y) { return PixelAt(shown, x, y) != 0u; };
        for (int i = 1; i < side; ++i) {
            const int x = 640 * i / side, y = 480 * i / side;
            const int middleX = 640 / (2 * side), middleY = 480 / (2 * side);
            EXPECT_TRUE(lit(x - 1, middleY) && lit(x, middleY)) << "no line left of x " << x;
            EXPECT_TRUE(lit(middleX, y - 1) && lit(middleX, y)) << "no line above y " << y;
            EXPECT_FALSE(lit(x - 640 / (2 * side), middleY)) << "window inside not black";
        }
    }
}

TEST_F(SorquinTest, BadLayoutsAreRefusedAndChangeNothing)
{
    ASSERT_NE(Layout(2, 2, 0, 0, 400, 300).find(kTrue), std::string::npos);
    recorder.TakeEvents();
    struct Case {
        const char* what;
        int rows, columns, width, height;
    };
    const Case cases[] = {
        {"no rows", 0, 2, 400, 300},          {"negative columns", 2, -1, 400, 300},
        {"too many windows", 9, 8, 400, 300}, {"huge rows", 1 << 20, 1 << 20, 400, 300},
        {"no width", 2, 2, 0, 300},           {"negative height", 2, 2, 400, -5},
    };
    for (const Case& c : cases) {
        EXPECT_NE(Layout(c.rows, c.columns, 0, 0, c.width, c.height).find(kFalse), std::string::npos) << c.what;
    }
    // A parameter of the wrong type or a missing one does not reach the method.
    EXPECT_EQ(Host().CallMethod("setVideoWindowLayout",
                                "{\"rows\":\"2\",\"columns\":2,\"left\":0,\"top\":0,\"width\":1,\"height\":1}")
                  .find("result"),
              std::string::npos);
    EXPECT_EQ(Host().CallMethod("setVideoWindowLayout", "{\"rows\":2,\"columns\":2}").find("result"),
              std::string::npos);

    EXPECT_TRUE(recorder.TakeEvents().empty());
    for (int winID = 0; winID < 4; ++winID) {
        EXPECT_TRUE(sorquin->IsWindowValid(winID));
        EXPECT_EQ(sorquin->GetWindowWidget(winID)->geometry().size(), QSize(200, 150));
    }
}

TEST_F(SorquinTest, RelayoutReportsWindowsLeavingAndJoining)
{
    ASSERT_NE(Layout(1, 1, 0, 0, 640, 480).find(kTrue), std::string::npos);
    EXPECT_EQ(recorder.TakeEvents(), (std::vector<std::string>{"join 0"}));
    void* sink0 = sorquin->GetWindowHandle(0);
    ASSERT_NE(sink0, nullptr);

    ASSERT_NE(Layout(2, 2, 0, 0, 640, 480).find(kTrue), std::string::npos);
    EXPECT_EQ(recorder.TakeEvents(), (std::vector<std::string>{"join 1", "join 2", "join 3"}));

    ASSERT_NE(Layout(1, 2, 0, 0, 640, 480).find(kTrue), std::string::npos);
    EXPECT_EQ(recorder.TakeEvents(), (std::vector<std::string>{"leave 2", "leave 3"}));
    EXPECT_FALSE(sorquin->IsWindowValid(2));
    EXPECT_EQ(sorquin->GetWindowHandle(3), nullptr);
    EXPECT_EQ(sorquin->GetWindowHandle(0), sink0);  // a kept window keeps its sink

    // The same grid again changes only geometry.
    ASSERT_NE(Layout(1, 2, 0, 0, 320, 240).find(kTrue), std::string::npos);
    EXPECT_TRUE(recorder.TakeEvents().empty());
    EXPECT_EQ(sorquin->GetWindowWidget(1)->geometry(), QRect(160, 0, 160, 240));
}

TEST_F(SorquinTest, LayoutFromAPoolThreadReachesTheWidgetsOnTheGuiThread)
{
    std::string answer;
    std::thread caller([&] { answer = Layout(2, 3, 0, 0, 600, 400); });
    caller.join();
    ASSERT_NE(answer.find(kTrue), std::string::npos);
    // The windows exist at once; their widgets follow on the GUI thread.
    EXPECT_TRUE(sorquin->IsWindowValid(5));
    ASSERT_TRUE(WaitFor([&] { return sorquin->GetWindowWidget(5) != nullptr; }));
    EXPECT_EQ(sorquin->GetWindowWidget(5)->geometry(), QRect(400, 200, 200, 200));
}

TEST_F(SorquinTest, ReleaseDisconnectsEverythingThenRemovesEveryWindow)
{
    ASSERT_NE(Layout(1, 2, 0, 0, 640, 480).find(kTrue), std::string::npos);
    recorder.TakeEvents();
    sorquin->ReleaseWindows();
    EXPECT_EQ(recorder.TakeEvents(), (std::vector<std::string>{"disconnect all", "leave 0", "leave 1"}));
    EXPECT_FALSE(sorquin->IsWindowValid(0));
    EXPECT_EQ(sorquin->GetWindowWidget(0), nullptr);
    EXPECT_TRUE(content->findChildren<QWidget*>().isEmpty());
}

TEST_F(SorquinTest, WindowsMadeBeforeTheContentWidgetAppearInIt)
{
    auto page = std::make_unique<QWidget>();
    sorquin->SetContentWidget(nullptr);
    ASSERT_NE(Layout(1, 2, 0, 0, 200, 100).find(kTrue), std::string::npos);
    EXPECT_TRUE(sorquin->IsWindowValid(1));
    EXPECT_EQ(sorquin->GetWindowWidget(1), nullptr);

    sorquin->SetContentWidget(page.get());
    ASSERT_NE(sorquin->GetWindowWidget(1), nullptr);
    EXPECT_EQ(sorquin->GetWindowWidget(1)->parentWidget(), page.get());
    sorquin->SetContentWidget(content.get());
    EXPECT_TRUE(page->findChildren<QWidget*>().isEmpty());
}

TEST_F(SorquinTest, ReleasedOnAnotherThreadIsDeletedBeforeTheModuleClears)
{
    ASSERT_NE(Layout(1, 1, 0, 0, 640, 480).find(kTrue), std::string::npos);
    QPointer<QWidget> window = sorquin->GetWindowWidget(0);
    ASSERT_FALSE(window.isNull());
    Host().ClearMethods();
    Host().ClearObjects();
    std::thread player([held = std::move(sorquin)]() mutable { held = Foundation::CSharedPtr<ISorquin>(); });
    player.join();
    // Widgets are never touched from the player's thread: the module goes on the GUI
    // thread, at the latest when it is cleared.
    EXPECT_FALSE(window.isNull());
    Module().Clear();
    EXPECT_TRUE(window.isNull());
    for (const char* name : {"frameDrawSignal", "ViewNodeChange", "SwitchWndSignal", "DisConnectAllSignal"}) {
        EXPECT_EQ(Host().SignalCount(name), 0) << name;
    }
}

TEST_F(SorquinTest, ClickingAWindowSwitchesToIt)
{
    ASSERT_NE(Layout(1, 2, 0, 0, 640, 480).find(kTrue), std::string::npos);
    recorder.TakeEvents();
    QWidget* widget = sorquin->GetWindowWidget(1);
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton);
    EXPECT_EQ(recorder.TakeEvents(), (std::vector<std::string>{"switch 1 1"}));
}

}  // namespace
