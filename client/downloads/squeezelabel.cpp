#include "squeezelabel.h"

#include <QPainter>
#include <QStyle>

SqueezeLabel::SqueezeLabel(QWidget* parent) : QLabel(parent) {}

void SqueezeLabel::paintEvent(QPaintEvent* event)
{
    const QFontMetrics metrics = fontMetrics();
    if (metrics.horizontalAdvance(text()) <= contentsRect().width()) {
        QLabel::paintEvent(event);
        return;
    }
    // Painted directly: changing the text here would schedule another paint.
    const QString elided = metrics.elidedText(text(), Qt::ElideMiddle, width());
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), elided, foregroundRole());
}
