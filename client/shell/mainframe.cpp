#include "mainframe.h"

#include "toptoolbar.h"


#include <QApplication>
#include <QChildEvent>
#include <QCursor>
#include <QDesktopWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const char* const kDefaultBackgroundStyle = "QWidget{background:rgb(240,240,240);}";
const char* const kPinStyle = "QPushButton{border-image:url(:/toolbaricon/expandn.png);}"
                              "QPushButton:hover{border-image:url(:/toolbaricon/expandh.png);}"
                              "QPushButton:checked{border-image:url(:/toolbaricon/collapsen.png);}"
                              "QPushButton:hover:checked{border-image:url(:/toolbaricon/collapseh.png);}";
constexpr Qt::WindowFlags kPartFlags = Qt::Window | Qt::FramelessWindowHint;

QString MainWindowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

MainFrame::MainFrame(const QString& address, bool hideAddressPart, bool compatibilityMode, QWidget* parent)
    : QMainWindow(parent)
    , m_compatibilityMode(compatibilityMode)
{
    setMinimumSize(800, 600);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry().adjusted(50, 50, -50, -50);
        resize(area.size());
        move(50, 50);
    }
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);

    m_container = new QWidget(this, kPartFlags);
    m_pinButton = new QPushButton(m_container);
    m_pinButton->setWindowFlags(kPartFlags);
    m_pinButton->setAttribute(Qt::WA_TranslucentBackground);
    m_pinButton->setCheckable(true);
    m_pinButton->setToolTip(MainWindowText("Fixed Toolbar"));
    m_pinButton->setFixedSize(60, 10);
    m_pinButton->setStyleSheet(kPinStyle);

    m_background = new QWidget(m_container);
    m_background->move(0, kToolbarHeight);
    m_background->setStyleSheet(kDefaultBackgroundStyle);

    m_content = new QWidget(m_container);
    m_content->setAttribute(Qt::WA_TranslucentBackground);
    m_contentLayout = new QVBoxLayout(m_content);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);

    m_toolbar = new TopToolbar(address, hideAddressPart, m_container);
    m_toolbar->setMinimumHeight(kToolbarHeight);
    m_toolbar->setMaximumHeight(kToolbarHeight);

    if (!m_compatibilityMode) {
        m_content->setWindowFlags(kPartFlags);
        m_toolbar->setWindowFlags(kPartFlags);
    } else {
        m_mainLayout = new QVBoxLayout(m_container);
        m_mainLayout->setContentsMargins(0, 0, 0, 0);
        m_mainLayout->setSpacing(0);
        m_mainLayout->addWidget(m_toolbar);
        m_mainLayout->addWidget(m_content);
    }

    InstallFilterOn(this);

    connect(m_pinButton, &QPushButton::toggled, this, &MainFrame::ToolbarExpandBtnToggled);
    connect(m_toolbar, &TopToolbar::CloseWindow, this, &QWidget::close);
    connect(m_toolbar, &TopToolbar::MinSizeWindow, this, &MainFrame::onMinSizeWindow);
    connect(m_toolbar, &TopToolbar::MaximizeWindow, this, &QWidget::showMaximized);
    connect(m_toolbar, &TopToolbar::RestoreWindow, this, &QWidget::showNormal);
    connect(m_toolbar, &TopToolbar::FullscreenWindow, this, &MainFrame::FullScreenCentralWnd);
    connect(m_toolbar, &TopToolbar::MoveWindow, this, &MainFrame::MoveWindow);
}

MainFrame::~MainFrame()
{
    RemoveFilterFrom(this);
    if (m_view)
        RemoveFilterFrom(m_view);
}

void MainFrame::InstallFilterOn(QWidget* root)
{
    root->installEventFilter(this);
    for (QWidget* w : root->findChildren<QWidget*>())
        w->installEventFilter(this);
}

void MainFrame::RemoveFilterFrom(QWidget* root)
{
    root->removeEventFilter(this);
    for (QWidget* w : root->findChildren<QWidget*>())
        w->removeEventFilter(this);
}

void MainFrame::SetCentralView(QWidget* view)
{
    m_contentLayout->addWidget(view);
    WatchView(view);
}

void MainFrame::WatchView(QWidget* view)
{
    m_view = view;
    InstallFilterOn(view);
    view->setMouseTracking(true);
}

void MainFrame::StartUp(bool startMaximized)
{
    if (startMaximized)
        m_toolbar->SetMaximized(true);
    UpdateLayout();
    m_content->show();
    m_toolbar->show();
    m_container->show();
    setMouseTracking(true);
    m_container->setMouseTracking(true);
    if (m_view)
        m_view->setMouseTracking(true);
}

bool MainFrame::IsView(QObject* watched) const
{
    if (!m_view || !watched->isWidgetType())
        return false;
    auto* w = static_cast<QWidget*>(watched);
    return w == m_view || m_view->isAncestorOf(w);
}

// ---- border, cursor and resize by drag ----

