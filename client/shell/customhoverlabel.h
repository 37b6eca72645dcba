#pragma once

#include <QLabel>

// A label that shows one link (the link target is the text itself) and
// turns blue under the mouse.
class CustomHoverLabel : public QLabel
{
    Q_OBJECT

public:
    CustomHoverLabel(const QString& text, QWidget* parent);

    QString LinkText() const { return m_linkText; }
    QString NormalText() const;
    QString HoverText() const;

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString BuildText(const char* style) const;

    QString m_linkText;
};
