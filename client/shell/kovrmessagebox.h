#pragma once

#include <QMessageBox>

// A message box that keeps the size its creator fixed, whatever its layout
// computes.
class KOVRMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit KOVRMessageBox(QWidget* parent = nullptr);

    void SetFixedBoxSize(int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
};
