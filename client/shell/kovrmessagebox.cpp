#include "kovrmessagebox.h"

#include <QLayout>
#include <QScreen>

#include <algorithm>

KOVRMessageBox::KOVRMessageBox(QWidget* parent)
    : QMessageBox(parent)
{
}

void KOVRMessageBox::SetFixedBoxSize(int width, int height)
{
    m_fixedWidth = width;
    m_fixedHeight = height;
    m_shownHeight = height;
    setFixedSize(width, height);
}

void KOVRMessageBox::SetFitHeightToText(bool fit)
{
    m_fitText = fit;
}

void KOVRMessageBox::showEvent(QShowEvent* event)
{
    // The base lays the texts out for its own size first; the height they
    // need at the fixed width is known only after that.
    QMessageBox::showEvent(event);
    m_shownHeight = m_fixedHeight;
    if (m_fitText && m_fixedWidth > 0 && layout() != nullptr && layout()->hasHeightForWidth()) {
        int needed = layout()->totalHeightForWidth(m_fixedWidth);
        if (screen() != nullptr)
            needed = std::min(needed, screen()->availableGeometry().height());
        m_shownHeight = std::max(m_fixedHeight, needed);
    }
    if (m_fixedWidth > 0 && m_shownHeight > 0)
        setFixedSize(m_fixedWidth, m_shownHeight);
}

void KOVRMessageBox::resizeEvent(QResizeEvent* event)
{
    QMessageBox::resizeEvent(event);
    if (m_fixedWidth > 0 && m_shownHeight > 0)
        setFixedSize(m_fixedWidth, m_shownHeight);
}
