#include "customhoverlabel.h"

#include <QDebug>

namespace {

const char* const kNormalStyle = "<style> a {text-decoration:none;color:#272e36;font-size:12px;} </style><a href=";
const char* const kHoverStyle = "<style> a {text-decoration:none;color:#00a8ff;font-size:12px;} </style><a href=";

} // namespace

CustomHoverLabel::CustomHoverLabel(const QString& text, QWidget* parent)
    : QLabel(parent)
    , m_linkText(text)
{
    setText(NormalText());
}

QString CustomHoverLabel::NormalText() const
{
    return BuildText(kNormalStyle);
}

QString CustomHoverLabel::HoverText() const
{
    return BuildText(kHoverStyle);
}

// The text is escaped in both places, so quotes, ampersands and angle
// brackets neither end the attribute nor become markup; the link a click
// yields is the text itself.
QString CustomHoverLabel::BuildText(const char* style) const
{
    const QString escaped = m_linkText.toHtmlEscaped();
    return QString(style) + '"' + escaped + '"' + '>' + escaped + "</a>";
}

void CustomHoverLabel::enterEvent(QEvent* event)
{
    setStyleSheet("color:#00a8ff");
    qDebug() << "color:#00a8ff";
    setText(HoverText());
    QLabel::enterEvent(event);
}

void CustomHoverLabel::leaveEvent(QEvent* event)
{
    setStyleSheet("color:#272e36");
    qDebug() << "color:#272e36";
    setText(NormalText());
    QLabel::leaveEvent(event);
}
