#include "aboutinfo.h"

#include "startupsettings.h"

#include <QLabel>
#include <QVBoxLayout>

aboutInfo::aboutInfo(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutInfo"));
    setWindowTitle(tr("About"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("RI-ZIV"), this));
    layout->addWidget(new QLabel(tr("version") + QLatin1Char(' ') + StartupSettings::SetupVersion(), this));
    layout->addWidget(new QLabel(tr("about info"), this));
}
