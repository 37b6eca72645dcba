#pragma once

#include <QPoint>
#include <QUrl>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QToolButton;

// The strip across the top of the main window: address edit, go button
// (go, refresh or stop), window buttons. It only emits signals.
class TopToolbar : public QWidget
{
    Q_OBJECT

public:
    enum GoBtnStatus { Go = 0, Refresh = 1, Stop = 2 };
    Q_ENUM(GoBtnStatus)

    TopToolbar(const QString& address, bool hideAddressPart, QWidget* parent = nullptr);

    QString Address() const;
    void SetAddress(const QString& text);
    GoBtnStatus GoStatus() const { return m_goStatus; }
    void SetGoBtnStatus(GoBtnStatus status);
    // Sets the maximised state; true emits MaximizeWindow, false RestoreWindow.
    void SetMaximized(bool maximized);
    void SetDownloadIndicator(bool on);

signals:
    void openUrl(TopToolbar::GoBtnStatus status, QUrl url);
    void closeUrl();
    void CloseWindow();
    void MinSizeWindow();
    void FullscreenWindow(bool bEnable);
    void MaximizeWindow();
    void RestoreWindow();
    void MoveWindow(const QPoint& movePoint, const QPoint& mousePoint);
    void ShowHistory();
    void ShowAbout();
    void ShowDownload();
    void ShowTTSSettings();
    void ShowSettings();

public slots:
    // Checks the address in the edit and emits openUrl for an accepted one.
    void EnterDevice();
    void LeaveDevice();
    void ClosePushed();
    void MinPushed();
    void MaxPushed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QToolButton* CreateWindowButton(const QString& stem, const char* tip);

    QLineEdit* m_address = nullptr;
    QPushButton* m_goButton = nullptr;
    QToolButton* m_maxButton = nullptr;
    GoBtnStatus m_goStatus = Go;
    bool m_maximized = false;
    bool m_dragging = false;
    QPoint m_lastMouse;
};
