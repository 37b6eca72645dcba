#include "mainframe.h"
#include "shellpaths.h"
#include "toptoolbar.h"
#include "custommenu.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

TEST(FrameBorder, HitTestAndCursor)
{
    const struct
    {
        QPoint p;
        int region;
        Qt::CursorShape cursor;
    } cases[] = {
        {{2, 2}, 9, Qt::SizeFDiagCursor},     {{4, 4}, 9, Qt::SizeFDiagCursor},
        {{400, 1}, 1, Qt::SizeVerCursor},     {{797, 2}, 3, Qt::SizeBDiagCursor},
        {{797, 300}, 2, Qt::SizeHorCursor},   {{796, 300}, 2, Qt::SizeHorCursor},
        {{798, 597}, 6, Qt::SizeFDiagCursor}, {{400, 599}, 4, Qt::SizeVerCursor},
        {{0, 598}, 12, Qt::SizeBDiagCursor},  {{3, 300}, 8, Qt::SizeHorCursor},
    };
    for (const auto& c : cases) {
        const int region = MainFrame::HitTestBorder(c.p.x(), c.p.y(), 800, 600, 4);
        EXPECT_EQ(region, c.region) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(MainFrame::CursorForRegion(region), c.cursor) << c.p.x() << "," << c.p.y();
    }
    EXPECT_EQ(MainFrame::CursorForRegion(0), Qt::ArrowCursor);
}

TEST(FrameBorder, ResizeGeometryKeepsTheOppositeEdge)
{
    const QRect g(100, 50, 1000, 700);
    const QSize minimum(800, 600);
    const struct
    {
        int region;
        QPoint cursor;
        QRect expected;
    } cases[] = {
        {MainFrame::Right, {1199, 300}, {100, 50, 1100, 700}},
        {MainFrame::Left, {150, 300}, {150, 50, 950, 700}},
        {MainFrame::Left, {600, 300}, {300, 50, 800, 700}}, // stops at the minimum width
        {MainFrame::Bottom, {500, 799}, {100, 50, 1000, 750}},
        {MainFrame::Top, {500, 0}, {100, 0, 1000, 750}},
        {MainFrame::Top, {500, 400}, {100, 150, 1000, 600}},
        {MainFrame::Top | MainFrame::Left, {50, 40}, {50, 40, 1050, 710}},
        {MainFrame::Bottom | MainFrame::Right, {0, 0}, {100, 50, 800, 600}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MainFrame::ResizeGeometry(c.region, c.cursor, g, minimum), c.expected) << c.region;
}

TEST(FrameMove, RestoredLeftFollowsTheCursor)
{
    // Maximised over 0..1600, normal width 1000.
    const struct
    {
        int cursorX;
        int left;
    } cases[] = {
        {100, 0},    // less than half a normal width from the left edge
        {499, 0},
        {800, 300},  // 800 - 800 * 1000 / 1600
        {1100, 413}, // 1100 - 1100 * 1000 / 1600 (integer division)
        {1101, 600}, // past width - half a normal width: right edges aligned
        {1599, 600},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MainFrame::RestoredLeft(c.cursorX, 0, 1600, 1000), c.left) << c.cursorX;
    // A maximised window on a second screen.
    EXPECT_EQ(MainFrame::RestoredLeft(2400, 1600, 1600, 1000), 1900);
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QCursor::setPos(global);
    QMouseEvent event(type, w->mapFromGlobal(global), global, button, buttons, {});
    QCoreApplication::sendEvent(w, &event);
}

class FrameTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ShellPaths::SetApplicationFolder(m_dir.path());
        m_frame.reset(new MainFrame("10.0.0.2", false, GetParam()));
        m_view = new QWidget;
        m_frame->SetCentralView(m_view);
    }
    void TearDown() override
    {
        m_frame.reset();
        ShellPaths::SetApplicationFolder(QString());
    }

    void Activate(QWidget* w)
    {
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(w, &activate);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainFrame> m_frame;
    QWidget* m_view = nullptr;
};

