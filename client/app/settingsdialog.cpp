#include "settingsdialog.h"

#include "appfolder.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QSettings>
#include <QVBoxLayout>

Settings::Settings(bool compatibilityMode, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Settings"));
    setWindowTitle(tr("Settings"));
    auto* layout = new QVBoxLayout(this);
    m_gpu = new QCheckBox(tr("GPUEnable"), this);
    QSettings config(AppFolder::SettingsFile(QStringLiteral("baseConfig")), QSettings::IniFormat);
    m_gpu->setChecked(!compatibilityMode && config.value(QStringLiteral("Config/GPU_ENABLE"), false).toBool());
    m_gpu->setEnabled(!compatibilityMode);
    layout->addWidget(m_gpu);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Save();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void Settings::Save()
{
    QSettings config(AppFolder::SettingsFile(QStringLiteral("baseConfig")), QSettings::IniFormat);
    config.setValue(QStringLiteral("Config/GPU_ENABLE"), m_gpu->isChecked());
    emit SetGPUEnable(m_gpu->isChecked());
}
