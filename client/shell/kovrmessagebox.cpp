#include "kovrmessagebox.h"

KOVRMessageBox::KOVRMessageBox(QWidget* parent)
    : QMessageBox(parent)
{
}

void KOVRMessageBox::SetFixedBoxSize(int width, int height)
{
    m_fixedWidth = width;
    m_fixedHeight = height;
    setFixedSize(width, height);
}

void KOVRMessageBox::resizeEvent(QResizeEvent* event)
{
    QMessageBox::resizeEvent(event);
    if (m_fixedWidth > 0 && m_fixedHeight > 0)
        setFixedSize(m_fixedWidth, m_fixedHeight);
}