int MainFrame::HitTestBorder(int x, int y, int w, int h, int b)
{
    if (y <= b)
        return x <= b ? (Top | Left) : x >= w - b ? (Top | Right) : Top;
    if (y >= h - b)
        return x <= b ? (Bottom | Left) : x >= w - b ? (Bottom | Right) : Bottom;
    return x <= b ? Left : Right;
}

int MainFrame::HitTestBorder(int x, int y) const
{
    return HitTestBorder(x, y, width(), height(), kBorderWidth);
}

Qt::CursorShape MainFrame::CursorForRegion(int region)
{
    switch (region) {
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case Right:
    case Left:
        return Qt::SizeHorCursor;
    case Bottom | Right:
    case Top | Left:
        return Qt::SizeFDiagCursor;
    case Top | Right:
    case Bottom | Left:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

namespace {

bool InBorder(const QRect& r, const QPoint& p, int b)
{
    return r.contains(p) && !r.adjusted(b, b, -b, -b).contains(p);
}

} // namespace

void MainFrame::SetRegion(int region)
{
    m_region = region;
    setCursor(CursorForRegion(region));
}

QRect MainFrame::ResizeGeometry(int region, const QPoint& c, const QRect& geometry, const QSize& minimum)
{
    const QPoint p = geometry.topLeft();
    const int w = geometry.width();
    const int h = geometry.height();
    int newW = w;
    int newH = h;
    int x = p.x();
    int y = p.y();
    if (region & Right)
        newW = c.x() - p.x() + 1;
    if (region & Left)
        newW = w - (c.x() - p.x());
    if (region & Bottom)
        newH = c.y() - p.y() + 1;
    if (region & Top)
        newH = h - (c.y() - p.y());
    newW = qMax(newW, minimum.width());
    newH = qMax(newH, minimum.height());
    if (region & Left)
        x = p.x() + w - newW;
    if (region & Top)
        y = p.y() + h - newH;
    return QRect(x, y, newW, newH);
}

void MainFrame::ResizeByDrag(const QPoint& cursor)
{
    const QRect g = ResizeGeometry(m_region, cursor, geometry(), minimumSize());
    resize(g.size());
    if (m_region & (Left | Top))
        move(g.topLeft());
}

void MainFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !isMaximized() && InBorder(rect(), event->pos(), kBorderWidth)) {
        m_resizing = true;
        if (m_region == None)
            SetRegion(HitTestBorder(event->pos().x(), event->pos().y()));
    }
    QMainWindow::mousePressEvent(event);
}

void MainFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_resizing) {
        if (!isMaximized() && InBorder(rect(), event->pos(), kBorderWidth))
            SetRegion(HitTestBorder(event->pos().x(), event->pos().y()));
        else
            SetRegion(None);
    } else if (event->buttons() & Qt::LeftButton) {
        ResizeByDrag(event->globalPos());
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainFrame::mouseReleaseEvent(QMouseEvent* event)
{
    m_resizing = false;
    SetRegion(None);
    QMainWindow::mouseReleaseEvent(event);
}

// ---- moving by the tool bar ----

int MainFrame::RestoredLeft(int cursorX, int maxLeft, int maxWidth, int normalWidth)
{
    const int offset = cursorX - maxLeft;
    if (offset < normalWidth / 2)
        return maxLeft;
    if (offset > maxWidth - normalWidth / 2)
        return maxLeft + maxWidth - normalWidth;
    return cursorX - offset * normalWidth / maxWidth;
}

void MainFrame::MoveWindow(QPoint movePoint, QPoint mousePoint)
{
    if (!isMaximized()) {
        move(pos() + movePoint);
        return;
    }
    const QRect maxGeometry = geometry();
    const QRect normal = normalGeometry();
    const int left = RestoredLeft(mousePoint.x(), maxGeometry.left(), maxGeometry.width(), normal.width());
    m_toolbar->SetMaximized(false);
    hide();
    setGeometry(left, maxGeometry.top(), normal.width(), normal.height());
    show();
}

void MainFrame::onMinSizeWindow()
{
    showMinimized();
}

// ---- full screen and the tool bar strip ----

void MainFrame::DockToolbar()
{
    if (!m_compatibilityMode)
        return;
    m_toolbar->setWindowFlags(Qt::Widget);
    m_mainLayout->insertWidget(0, m_toolbar);
}

void MainFrame::DetachToolbar()
{
    if (!m_compatibilityMode)
        return;
    m_mainLayout->removeWidget(m_toolbar);
    m_toolbar->setWindowFlags(kPartFlags);
}

void MainFrame::ShowToolbar()
{
    const QScopedValueRollback<bool> guard(m_switchingToolbar, true);
    m_toolbarShown = true;
    if (m_toolbarAutoHide)
        DetachToolbar();
    else
        DockToolbar();
    m_toolbar->show();
    UpdateLayout();
}

void MainFrame::HideToolbar()
{
    const QScopedValueRollback<bool> guard(m_switchingToolbar, true);
    m_toolbarShown = false;
    DetachToolbar();
    m_toolbar->hide();
    UpdateLayout();
}

void MainFrame::FullScreenCentralWnd(bool bEnable)
{
    if (bEnable == m_fullScreen)
        return;
    m_fullScreen = bEnable;
    if (bEnable) {
        ToolbarExpandBtnToggled(m_pinButton->isChecked());
        showNormal();
        showFullScreen();
        m_pinButton->show();
    } else {
        m_pinButton->hide();
        m_toolbarShown = true;
        m_toolbarAutoHide = false;
        DockToolbar();
        m_toolbar->show();
        UpdateLayout();
        showNormal();
    }
}

void MainFrame::ToolbarExpandBtnToggled(bool bChecked)
{
    if (bChecked) {
        m_toolbarAutoHide = false;
        m_pinButton->setToolTip(MainWindowText("Hidden Toolbar"));
        ShowToolbar();
    } else {
        m_toolbarAutoHide = true;
        m_pinButton->setToolTip(MainWindowText("Fixed Toolbar"));
        HideToolbar();
    }
}

bool MainFrame::IsCursorInToolbarActiveArea()
{
    const QPoint c = QCursor::pos();
    const QRect area(m_container->mapToGlobal(QPoint(0, 0)), m_container->size());
    const int depth = m_toolbar->isVisible() ? kToolbarHeight : kBorderWidth;
    return c.x() >= area.left() && c.x() <= area.right() && c.y() >= area.top() && c.y() <= area.top() + depth;
}

void MainFrame::UpdateLayout()
{
    if (!m_toolbar)
        return;
    const int b = m_fullScreen ? 0 : kBorderWidth;
    const QRect area = geometry().adjusted(b, b, -b, -b);
    m_container->setGeometry(area);

    const int strip = m_toolbarShown ? kToolbarHeight : 0;
    if (m_fullScreen)
        m_pinButton->move(area.left() + (area.width() - m_pinButton->width()) / 2, area.top() + strip);

    if (!m_compatibilityMode) {
        m_toolbar->setGeometry(area.left(), area.top(), area.width(), kToolbarHeight);
        m_content->setGeometry(area.left(), area.top() + strip, area.width(), area.height() - strip);
    } else if (m_toolbarAutoHide) {
        m_toolbar->setGeometry(area.left(), area.top(), area.width(), kToolbarHeight);
    }

    m_background->setGeometry(0, kToolbarHeight, area.width(), area.height() - kToolbarHeight);
    const QPoint moved = m_background->pos() - m_backgroundPos;
    m_backgroundPos = m_background->pos();
    if (!moved.isNull())
        emit WindowMoved(moved.x(), moved.y());
}

// ---- events ----

bool MainFrame::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (!m_toolbar)
        return QMainWindow::eventFilter(watched, event);
    const bool view = IsView(watched);

    if (view && type == QEvent::ChildAdded) {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType())
            InstallFilterOn(static_cast<QWidget*>(child));
    }
    if (!m_compatibilityMode && view && type == QEvent::WindowActivate) {
        emit ViewActivated();
        m_toolbar->raise();
        m_pinButton->raise();
    }
    if (type == QEvent::Enter && (watched == m_toolbar || watched == m_container))
        SetRegion(None);
    if (type == QEvent::WindowActivate && (view || watched == m_pinButton))
        m_toolbar->MenuPushed(false);
    if (m_switchingToolbar) {
        // Events raised while the strip is being shown or hidden.
    } else if (m_toolbarAutoHide && view && type == QEvent::WindowActivate && m_toolbar->isVisible()
        && !IsCursorInToolbarActiveArea()) {
        HideToolbar();
    } else if (m_toolbarAutoHide && !m_toolbarShown && type != QEvent::ChildAdded
               && IsCursorInToolbarActiveArea()) {
        ShowToolbar();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrame::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(222, 222, 222, 255));
    painter.setPen(Qt::transparent);
    painter.drawRoundedRect(rect(), 4.0, 4.0, Qt::AbsoluteSize);
    painter.end();
    QMainWindow::paintEvent(event);
}

void MainFrame::moveEvent(QMoveEvent* event)
{
    UpdateLayout();
    const QPoint moved = event->pos() - event->oldPos();
    emit WindowMoved(moved.x(), moved.y());
    QMainWindow::moveEvent(event);
}

void MainFrame::resizeEvent(QResizeEvent* event)
{
    UpdateLayout();
    if (m_toolbar)
        m_toolbar->MenuPushed(false);
    QMainWindow::resizeEvent(event);
}

void MainFrame::showEvent(QShowEvent* event)
{
    if (m_container)
        m_container->setAttribute(Qt::WA_Mapped);
    QMainWindow::showEvent(event);
}

void MainFrame::changeEvent(QEvent* event)
{
    if (!m_compatibilityMode && event->type() == QEvent::WindowStateChange)
        emit WindowStateNotice();
    QMainWindow::changeEvent(event);
}
