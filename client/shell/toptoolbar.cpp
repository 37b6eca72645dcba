#include "toptoolbar.h"

#include "addresscheck.h"
#include "custommenu.h"
#include "shellpaths.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopWidget>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QToolButton>
#include <QWidgetAction>

namespace {

const char* const kEditStyle = "QLineEdit{border-width:0;border-style:outset}";
const char* const kEditInvalidStyle = "QLineEdit{border-width:0;border-style:outset;color:red}";
const char* const kWindowButtonStyle =
    "QToolButton{border-image:url(:/toolbaricon/%1n.png);}"
    "QToolButton:hover{border-image:url(:/toolbaricon/%1h.png);}"
    "QToolButton:pressed{border-image:url(:/toolbaricon/%1s.png);}";
const char* const kGoStyle =
    "QPushButton{border-image:url(:/toolbaricon/%1n.png);}"
    "QPushButton:hover{border-image:url(:/toolbaricon/%1h.png);}"
    "QPushButton:pressed{border-image:url(:/toolbaricon/%1s.png);}"
    "QPushButton:disabled{border-image:url(:/toolbaricon/%1d.png);}";
const char* const kMenuButtonStyle =
    "QPushButton{border-image:url(:/toolbaricon/%1.png);}"
    "QPushButton:hover{border-image:url(:/toolbaricon/%2.png);}"
    "QPushButton:pressed{border-image:url(:/toolbaricon/%3.png);}"
    "QPushButton:checked{border-image:url(:/toolbaricon/%3.png);}"
    "QPushButton:hover:checked{border-image:url(:/toolbaricon/%3.png);}"
    "QPushButton:pressed:checked{border-image:url(:/toolbaricon/%3.png);}";
const char* const kLogoStyle = "background-color:rgb(255,255,255)";
const char* const kLogoHiddenStyle = "background-color:rgb(222,222,222)";

constexpr int kMenuWidth = 150;

QString WindowButtonStyle(const char* stem)
{
    return QString(kWindowButtonStyle).arg(stem);
}

QString MenuButtonStyle(bool marked)
{
    return marked ? QString(kMenuButtonStyle).arg("menunw", "menuhw", "menusw")
                  : QString(kMenuButtonStyle).arg("menun", "menuh", "menus");
}

QToolButton* MakeWindowButton(QWidget* parent, const QString& tip, const char* stem, int w, int h)
{
    auto* button = new QToolButton(parent);
    button->setToolTip(tip);
    button->setStyleSheet(WindowButtonStyle(stem));
    button->setFixedSize(w, h);
    return button;
}

} // namespace

void ClampCursorToScreen()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() != 1)
        return;
    const QRect area = screens.first()->availableGeometry();
    QPoint pos = QCursor::pos();
    if (pos.x() < area.left() || pos.x() > area.right()) {
        pos.setX(pos.x() < area.left() ? area.left() : area.right());
        QCursor::setPos(pos);
    } else if (pos.y() < area.top() || pos.y() > area.bottom()) {
        pos.setY(pos.y() < area.top() ? area.top() : area.bottom());
        QCursor::setPos(pos);
    }
}

