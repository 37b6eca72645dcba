#include "clientprompts.h"

#include <QCoreApplication>

namespace {

QString Tr(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

QString TitleLine(const char* key)
{
    return QStringLiteral("<h3>%1</h3>").arg(Tr(key));
}

}  // namespace

namespace ClientPrompts {

PromptSpec NonAeroNotice()
{
    PromptSpec spec;
    spec.icon = QMessageBox::Information;
    spec.text = TitleLine("NonAero");
    spec.textFormat = Qt::RichText;
    spec.informativeText = Tr("NonAeroInformative");
    spec.buttons = {{QMessageBox::Ok, Tr("OK")}};
    spec.width = 350;
    spec.height = 100;
    return spec;
}

PromptSpec UpgradeQuestion(int checkerCode, QWidget* parent)
{
    PromptSpec spec;
    spec.icon = QMessageBox::Question;
    spec.text = TitleLine("Find Upgrade");
    spec.textFormat = Qt::RichText;
    spec.informativeText = checkerCode == 2 ? Tr("installLbl") : Tr("upgradeLbl");
    spec.buttons = {{QMessageBox::Yes, Tr("Yes")}, {QMessageBox::No, Tr("No")}};
    spec.defaultButton = QMessageBox::Yes;
    spec.width = 350;
    spec.height = 100;
    spec.parent = parent;
    return spec;
}

PromptSpec DownloadingNotice(QWidget* parent)
{
    PromptSpec spec;
    spec.icon = QMessageBox::Information;
    spec.text = TitleLine("Download Upgrade");
    spec.textFormat = Qt::RichText;
    spec.informativeText = Tr("downloading");
    spec.buttons = {{QMessageBox::Cancel, Tr("Cancel")}};
    spec.width = 350;
    spec.height = 100;
    spec.parent = parent;
    return spec;
}

PromptSpec DownloadQuestion(const QString& fileName, QWidget* parent)
{
    PromptSpec spec;
    spec.icon = QMessageBox::Question;
    spec.text = Tr("downloadSave").arg(fileName);
    spec.informativeText = Tr("downloadSaveDetail");
    spec.buttons = {{QMessageBox::Save, Tr("Save File")}, {QMessageBox::Cancel, Tr("Cancel")}};
    spec.defaultButton = QMessageBox::Save;
    spec.width = 370;
    spec.height = 100;
    spec.parent = parent;
    return spec;
}

PromptSpec CertificateQuestion(bool overridable, const QString& host)
{
    PromptSpec spec;
    spec.textFormat = Qt::RichText;
    if (overridable) {
        spec.icon = QMessageBox::Warning;
        spec.text = TitleLine("CertificateNotTrusted");
        spec.informativeText = Tr("CertificateNotTrustedDetail").arg(host);
        spec.buttons = {{QMessageBox::Yes, Tr("Proceed anyway")}, {QMessageBox::No, Tr("Back to safety")}};
        spec.defaultButton = QMessageBox::No;
    } else {
        spec.icon = QMessageBox::Critical;
        spec.text = TitleLine("CertificateError");
        spec.informativeText = Tr("CertificateError");
        spec.buttons = {{QMessageBox::Ok, Tr("OK")}};
    }
    return spec;
}

void ShowNonAeroNotice(bool isWindows7, bool compatibilityMode)
{
    if (isWindows7 && compatibilityMode)
        Prompts::Current().Ask(NonAeroNotice());
}

bool AskCertificateError(bool overridable, const QString& host)
{
    const QMessageBox::StandardButton answer = Prompts::Current().Ask(CertificateQuestion(overridable, host));
    return overridable && answer == QMessageBox::Yes;
}

}  // namespace ClientPrompts
