#include "toptoolbar.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

namespace {

QString WindowButtonStyle(const QString& stem)
{
    return QStringLiteral("QToolButton{border-image:url(:/toolbaricon/%1n.png);}"
                          "QToolButton:hover{border-image:url(:/toolbaricon/%1h.png);}"
                          "QToolButton:pressed{border-image:url(:/toolbaricon/%1s.png);}")
        .arg(stem);
}

QString GoButtonStyle(TopToolbar::GoBtnStatus status)
{
    const char* stem = status == TopToolbar::Stop ? "stop" : status == TopToolbar::Refresh ? "refresh" : "go";
    return QStringLiteral("QPushButton{border-image:url(:/toolbaricon/%1n.png);}"
                          "QPushButton:hover{border-image:url(:/toolbaricon/%1h.png);}"
                          "QPushButton:pressed{border-image:url(:/toolbaricon/%1s.png);}"
                          "QPushButton:disabled{border-image:url(:/toolbaricon/%1d.png);}")
        .arg(QLatin1String(stem));
}

}  // namespace

TopToolbar::TopToolbar(const QString& address, bool hideAddressPart, QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("TopToolbar{background:rgb(222,222,222);}"));

    m_address = new QLineEdit(address, this);
    m_address->setStyleSheet(QStringLiteral("QLineEdit{border-width:0;border-style:outset}"));
    m_address->setPlaceholderText(tr("PleaseEnterURL"));
    m_goButton = new QPushButton(this);
    m_goButton->setFixedSize(24, 24);
    SetGoBtnStatus(Go);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_address, 1);
    layout->addWidget(m_goButton);
    layout->addStretch(0);
    layout->addWidget(CreateWindowButton(QStringLiteral("min"), "Minisize"));
    m_maxButton = CreateWindowButton(QStringLiteral("max"), "Maximize");
    layout->addWidget(m_maxButton);
    QToolButton* close = CreateWindowButton(QStringLiteral("close"), "Close");
    layout->addWidget(close);

    if (hideAddressPart) {
        m_address->hide();
        m_goButton->hide();
    }

    connect(m_address, &QLineEdit::returnPressed, this, &TopToolbar::EnterDevice);
    connect(m_goButton, &QPushButton::clicked, this, &TopToolbar::EnterDevice);
    connect(m_maxButton, &QToolButton::clicked, this, &TopToolbar::MaxPushed);
    connect(close, &QToolButton::clicked, this, &TopToolbar::ClosePushed);
}

QToolButton* TopToolbar::CreateWindowButton(const QString& stem, const char* tip)
{
    auto* button = new QToolButton(this);
    button->setFixedSize(33, 24);
    button->setStyleSheet(WindowButtonStyle(stem));
    button->setToolTip(tr(tip));
    if (stem == QLatin1String("min"))
        connect(button, &QToolButton::clicked, this, &TopToolbar::MinPushed);
    return button;
}

QString TopToolbar::Address() const
{
    return m_address->text();
}

void TopToolbar::SetAddress(const QString& text)
{
    m_address->setText(text);
}

void TopToolbar::SetGoBtnStatus(GoBtnStatus status)
{
    m_goStatus = status;
    m_goButton->setStyleSheet(GoButtonStyle(status));
    m_goButton->setToolTip(status == Stop ? tr("Stop") : status == Refresh ? tr("Refresh") : tr("Go"));
}

void TopToolbar::SetMaximized(bool maximized)
{
    m_maximized = maximized;
    m_maxButton->setStyleSheet(WindowButtonStyle(maximized ? QStringLiteral("normal") : QStringLiteral("max")));
    m_maxButton->setToolTip(maximized ? tr("Restore") : tr("Maximize"));
    if (maximized)
        emit MaximizeWindow();
    else
        emit RestoreWindow();
}

void TopToolbar::SetDownloadIndicator(bool /*on*/)
{
}

void TopToolbar::EnterDevice()
{
    const QString text = m_address->text().trimmed();
    const QUrl url = QUrl::fromUserInput(text);
    if (text.isEmpty() || !url.isValid() || url.host().isEmpty()) {
        m_address->setStyleSheet(QStringLiteral("QLineEdit{border-width:0;border-style:outset;color:red}"));
        return;
    }
    m_address->setStyleSheet(QStringLiteral("QLineEdit{border-width:0;border-style:outset}"));
    emit openUrl(m_goStatus, url);
}

void TopToolbar::LeaveDevice()
{
    emit closeUrl();
}

void TopToolbar::ClosePushed()
{
    emit CloseWindow();
}

void TopToolbar::MinPushed()
{
    emit MinSizeWindow();
}

void TopToolbar::MaxPushed()
{
    SetMaximized(!m_maximized);
}

void TopToolbar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_lastMouse = event->globalPos();
    }
    QWidget::mousePressEvent(event);
}

void TopToolbar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        const QPoint now = event->globalPos();
        emit MoveWindow(now - m_lastMouse, now);
        m_lastMouse = now;
    }
    QWidget::mouseMoveEvent(event);
}

void TopToolbar::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void TopToolbar::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        MaxPushed();
    QWidget::mouseDoubleClickEvent(event);
}
