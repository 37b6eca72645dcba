#pragma once

#include "prompter.h"

class QWidget;

// The client's questions and notices, texts translated in the "MainWindow"
// context.
namespace ClientPrompts {

PromptSpec NonAeroNotice();
// Exit code 2 of the update checker is a full upgrade, 1 and 3 a module one.
PromptSpec UpgradeQuestion(int checkerCode, QWidget* parent);
PromptSpec DownloadingNotice(QWidget* parent);
PromptSpec DownloadQuestion(const QString& fileName, QWidget* parent);
PromptSpec CertificateQuestion(bool overridable, const QString& host);

// Shown only on the platform version without composition, and only then.
void ShowNonAeroNotice(bool isWindows7, bool compatibilityMode);
// True exactly when the user chose to proceed past an overridable error.
bool AskCertificateError(bool overridable, const QString& host);

}  // namespace ClientPrompts
