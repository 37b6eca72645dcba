#pragma once

#include "prompter.h"

#include <QList>

// Answers every prompt with a preset button and keeps what was asked.
class RecordingPrompter : public IPrompter
{
public:
    explicit RecordingPrompter(QMessageBox::StandardButton answer = QMessageBox::NoButton)
        : m_answer(answer)
    {
        Prompts::SetCurrent(this);
    }
    ~RecordingPrompter() override { Prompts::SetCurrent(nullptr); }

    QMessageBox::StandardButton Ask(const PromptSpec& spec) override
    {
        m_asked.append(spec);
        return m_answer;
    }

    void SetAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }
    const QList<PromptSpec>& Asked() const { return m_asked; }

private:
    QMessageBox::StandardButton m_answer;
    QList<PromptSpec> m_asked;
};
