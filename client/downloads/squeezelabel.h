#pragma once

#include <QLabel>

// A label that paints its text shortened in the middle when it is wider than
// the label; text() always returns the whole text.
class SqueezeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SqueezeLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
