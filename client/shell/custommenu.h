#pragma once

#include <QMap>
#include <QPair>
#include <QPoint>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QLabel;
class QMenu;
class QSignalMapper;
class QWidgetAction;

// The tool bar's drop-down: a frameless translucent window with a small
// arrow at its top right over an embedded menu of image-and-text rows that
// change image and colour under the mouse.
class CustomMenu : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRowHeight = 35;
    static constexpr int kArrowHeight = 8;

    // position is the top-right corner of the menu.
    CustomMenu(const QPoint& position, const QSize& size, QWidget* parent);

    void AddRow(const QString& name, const QString& normalImage, const QString& hoverImage);
    void SetRowIcons(const QString& name, const QString& normalImage, const QString& hoverImage);
    void EnableHover(bool on);
    QWidgetAction* GetAction(const QString& name) const;
    int MenuHeight() const;

    QMenu* Menu() const { return m_menu; }
    QString CurrentRow() const { return m_current; }
    QStringList RowNames() const { return m_rowNames; }
    QString RowImage(const QString& name) const;
    QString RowLabelStyle(const QString& name) const;

public slots:
    void ActionsHovered(QString actionName);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Paints the arrow strip above the rows in the colour of the tool bar it hangs from:
    // without a compositing manager a translucent window shows black where it paints nothing.
    void paintEvent(QPaintEvent* event) override;

private:
    void SetRowWidget(QWidgetAction* action, const QString& name, const QString& image,
                      const QString& labelStyle);

    QMap<QString, QWidgetAction*> m_actions;
    QMap<QString, QPair<QLabel*, QLabel*>> m_labels;
    QMap<QString, QString> m_hoverImages;
    QMap<QString, QString> m_normalImages;
    QMap<QString, QString> m_shownImages;
    QStringList m_rowNames;
    QMenu* m_menu = nullptr;
    QLabel* m_arrow = nullptr;
    QSignalMapper* m_mapper = nullptr;
    QString m_current;
};