TopToolbar::TopToolbar(const QString& address, bool hideAddressPart, QWidget* parent)
    : QWidget(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::All, QPalette::Window, QColor(222, 222, 222));
    setPalette(pal);

    m_rightGroup = new QWidget(this);
    m_leftGroup = new QWidget(this);

    m_closeButton = MakeWindowButton(m_rightGroup, tr("Close"), "close", m_buttonWidth, m_buttonHeight);
    m_minButton = MakeWindowButton(m_rightGroup, tr("Minisize"), "min", m_buttonWidth, m_buttonHeight);
    m_maxButton = MakeWindowButton(m_rightGroup, tr("Maximize"), "max", m_buttonWidth, m_buttonHeight);
    m_fullScreenButton = m_fullScreen
        ? MakeWindowButton(m_rightGroup, tr("ExitFullscreen"), "efullscreen", m_buttonWidth, m_buttonHeight)
        : MakeWindowButton(m_rightGroup, tr("Fullscreen"), "fullscreen", m_buttonWidth, m_buttonHeight);
    auto* rightLayout = new QHBoxLayout(m_rightGroup);
    rightLayout->addWidget(m_minButton);
    rightLayout->addWidget(m_maxButton);
    rightLayout->addWidget(m_fullScreenButton);
    rightLayout->addWidget(m_closeButton);

    m_logo = new QLabel(m_leftGroup);
    m_logo->setStyleSheet(kLogoStyle);
    m_logo->setPixmap(QPixmap(ShellPaths::ApplicationFolder() + "/res/logo.png"));
    m_logo->setFixedHeight(28);

    m_urlEdit = new QLineEdit(m_leftGroup);
    m_urlEdit->setFixedHeight(28);
    m_urlEdit->setStyleSheet(kEditStyle);
    m_urlEdit->setPlaceholderText(tr("PleaseEnterURL"));

    m_goButton = new QPushButton(QString(), m_leftGroup);
    m_goButton->setFixedSize(28, 28);
    m_menuButton = new QPushButton(QString(), m_leftGroup);
    m_menuButton->setFixedSize(28, 28);
    m_menuButton->setToolTip(tr("Menu"));
    m_menuButton->setCheckable(true);
    m_menuButton->setStyleSheet(MenuButtonStyle(false));

    auto* leftLayout = new QHBoxLayout(m_leftGroup);
    leftLayout->setSpacing(0);
    leftLayout->addWidget(m_logo);
    leftLayout->addWidget(m_urlEdit);
    leftLayout->addWidget(m_goButton);
    leftLayout->addWidget(m_menuButton);
    leftLayout->addSpacing(70);

    if (hideAddressPart) {
        m_logo->setStyleSheet(kLogoHiddenStyle);
        m_urlEdit->hide();
        m_goButton->hide();
        m_menuButton->hide();
    }

    connect(m_urlEdit, &QLineEdit::returnPressed, this, &TopToolbar::EnterDevice);
    connect(m_urlEdit, &QLineEdit::textChanged, this, &TopToolbar::UrlChanged);
    connect(m_goButton, &QPushButton::clicked, this, &TopToolbar::EnterDevice);
    connect(m_menuButton, &QPushButton::toggled, this, &TopToolbar::MenuPushed);
    connect(m_minButton, &QToolButton::clicked, this, &TopToolbar::MinPushed);
    connect(m_maxButton, &QToolButton::clicked, this, &TopToolbar::MaxPushed);
    connect(m_fullScreenButton, &QToolButton::clicked, this, &TopToolbar::FullScreenPushed);
    connect(m_closeButton, &QToolButton::clicked, this, &TopToolbar::ClosePushed);

    m_urlEdit->setText(address);
    m_goButton->setEnabled(!address.isEmpty());
    SetGoBtnStatus(Go);
    installEventFilter(this);
    m_menuButton->installEventFilter(this);

    const QSettings custom(ShellPaths::ApplicationFolder() + "/config/customCofig.ini", QSettings::IniFormat);
    m_ttsRow = custom.value("Config/TTS").toString() == "1";
}

bool TopToolbar::ValidateAddress(QString& text) { return AddressCheck::ValidateAddress(text); }
QString TopToolbar::CheckIPv4Address(const QString& text) { return AddressCheck::CheckIPv4Address(text); }
QString TopToolbar::CheckIPv6Address(const QString& text) { return AddressCheck::CheckIPv6Address(text); }
QString TopToolbar::CheckHostAddress(const QString& text) { return AddressCheck::CheckHostAddress(text); }
QString TopToolbar::MatchAddress(const QString& text, const QString& addressPattern, bool bracketed)
{
    return AddressCheck::MatchAddress(text, addressPattern, bracketed);
}

