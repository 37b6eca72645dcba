#pragma once

#include <QPoint>
#include <QUrl>
#include <QWidget>

class CustomMenu;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// Moves the cursor back onto the screen when the desktop has one screen.
void ClampCursorToScreen();

// The strip across the top of the frameless main window: logo, address
// edit, go/refresh/stop button and menu button on the left; minimise,
// maximise/restore, full screen and close on the right. It only emits;
// the main window acts.
class TopToolbar : public QWidget
{
    Q_OBJECT

public:
    enum GoBtnStatus { Go = 0, Refresh = 1, Stop = 2 };
    Q_ENUM(GoBtnStatus)

    TopToolbar(const QString& address, bool hideAddressPart, QWidget* parent);

    void SetGoBtnStatus(int status);
    void SetUrlText(const QString& text);
    void SetMaximized(bool on);
    void SetDownloadIndicator(int mode);

    // Address checks (no member state).
    static bool ValidateAddress(QString& text);
    static QString CheckIPv4Address(const QString& text);
    static QString CheckIPv6Address(const QString& text);
    static QString CheckHostAddress(const QString& text);
    static QString MatchAddress(const QString& text, const QString& addressPattern, bool bracketed);

    int GoStatus() const { return m_goStatus; }
    bool IsFullScreen() const { return m_fullScreen; }
    bool IsMaximized() const { return m_maximized; }
    CustomMenu* Menu() const { return m_menu; }

signals:
    void openUrl(TopToolbar::GoBtnStatus status, QUrl url);
    void closeUrl();
    void CloseWindow();
    void MinSizeWindow();
    void FullscreenWindow(bool bEnable);
    void MaximizeWindow();
    void RestoreWindow();
    void MoveWindow(QPoint movePoint, QPoint mousePoint);
    void ExtendMenu(bool bShow, QPoint pt);
    void ShowHistory();
    void ShowAbout();
    void ShowDownload();
    void ShowTTSSettings();
    void ShowSettings();

public slots:
    void EnterDevice();
    void LeaveDevice();
    void ClosePushed();
    void MinPushed();
    void MaxPushed();
    void FullScreenPushed();
    void DownloadPushed();
    void TTSSettingsPushed();
    void SettingsPushed();
    void MenuPushed(bool bChecked);
    void MenuHistoryPushed();
    void MenuAboutPushed();
    void UrlChanged(QString s);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetFullScreen(bool on);
    void SetFullScreenState(bool on);
    void SetMaximizedState(bool on);
    void EnsureMenu();
    void HideMenu();

    QLineEdit* m_urlEdit = nullptr;
    QWidget* m_rightGroup = nullptr;
    QWidget* m_leftGroup = nullptr;
    QToolButton* m_minButton = nullptr;
    QToolButton* m_maxButton = nullptr;
    QToolButton* m_fullScreenButton = nullptr;
    QToolButton* m_closeButton = nullptr;
    QPushButton* m_goButton = nullptr;
    QPushButton* m_menuButton = nullptr;
    QLabel* m_logo = nullptr;
    int m_buttonWidth = 33;
    int m_buttonHeight = 24;
    int m_buttonCount = 4;
    bool m_fullScreen = false;
    bool m_maximized = false;
    bool m_maximizedBeforeFullScreen = false;
    bool m_dragging = false;
    int m_lastX = 0;
    int m_lastY = 0;
    CustomMenu* m_menu = nullptr;
    bool m_menuButtonHovered = false;
    int m_goStatus = Go;
    bool m_ttsRow = false;
};

