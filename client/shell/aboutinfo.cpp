#include "aboutinfo.h"

#include "shellpaths.h"
#include "ui_aboutinfo.h"

#include <QPixmap>
#include <QSettings>

aboutInfo::aboutInfo(QWidget* parent, std::function<QString()> versionSource)
    : QDialog(parent)
    , m_ui(new Ui::aboutInfo)
    , m_versionSource(std::move(versionSource))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    m_ui->label_2->setPixmap(QPixmap(ShellPaths::ApplicationFolder() + "/res/applogo.png"));
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    if (!m_versionSource) {
        m_versionSource = [] {
            const QSettings version(ShellPaths::ApplicationFolder() + "/config/version.ini", QSettings::IniFormat);
            return version.value("App/SetupVersion").toString();
        };
    }
}

aboutInfo::~aboutInfo()
{
    delete m_ui;
}

QString aboutInfo::VersionText() const
{
    return m_ui->label_VersionValue->text();
}

void aboutInfo::showEvent(QShowEvent* event)
{
    // The base centres the dialog over its parent.
    QDialog::showEvent(event);
    m_ui->label_VersionValue->setText(QString("V%1").arg(m_versionSource()));
}