void TopToolbar::SetGoBtnStatus(int status)
{
    QString tip = tr("Go");
    const char* stem = "go";
    if (status == Refresh) {
        tip = tr("Refresh");
        stem = "refresh";
    } else if (status == Stop) {
        tip = tr("Stop");
        stem = "stop";
    }
    m_goStatus = status;
    m_goButton->setToolTip(tip);
    m_goButton->setStyleSheet(QString(kGoStyle).arg(stem));
}

void TopToolbar::SetUrlText(const QString& text)
{
    m_urlEdit->setText(text);
}

void TopToolbar::EnterDevice()
{
    QString text = m_urlEdit->text();
    if (text.isEmpty())
        return;
    if (ValidateAddress(text)) {
        m_urlEdit->setText(text);
        emit openUrl(static_cast<GoBtnStatus>(m_goStatus), QUrl(text, QUrl::TolerantMode));
    } else {
        m_urlEdit->setStyleSheet(kEditInvalidStyle);
    }
}

void TopToolbar::UrlChanged(QString s)
{
    m_urlEdit->setStyleSheet(kEditStyle);
    m_goButton->setEnabled(!s.isEmpty());
    SetGoBtnStatus(Go);
}

void TopToolbar::LeaveDevice() { emit closeUrl(); }
void TopToolbar::ClosePushed() { emit CloseWindow(); }
void TopToolbar::MinPushed() { emit MinSizeWindow(); }

void TopToolbar::SetFullScreenState(bool on)
{
    m_fullScreen = on;
    m_fullScreenButton->setToolTip(on ? tr("ExitFullscreen") : tr("Fullscreen"));
    m_fullScreenButton->setStyleSheet(WindowButtonStyle(on ? "efullscreen" : "fullscreen"));
    emit FullscreenWindow(on);
}

void TopToolbar::SetMaximizedState(bool on)
{
    m_maximized = on;
    m_maxButton->setToolTip(on ? tr("Restore") : tr("Maximize"));
    m_maxButton->setStyleSheet(WindowButtonStyle(on ? "normal" : "max"));
    if (on)
        emit MaximizeWindow();
    else
        emit RestoreWindow();
}

void TopToolbar::SetFullScreen(bool on)
{
    SetFullScreenState(on);
    if (on) {
        m_maximizedBeforeFullScreen = m_maximized;
        m_maximized = true;
        m_maxButton->setToolTip(tr("Restore"));
        m_maxButton->setStyleSheet(WindowButtonStyle("normal"));
    } else {
        SetMaximizedState(m_maximizedBeforeFullScreen);
    }
}

void TopToolbar::FullScreenPushed()
{
    SetFullScreen(!m_fullScreen);
}

void TopToolbar::MaxPushed()
{
    SetMaximized(!m_maximized);
}

void TopToolbar::SetMaximized(bool on)
{
    if (m_fullScreen) {
        SetFullScreenState(false);
        SetMaximizedState(m_maximizedBeforeFullScreen);
    }
    SetMaximizedState(on);
}

void TopToolbar::mouseDoubleClickEvent(QMouseEvent* event)
{
    MaxPushed();
    QWidget::mouseDoubleClickEvent(event);
}

void TopToolbar::mousePressEvent(QMouseEvent* event)
{
    m_dragging = true;
    m_lastX = event->globalX();
    m_lastY = event->globalY();
    QWidget::mousePressEvent(event);
}

void TopToolbar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        if (m_fullScreen) {
            m_dragging = false;
        } else {
            ClampCursorToScreen();
            const QPoint pos = QCursor::pos();
            emit MoveWindow(pos - QPoint(m_lastX, m_lastY), pos);
            m_lastX = pos.x();
            m_lastY = pos.y();
        }
    }
    QWidget::mouseMoveEvent(event);
}

void TopToolbar::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void TopToolbar::resizeEvent(QResizeEvent* event)
{
    m_rightGroup->resize(m_buttonWidth * m_buttonCount, m_buttonHeight);
    m_rightGroup->move(width() - 135, 0);
    m_leftGroup->move(10, 0);
    m_leftGroup->resize(width() - 145, height());
    m_rightGroup->layout()->setContentsMargins(0, 0, 0, 0);
    m_leftGroup->layout()->setContentsMargins(0, 0, 0, 0);
    QWidget::resizeEvent(event);
}

