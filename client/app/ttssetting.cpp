#include "ttssetting.h"

#include <QLabel>
#include <QVBoxLayout>

TTSSetting::TTSSetting(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TTSSetting"));
    setWindowTitle(tr("TTS Settings"));
    auto* layout = new QVBoxLayout(this);
    auto* enable = new QLabel(tr("Enable TTS"), this);
    enable->setEnabled(false);
    layout->addWidget(enable);
}
