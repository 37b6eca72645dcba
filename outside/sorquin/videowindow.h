#pragma once
// One video window: a frame line around it and, inside the line, its window's last picture
// stretched over the widget (black when there is none); then raises "frameDrawSignal" so
// overlays draw on top.

#include <QRgb>
#include <QWidget>

namespace Sorquin {

class CSorquin;

class VideoWindow final : public QWidget {
public:
    static constexpr int kFrameWidth = 1;
    static constexpr QRgb kFrameColour = 0xff5a6470;

    VideoWindow(CSorquin* owner, int winID, QWidget* parent);

    int WindowId() const { return m_winID; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    CSorquin* m_owner;
    int m_winID;
};

}  // namespace Sorquin