TEST_P(FrameTest, ResizeByDraggingTheLeftEdge)
{
    m_frame->setGeometry(0, 0, 1000, 600);
    m_frame->StartUp(false);
    m_frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    const QPoint origin = m_frame->geometry().topLeft();

    SendMouse(m_frame.get(), QEvent::MouseMove, origin + QPoint(400, 300), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(m_frame->ResizeRegion(), 0);
    EXPECT_EQ(m_frame->cursor().shape(), Qt::ArrowCursor);

    SendMouse(m_frame.get(), QEvent::MouseMove, origin + QPoint(2, 300), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(m_frame->ResizeRegion(), MainFrame::Left);
    EXPECT_EQ(m_frame->cursor().shape(), Qt::SizeHorCursor);

    SendMouse(m_frame.get(), QEvent::MouseButtonPress, origin + QPoint(2, 300), Qt::LeftButton, Qt::LeftButton);
    SendMouse(m_frame.get(), QEvent::MouseMove, origin + QPoint(100, 300), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m_frame->geometry(), QRect(origin + QPoint(100, 0), QSize(900, 600)));
    SendMouse(m_frame.get(), QEvent::MouseMove, origin + QPoint(700, 300), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(m_frame->geometry(), QRect(origin + QPoint(200, 0), QSize(800, 600)));
    SendMouse(m_frame.get(), QEvent::MouseButtonRelease, origin + QPoint(700, 300), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(m_frame->ResizeRegion(), 0);
    EXPECT_EQ(m_frame->cursor().shape(), Qt::ArrowCursor);

    // The parts follow: container inside the border, tool bar strip on top.
    const QRect container = m_frame->Container()->geometry();
    EXPECT_EQ(container, m_frame->geometry().adjusted(4, 4, -4, -4));
    EXPECT_EQ(m_frame->Toolbar()->mapToGlobal(QPoint(0, 0)), container.topLeft());
    EXPECT_EQ(m_frame->Toolbar()->size(), QSize(container.width(), 40));
    EXPECT_EQ(m_frame->BackgroundWidget()->geometry(), QRect(0, 40, container.width(), container.height() - 40));
}

TEST_P(FrameTest, ToolbarDragMovesTheWindow)
{
    m_frame->setGeometry(10, 10, 800, 600);
    m_frame->StartUp(false);
    m_frame->show();
    QSignalSpy moved(m_frame.get(), &MainFrame::WindowMoved);
    emit m_frame->Toolbar()->MoveWindow(QPoint(30, 20), QPoint(300, 40));
    EXPECT_EQ(m_frame->pos(), QPoint(40, 30));
    ASSERT_GE(moved.size(), 1);
    EXPECT_EQ(moved.last()[0].toInt(), 30);
    EXPECT_EQ(moved.last()[1].toInt(), 20);
}

TEST_P(FrameTest, FullScreenWithAutoHiddenToolbar)
{
    m_frame->StartUp(false);
    m_frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
    QCursor::setPos(400, 300);

    m_frame->Toolbar()->FullScreenPushed();
    EXPECT_TRUE(m_frame->IsFullScreenMode());
    EXPECT_TRUE(m_frame->IsToolbarAutoHide());
    EXPECT_FALSE(m_frame->IsToolbarShown());
    EXPECT_FALSE(m_frame->Toolbar()->isVisible());
    EXPECT_TRUE(m_frame->PinButton()->isVisible());
    EXPECT_EQ(m_frame->PinButton()->toolTip(), "Fixed Toolbar");
    const QRect container = m_frame->Container()->geometry();
    EXPECT_EQ(container, m_frame->geometry());

    // Asking again changes nothing.
    QSignalSpy states(m_frame->Toolbar(), &TopToolbar::FullscreenWindow);
    m_frame->FullScreenCentralWnd(true);
    EXPECT_FALSE(m_frame->IsToolbarShown());

    // Below the 4-pixel strip nothing shows; inside it any event shows the bar.
    QCursor::setPos(container.left() + 200, container.top() + 6);
    QEvent poke(QEvent::User);
    QCoreApplication::sendEvent(m_view, &poke);
    EXPECT_FALSE(m_frame->IsToolbarShown());
    QCursor::setPos(container.left() + 200, container.top() + 3);
    QCoreApplication::sendEvent(m_view, &poke);
    EXPECT_TRUE(m_frame->IsToolbarShown());
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());
    EXPECT_EQ(m_frame->Toolbar()->mapToGlobal(QPoint(0, 0)), container.topLeft());

    // Activating the view within the 40-pixel strip keeps it; below, hides it.
    QCursor::setPos(container.left() + 200, container.top() + 30);
    Activate(m_view);
    EXPECT_TRUE(m_frame->IsToolbarShown());
    QCursor::setPos(container.left() + 200, container.top() + 300);
    Activate(m_view);
    EXPECT_FALSE(m_frame->IsToolbarShown());
    EXPECT_FALSE(m_frame->Toolbar()->isVisible());

    // Pinning fixes the bar.
    m_frame->PinButton()->click();
    EXPECT_FALSE(m_frame->IsToolbarAutoHide());
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());
    EXPECT_EQ(m_frame->PinButton()->toolTip(), "Hidden Toolbar");
    EXPECT_EQ(m_frame->PinButton()->geometry().topLeft(),
              QPoint(container.left() + (container.width() - 60) / 2, container.top() + 40));
    Activate(m_view);
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());

    // Leaving full screen shows the bar and hides the pin.
    m_frame->PinButton()->click();
    EXPECT_FALSE(m_frame->Toolbar()->isVisible());
    m_frame->Toolbar()->FullScreenPushed();
    EXPECT_FALSE(m_frame->IsFullScreenMode());
    EXPECT_TRUE(m_frame->IsToolbarShown());
    EXPECT_FALSE(m_frame->IsToolbarAutoHide());
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());
    EXPECT_FALSE(m_frame->PinButton()->isVisible());
    EXPECT_EQ(m_frame->Toolbar()->height(), 40);
}

