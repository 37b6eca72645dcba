#pragma once

#include "prompter.h"

#include <QEventLoop>
#include <QString>
#include <QStringList>

#include <memory>

// Answers the client's questions from a script instead of boxes, for runs driven by tests.
// BREVIX_TEST_PROMPTS names a journal file and BREVIX_TEST_ANSWERS holds a comma list of
// answers: "Yes", "No", "Ok", "Cancel", or "Wait" (the box stays open until the program
// ends). The journal is shared by every run that gets the variables, as a client restarted
// by the installer does: question n of all runs together takes answer n, and past the list
// the box's default (else its escape) answers. Each question adds the line
// "<answer>\t<text>\t<informative text>".
class ScriptedPrompter : public IPrompter
{
public:
    // Null unless BREVIX_TEST_PROMPTS is set.
    static std::unique_ptr<ScriptedPrompter> FromEnvironment();

    ScriptedPrompter(QString journal, QStringList answers);

    QMessageBox::StandardButton Ask(const PromptSpec& spec) override;
    // Closes a box kept open by "Wait", as the end of the program does.
    void EndWaiting();

private:
    QString m_journal;
    QStringList m_answers;
    QEventLoop* m_waiting = nullptr;
};
