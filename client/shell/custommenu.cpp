#include "custommenu.h"


#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSignalMapper>
#include <QWidgetAction>

namespace {

const char* const kNormalLabelStyle = "QLabel{color:black}";
const char* const kHoverLabelStyle = "QLabel{color:rgb(0,168,255)}";
const char* const kMenuStyle = "QMenu{background-color: white;padding:0px}"
                               "QMenu::item:selected{color:rgb(0,168,255)}QMenu{color:black}"
                               "QMenu:hover{background-color: white;}";

} // namespace

CustomMenu::CustomMenu(const QPoint& position, const QSize& size, QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    m_arrow = new QLabel(this);
    m_arrow->setPixmap(QPixmap(":/toolbaricon/ext.png"));

    move(position.x() - size.width(), position.y());
    resize(size);

    setAttribute(Qt::WA_TranslucentBackground);
    m_arrow->setFixedSize(15, 8);

    m_menu = new QMenu(this);
    m_menu->show();
    m_menu->setWindowFlags(Qt::SubWindow);

    m_mapper = new QSignalMapper(this);
    m_menu->setStyleSheet(kMenuStyle);

    auto* line = new QFrame(m_menu);
    line->setObjectName("line");
    line->setGeometry(25, 0, 20, 140);
    line->setStyleSheet("color:rgb(220,220,220)");
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);

    resizeEvent(nullptr);
}

void CustomMenu::resizeEvent(QResizeEvent* event)
{
    m_menu->move(0, kArrowHeight);
    m_menu->resize(width(), height() - kArrowHeight);
    m_arrow->move(width() - 15, 0);
    if (event)
        QWidget::resizeEvent(event);
}

void CustomMenu::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QWidget* holder = parentWidget() != nullptr ? parentWidget() : this;
    painter.fillRect(QRect(0, 0, width(), kArrowHeight), holder->palette().color(QPalette::Window));
}

void CustomMenu::AddRow(const QString& name, const QString& normalImage, const QString& hoverImage)
{
    auto* action = new QWidgetAction(m_menu);
    SetRowWidget(action, name, normalImage, kNormalLabelStyle);
    m_menu->addAction(action);
    m_rowNames.append(name);
    m_hoverImages[name] = hoverImage;
    m_normalImages[name] = normalImage;
    m_actions[name] = action;
}

void CustomMenu::SetRowWidget(QWidgetAction* action, const QString& name, const QString& image,
                              const QString& labelStyle)
{
    qDebug() << "name " << name << image;
    m_shownImages[name] = image;
    if (action->defaultWidget() && m_labels.contains(name)) {
        m_labels[name].first->setPixmap(QPixmap(image));
        m_labels[name].second->setStyleSheet(labelStyle);
        return;
    }

    auto* row = new QWidget(m_menu);
    row->setFixedWidth(m_menu->width());
    row->setFixedHeight(kRowHeight);
    auto* imageLabel = new QLabel(row);
    imageLabel->setPixmap(QPixmap(image));
    imageLabel->setMouseTracking(true);
    auto* textLabel = new QLabel(name, row);
    textLabel->setStyleSheet(labelStyle);
    textLabel->setMouseTracking(true);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addSpacing(12);
    layout->addWidget(imageLabel);
    layout->addSpacing(15);
    layout->addWidget(textLabel);
    layout->setAlignment(Qt::AlignLeft);
    action->setDefaultWidget(row);
    m_labels[name] = qMakePair(imageLabel, textLabel);
}

void CustomMenu::SetRowIcons(const QString& name, const QString& normalImage, const QString& hoverImage)
{
    if (m_actions.contains(name)) {
        SetRowWidget(m_actions[name], name, normalImage, kNormalLabelStyle);
        m_normalImages[name] = normalImage;
        m_hoverImages[name] = hoverImage;
    } else {
        AddRow(name, normalImage, hoverImage);
    }
    resizeEvent(nullptr);
}

void CustomMenu::EnableHover(bool on)
{
    for (QWidget* w : findChildren<QWidget*>())
        w->setMouseTracking(on);
    if (on) {
        for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
            connect(it.value(), &QAction::hovered, m_mapper,
                    static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map), Qt::UniqueConnection);
            m_mapper->setMapping(it.value(), it.key());
        }
        connect(m_mapper, &QSignalMapper::mappedString, this, &CustomMenu::ActionsHovered,
                Qt::UniqueConnection);
    } else {
        for (const QString& name : m_rowNames)
            m_mapper->removeMappings(m_mapper->mapping(name));
    }
}

QWidgetAction* CustomMenu::GetAction(const QString& name) const
{
    return m_actions.value(name, nullptr);
}

int CustomMenu::MenuHeight() const
{
    return m_rowNames.size() * kRowHeight + kArrowHeight;
}

QString CustomMenu::RowImage(const QString& name) const
{
    return m_shownImages.value(name);
}

QString CustomMenu::RowLabelStyle(const QString& name) const
{
    return m_labels.contains(name) ? m_labels[name].second->styleSheet() : QString();
}

void CustomMenu::ActionsHovered(QString actionName)
{
    if (!m_rowNames.contains(actionName) || actionName == m_current)
        return;
    m_current = actionName;
    for (const QString& name : m_rowNames) {
        if (name == m_current)
            SetRowWidget(m_actions[name], name, m_hoverImages[name], kHoverLabelStyle);
        else
            SetRowWidget(m_actions[name], name, m_normalImages[name], kNormalLabelStyle);
    }
}
