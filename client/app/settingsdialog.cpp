#include "settingsdialog.h"

#include "appfolder.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace {

const char kDialogStyle[] = "QDialog{\nborder: 2px solid rgb(222,222,222);\nbackground-color:rgb(255,255,255);\n}";
const char kCloseStyle[] = "QPushButton{border-image:url(:/toolbaricon/sclosen.png);}"
                           "QPushButton:hover{border-image:url(:/toolbaricon/scloseh.png);}"
                           "QPushButton:pressed{border-image:url(:/toolbaricon/sclosen.png);}";

QString SettingFile()
{
    return AppFolder::SettingsFile(QStringLiteral("setting"));
}

QString BaseConfigFile()
{
    return AppFolder::SettingsFile(QStringLiteral("baseConfig"));
}

}  // namespace

Settings::Settings(bool compatibilityMode, QWidget* parent)
    : QDialog(parent)
    , m_compatibilityMode(compatibilityMode)
{
    BuildForm();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAutoFillBackground(true);

    m_compatibilityBox->setChecked(m_compatibilityMode);
    m_changedTip->hide();

    const QSettings config(BaseConfigFile(), QSettings::IniFormat);
    m_gpuBox->setVisible(config.value(QStringLiteral("Config/GPU_SHOW"), false).toBool());
    const bool gpuEnabled = config.value(QStringLiteral("Config/GPU_ENABLE"), false).toBool();
    if (m_compatibilityMode) {
        m_gpuBox->setEnabled(false);
    } else if (gpuEnabled) {
        m_gpuBox->setChecked(true);
        enableGPUEncodeMode(true);
    }

    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(m_compatibilityBox, &QCheckBox::clicked, this, &Settings::enableCompatibilityMode);
    connect(m_gpuBox, &QCheckBox::clicked, this, &Settings::enableGPUEncodeMode);
}

void Settings::BuildForm()
{
    setObjectName(QStringLiteral("Settings"));
    resize(700, 500);
    setWindowTitle(tr("Settings"));
    setStyleSheet(QString::fromLatin1(kDialogStyle));

    m_compatibilityBox = new QCheckBox(tr("CompatibilityMode"), this);
    m_compatibilityBox->setObjectName(QStringLiteral("enableCompatibilityModeCBox"));
    m_compatibilityBox->setGeometry(100, 90, 501, 16);

    m_closeButton = new QPushButton(this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setGeometry(660, 20, 16, 16);
    m_closeButton->setStyleSheet(QString::fromLatin1(kCloseStyle));

    auto* title = new QLabel(tr("Settings"), this);
    title->setObjectName(QStringLiteral("label_7"));
    title->setGeometry(20, 15, 150, 26);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("frame"));
    line->setGeometry(2, 45, 696, 20);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setStyleSheet(QStringLiteral("color:rgb(138,142,147)"));

    m_changedTip = new QLabel(tr("SettingsChanged"), this);
    m_changedTip->setObjectName(QStringLiteral("lblSettingsChangedTip"));
    m_changedTip->setGeometry(100, 450, 501, 20);

    m_gpuBox = new QCheckBox(tr("GPUEnable"), this);
    m_gpuBox->setObjectName(QStringLiteral("EnableGPUBox"));
    m_gpuBox->setGeometry(100, 120, 501, 16);
}

void Settings::enableCompatibilityMode(bool on)
{
    QSettings settings(SettingFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("App/CompatibilityMode"), on);
    settings.sync();
    m_changedTip->setVisible(on != m_compatibilityMode);
    if (on) {
        m_gpuBox->setEnabled(false);
        m_gpuBox->setChecked(false);
        enableGPUEncodeMode(false);
    } else {
        m_gpuBox->setEnabled(true);
    }
}

void Settings::enableGPUEncodeMode(bool on)
{
    QSettings config(BaseConfigFile(), QSettings::IniFormat);
    config.setValue(QStringLiteral("Config/GPU_ENABLE"), on);
    config.sync();
    emit SetGPUEnable(on);
}
