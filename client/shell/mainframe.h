#pragma once

#include <QMainWindow>
#include <QPointer>

class QPushButton;
class QVBoxLayout;
class TopToolbar;

// The frameless main window's frame: a rounded frame of its own with a
// resize border, moving and restoring by dragging the tool bar, full screen
// with a pin button that fixes or auto-hides the tool bar, and the layout
// of the tool bar, content and background. Outside compatibility mode the
// container, tool bar, content widget and pin button are frameless windows
// of their own, kept over this window in screen coordinates.
class MainFrame : public QMainWindow
{
    Q_OBJECT

public:
    // Resize regions, a bit set.
    enum Region { None = 0, Top = 1, Right = 2, Bottom = 4, Left = 8 };

    static constexpr int kBorderWidth = 4;
    static constexpr int kToolbarHeight = 40;

    MainFrame(const QString& address, bool hideAddressPart, bool compatibilityMode, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Puts the view into the content widget and watches it (see WatchView).
    void SetCentralView(QWidget* view);
    // Installs this window's event filter on the view, on everything inside
    // it and on every widget created inside it later (the web view creates
    // its input child only after the first load).
    void WatchView(QWidget* view);
    // Shows the window: maximised unless told not to, laid out, with its
    // parts shown and the mouse tracked.
    void StartUp(bool startMaximized);

    TopToolbar* Toolbar() const { return m_toolbar; }
    QWidget* Container() const { return m_container; }
    QWidget* ContentWidget() const { return m_content; }
    QWidget* BackgroundWidget() const { return m_background; }
    QPushButton* PinButton() const { return m_pinButton; }
    QWidget* View() const { return m_view; }
    bool IsCompatibilityMode() const { return m_compatibilityMode; }
    bool IsFullScreenMode() const { return m_fullScreen; }
    bool IsToolbarAutoHide() const { return m_toolbarAutoHide; }
    bool IsToolbarShown() const { return m_toolbarShown; }
    int ResizeRegion() const { return m_region; }

    int HitTestBorder(int x, int y) const;
    static int HitTestBorder(int x, int y, int width, int height, int border);
    static Qt::CursorShape CursorForRegion(int region);
    // The geometry a resize drag of region gives for the cursor at c.
    static QRect ResizeGeometry(int region, const QPoint& c, const QRect& geometry, const QSize& minimum);
    // Left edge of a maximised window restored under the cursor.
    static int RestoredLeft(int cursorX, int maxLeft, int maxWidth, int normalWidth);

signals:
    // The background widget or the window moved by dx, dy.
    void WindowMoved(int dx, int dy);
    // The view was activated (outside compatibility mode).
    void ViewActivated();
    // The window state changed (outside compatibility mode).
    void WindowStateNotice();

public slots:
    void MoveWindow(QPoint movePoint, QPoint mousePoint);
    void FullScreenCentralWnd(bool bEnable);
    void ToolbarExpandBtnToggled(bool bChecked);
    bool IsCursorInToolbarActiveArea();
    void onMinSizeWindow();
    void UpdateLayout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Shows or hides the tool bar strip and lays out again.
    void ShowToolbar();
    void HideToolbar();

private:
    bool IsView(QObject* watched) const;
    void ResizeByDrag(const QPoint& cursor);
    void SetRegion(int region);
    void DockToolbar();
    void DetachToolbar();
    void InstallFilterOn(QWidget* root);
    void RemoveFilterFrom(QWidget* root);

    bool m_compatibilityMode;
    QWidget* m_container = nullptr;
    QPushButton* m_pinButton = nullptr;
    QWidget* m_background = nullptr;
    QWidget* m_content = nullptr;
    QVBoxLayout* m_contentLayout = nullptr;
    QVBoxLayout* m_mainLayout = nullptr;
    TopToolbar* m_toolbar = nullptr;
    QPointer<QWidget> m_view;
    bool m_fullScreen = false;
    bool m_toolbarAutoHide = false;
    bool m_toolbarShown = true;
    bool m_resizing = false;
    bool m_switchingToolbar = false;
    int m_region = None;
    QPoint m_backgroundPos;
};
