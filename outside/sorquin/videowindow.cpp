#include "videowindow.h"

#include <QMouseEvent>
#include <QPainter>

#include "sorquin.h"

namespace Sorquin {

VideoWindow::VideoWindow(CSorquin* owner, int winID, QWidget* parent)
    : QWidget(parent), m_owner(owner), m_winID(winID)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void VideoWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // A frame line around the window, so the windows of a grid stand apart; the picture
    // fills what is inside it.
    painter.fillRect(rect(), QColor::fromRgb(kFrameColour));
    QRect area = rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    painter.fillRect(area, Qt::black);
    QImage picture;
    uint32_t frameId = 0;
    if (!m_owner->CurrentPicture(m_winID, &picture, &frameId)) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, picture);
    m_owner->RaiseFrameDraw(m_winID, frameId, &painter, &area);
}

void VideoWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_owner->WindowClicked(m_winID);
    }
    QWidget::mousePressEvent(event);
}

}  // namespace Sorquin