void TopToolbar::EnsureMenu()
{
    const QRect button = m_menuButton->geometry();
    const QPoint anchor = mapToGlobal(QPoint(button.right() + m_leftGroup->x(), button.bottom() + m_leftGroup->y()));
    if (m_menu) {
        m_menu->move(anchor.x() - kMenuWidth, anchor.y());
        return;
    }
    m_menu = new CustomMenu(anchor, QSize(kMenuWidth, 148), this);
    m_menu->setAutoFillBackground(true);
    QPalette pal = m_menu->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 255));
    m_menu->setPalette(pal);

    struct Row
    {
        QString text;
        const char* normal;
        const char* hover;
        void (TopToolbar::*slot)();
    };
    QList<Row> rows;
    rows << Row{tr("history"), "historyn.png", "historyh.png", &TopToolbar::MenuHistoryPushed};
    rows << Row{tr("Download"), "downloadn.png", "downloadh.png", &TopToolbar::DownloadPushed};
    if (m_ttsRow)
        rows << Row{tr("TTS Settings"), "ttsn.png", "ttsh.png", &TopToolbar::TTSSettingsPushed};
    rows << Row{tr("Settings"), "settingsn.png", "settingsh.png", &TopToolbar::SettingsPushed};
    rows << Row{tr("about"), "aboutn.png", "abouth.png", &TopToolbar::MenuAboutPushed};
    for (const Row& row : rows) {
        m_menu->AddRow(row.text, QString(":/toolbaricon/") + row.normal, QString(":/toolbaricon/") + row.hover);
        connect(m_menu->GetAction(row.text), &QAction::triggered, this, row.slot);
    }
    m_menu->EnableHover(true);
    m_menu->resize(kMenuWidth, rows.size() * CustomMenu::kRowHeight + CustomMenu::kArrowHeight);
    m_menu->move(anchor.x() - kMenuWidth, anchor.y());
}

void TopToolbar::HideMenu()
{
    if (m_menu)
        m_menu->hide();
    m_menuButton->setChecked(false);
}

void TopToolbar::MenuPushed(bool bChecked)
{
    if (bChecked) {
        EnsureMenu();
        m_menu->show();
    } else {
        HideMenu();
    }
}

void TopToolbar::MenuHistoryPushed()
{
    HideMenu();
    emit ShowHistory();
}

void TopToolbar::MenuAboutPushed()
{
    HideMenu();
    emit ShowAbout();
}

void TopToolbar::DownloadPushed()
{
    HideMenu();
    emit ShowDownload();
}

void TopToolbar::TTSSettingsPushed()
{
    HideMenu();
    emit ShowTTSSettings();
}

void TopToolbar::SettingsPushed()
{
    HideMenu();
    emit ShowSettings();
}

void TopToolbar::SetDownloadIndicator(int mode)
{
    if (!m_menu)
        EnsureMenu();
    if (mode == 0) {
        m_menuButton->setStyleSheet(MenuButtonStyle(false));
        m_menu->SetRowIcons(tr("Download"), ":/toolbaricon/downloadn.png", ":/toolbaricon/downloadh.png");
    } else if (mode == 1) {
        m_menuButton->setStyleSheet(MenuButtonStyle(true));
        m_menu->SetRowIcons(tr("Download"), ":/toolbaricon/downloadnw.png", ":/toolbaricon/downloadhw.png");
    }
}

bool TopToolbar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::WindowActivate && !m_menuButtonHovered) {
        HideMenu();
    } else if (watched == m_menuButton) {
        if (event->type() == QEvent::HoverEnter || event->type() == QEvent::Enter)
            m_menuButtonHovered = true;
        else if (event->type() == QEvent::HoverLeave || event->type() == QEvent::Leave)
            m_menuButtonHovered = false;
    }
    return QWidget::eventFilter(watched, event);
}
