#pragma once

#include "prompter.h"

// The real boxes, shown modally over the active window. Esc and the close box give the safe
// answer: No, or Cancel.
class WidgetPrompter : public Prompter
{
public:
    Answer message(const QString &title, const QString &text, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title,
                  const QString &proposed = QString()) override;
    bool runJob(qint64 total, const std::function<void(JobProgress &)> &job) override;
    void stopJobs() override;
    bool waitFor(const QString &folder, const std::function<void()> &work) override;

private:
    bool m_stopJobs = false;
    bool m_refusing = false;
};
