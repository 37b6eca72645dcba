// Draws the tool bar's placeholder images and writes them with their resource
// list: iconmaker <output folder>.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

QColor StateColour(QChar state)
{
    switch (state.unicode()) {
    case 'h': return QColor(90, 150, 220);
    case 's': return QColor(40, 90, 160);
    case 'd': return QColor(190, 190, 190);
    default: return QColor(110, 110, 110);
    }
}

// The drawing of one stem in a w x h box.
void DrawGlyph(QPainter& p, const QString& stem, int w, int h)
{
    const QRectF box(w * 0.25, h * 0.25, w * 0.5, h * 0.5);
    const QPointF c(w / 2.0, h / 2.0);
    if (stem == "min") {
        p.drawLine(QPointF(box.left(), box.bottom()), box.bottomRight());
    } else if (stem == "max") {
        p.drawRect(box);
    } else if (stem == "normal") {
        p.drawRect(box.adjusted(2, 2, 0, 0));
        p.drawRect(box.adjusted(0, 0, -2, -2));
    } else if (stem == "close" || stem == "sclose" || stem == "stop" || stem == "clear") {
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
    } else if (stem == "fullscreen" || stem == "efullscreen") {
        // Four corner marks with diagonal arrows: out to the corners to enter
        // full screen, in from them to leave it; no square, unlike "max".
        const bool enter = stem == "fullscreen";
        const qreal arm = box.height() / 3;
        for (int corner = 0; corner < 4; ++corner) {
            const qreal sx = (corner & 1) ? 1 : -1;
            const qreal sy = (corner & 2) ? 1 : -1;
            const QPointF outer(sx > 0 ? box.right() : box.left(), sy > 0 ? box.bottom() : box.top());
            const QPointF inner(c.x() + sx * arm * 0.6, c.y() + sy * arm * 0.6);
            const QPointF tip = enter ? outer : inner;
            const qreal toward = enter ? -1 : 1;
            p.drawLine(inner, outer);
            p.drawLine(tip, tip + QPointF(toward * sx * arm, 0));
            p.drawLine(tip, tip + QPointF(0, toward * sy * arm));
        }
    } else if (stem == "go") {
        p.drawLine(QPointF(box.left(), c.y()), QPointF(box.right(), c.y()));
        p.drawLine(QPointF(c.x(), box.top()), QPointF(box.right(), c.y()));
        p.drawLine(QPointF(c.x(), box.bottom()), QPointF(box.right(), c.y()));
    } else if (stem == "refresh") {
        p.drawArc(box, 45 * 16, 270 * 16);
    } else if (stem.startsWith("menu")) {
        for (int i = 0; i < 3; ++i) {
            const qreal y = box.top() + i * box.height() / 2;
            p.drawLine(QPointF(box.left(), y), QPointF(box.right(), y));
        }
        if (stem.endsWith("w"))
            p.drawEllipse(QPointF(box.right(), box.top()), 2, 2);
    } else if (stem.startsWith("history")) {
        p.drawEllipse(box);
        p.drawLine(c, QPointF(c.x(), box.top() + 2));
        p.drawLine(c, QPointF(box.right() - 2, c.y()));
    } else if (stem.startsWith("download")) {
        p.drawLine(QPointF(c.x(), box.top()), QPointF(c.x(), box.bottom()));
        p.drawLine(QPointF(box.left(), c.y()), QPointF(c.x(), box.bottom()));
        p.drawLine(QPointF(box.right(), c.y()), QPointF(c.x(), box.bottom()));
    } else if (stem == "tts") {
        p.drawRect(QRectF(box.left(), c.y() - 2, box.width() / 3, 4));
        p.drawArc(box, -45 * 16, 90 * 16);
    } else if (stem == "settings") {
        p.drawEllipse(box);
        p.drawEllipse(c, 2, 2);
    } else if (stem == "about" || stem == "point") {
        p.drawEllipse(QPointF(c.x(), box.top()), 1, 1);
        p.drawLine(QPointF(c.x(), c.y() - 2), QPointF(c.x(), box.bottom()));
    } else if (stem == "expand" || stem == "collapse") {
        const qreal dir = stem == "expand" ? 1 : -1;
        p.drawLine(QPointF(box.left(), c.y() - dir * 2), QPointF(c.x(), c.y() + dir * 2));
        p.drawLine(QPointF(c.x(), c.y() + dir * 2), QPointF(box.right(), c.y() - dir * 2));
    } else if (stem == "ext") {
        // The menu's arrow: a white wedge pointing up at the menu button.
        p.setBrush(Qt::white);
        p.setPen(QPen(QColor(200, 200, 200), 1));
        p.drawPolygon(QPolygonF({QPointF(0.5, h), QPointF(c.x(), 0.5), QPointF(w - 0.5, h)}));
    } else {
        p.drawEllipse(box);
    }
}

// One image: the glyph of stem in the colour of state, saved as name.
bool WriteButton(const QString& folder, const QString& stem, QChar state, const QString& name, int w, int h,
                 QStringList& names)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(StateColour(state));
    pen.setWidthF(1.6);
    p.setPen(pen);
    DrawGlyph(p, stem, w, h);
    p.end();
    names << name;
    return image.save(folder + "/" + name);
}

bool WriteFilled(const QString& folder, const QString& name, int w, int h, const QColor& from, const QColor& to,
                 QStringList& names)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    p.fillRect(image.rect(), gradient);
    p.end();
    names << name;
    return image.save(folder + "/" + name);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: iconmaker <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + "/toolbaricon";
    QDir().mkpath(folder);
    QStringList names;
    bool ok = true;

    auto states = [&](const QString& stem, const QString& letters, int w, int h) {
        for (QChar state : letters)
            ok = WriteButton(folder, stem, state, stem + state + ".png", w, h, names) && ok;
    };
    for (const char* stem : {"min", "max", "normal", "fullscreen", "efullscreen", "close"})
        states(stem, "nhs", 33, 24);
    for (const char* stem : {"go", "refresh", "stop"})
        states(stem, "nhsd", 24, 24);
    states("menu", "nhs", 24, 24);
    for (QChar state : QString("nhs"))
        ok = WriteButton(folder, "menuw", state, QString("menu") + state + "w.png", 24, 24, names) && ok;
    for (const char* stem : {"history", "download", "tts", "settings", "about"})
        states(stem, "nh", 16, 16);
    for (QChar state : QString("nh"))
        ok = WriteButton(folder, "downloadw", state, QString("download") + state + "w.png", 16, 16, names) && ok;
    states("expand", "nh", 60, 10);
    states("collapse", "nh", 60, 10);
    states("sclose", "nh", 16, 16);
    ok = WriteButton(folder, "ext", 'n', "ext.png", 15, 8, names) && ok;  // the menu's arrow label is 15 x 8
    for (const char* stem : {"point", "clear"})
        ok = WriteButton(folder, stem, 'n', QString(stem) + ".png", 16, 16, names) && ok;
    ok = WriteFilled(folder, "applogo.png", 32, 32, QColor(40, 90, 160), QColor(90, 150, 220), names) && ok;
    ok = WriteFilled(folder, "background.png", 64, 64, QColor(60, 64, 72), QColor(30, 32, 36), names) && ok;

    QFile qrc(QString::fromLocal8Bit(argv[1]) + "/toolbaricon.qrc");
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const QString& name : names)
        out << "    <file>toolbaricon/" << name << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    return ok ? 0 : 1;
}
