#pragma once

#include <QMessageBox>

// A message box that keeps the size its creator fixed, whatever its layout
// computes. A box that fits its text keeps the fixed width and grows taller
// when its texts need more lines than the fixed height holds.
class KOVRMessageBox : public QMessageBox
{
    Q_OBJECT

public:
    explicit KOVRMessageBox(QWidget* parent = nullptr);

    void SetFixedBoxSize(int width, int height);
    void SetFitHeightToText(bool fit);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
    int m_shownHeight = 0;
    bool m_fitText = false;
};