TEST_P(FrameTest, FullScreenWithFixedToolbar)
{
    m_frame->StartUp(false);
    m_frame->show();
    m_frame->PinButton()->setChecked(true);
    m_frame->FullScreenCentralWnd(true);
    EXPECT_TRUE(m_frame->isFullScreen());
    EXPECT_FALSE(m_frame->IsToolbarAutoHide());
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());
    QCursor::setPos(400, 400);
    Activate(m_view);
    EXPECT_TRUE(m_frame->Toolbar()->isVisible());
}

TEST_P(FrameTest, InputChildCreatedLaterIsWatched)
{
    m_frame->StartUp(false);
    m_frame->show();
    m_frame->Toolbar()->MenuPushed(true);
    ASSERT_TRUE(m_frame->Toolbar()->Menu()->isVisible());

    // The web view creates its input child after the first load.
    auto* input = new QWidget(m_view);
    QSignalSpy activated(m_frame.get(), &MainFrame::ViewActivated);
    Activate(input);
    EXPECT_EQ(activated.size(), GetParam() ? 0 : 1);
    EXPECT_FALSE(m_frame->Toolbar()->Menu()->isVisible());

    auto* nested = new QWidget(input);
    m_frame->Toolbar()->MenuPushed(true);
    Activate(nested);
    EXPECT_FALSE(m_frame->Toolbar()->Menu()->isVisible());
}

TEST_P(FrameTest, StateChangesAndResizeCloseTheMenu)
{
    m_frame->StartUp(false);
    m_frame->show();
    QSignalSpy states(m_frame.get(), &MainFrame::WindowStateNotice);
    m_frame->Toolbar()->MaxPushed();
    EXPECT_TRUE(m_frame->isMaximized());
    EXPECT_EQ(states.isEmpty(), GetParam());

    m_frame->Toolbar()->MenuPushed(true);
    m_frame->Toolbar()->MaxPushed();
    m_frame->resize(900, 650);
    EXPECT_FALSE(m_frame->Toolbar()->Menu()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Modes, FrameTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Compatibility" : "SeparateWindows";
                         });

} // namespace
