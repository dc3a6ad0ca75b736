#include "support/FakeServices.h"

#include <utility>

namespace testsupport {

void RecordingMessageService::show(const QString &text, QWidget *)
{
    m_shown.append(text);
}

bool RecordingMessageService::confirm(const QString &text, const QString &title, bool defaultNo,
                                      Icon icon, QWidget *)
{
    m_confirmations.append({text, title, defaultNo, icon});
    return m_answers.isEmpty() ? m_defaultAnswer : m_answers.dequeue();
}

void RecordingMessageService::queueAnswer(bool yes)
{
    m_answers.enqueue(yes);
}

void RecordingMessageService::queueAnswers(std::initializer_list<bool> answers)
{
    for (bool yes : answers)
        m_answers.enqueue(yes);
}

RecordingMessageService::Confirmation RecordingMessageService::lastConfirmation() const
{
    return m_confirmations.isEmpty() ? Confirmation{} : m_confirmations.last();
}

void RecordingMessageService::clear()
{
    m_shown.clear();
    m_confirmations.clear();
}

std::optional<QString> RecordingInputService::ask(const QString &prompt, const QString &title,
                                                  const QString &initial, QWidget *)
{
    m_questions.append({prompt, title, initial});
    return m_answers.isEmpty() ? m_defaultAnswer : m_answers.dequeue();
}

void RecordingInputService::queueAnswer(std::optional<QString> answer)
{
    m_answers.enqueue(std::move(answer));
}

bool RecordingFileOpener::open(const QString &path)
{
    m_paths.append(path);
    return m_result;
}

std::optional<core::SaveFileChooser::Choice> RecordingSaveFileChooser::choose(const QString &title,
                                                                            const QString &suggestedPath,
                                                                            const QStringList &types, int preferred,
                                                                            QWidget *)
{
    m_questions.append({title, suggestedPath, types, preferred});
    const std::optional<QString> answer = m_answers.isEmpty() ? m_defaultAnswer : m_answers.dequeue();
    if (!answer)
        return std::nullopt;
    return core::withTypeSuffix(*answer, types, preferred);
}

void RecordingReportService::addReport(const QString &name, const QStringList &parameters)
{
    m_reports.insert(name, parameters);
}

bool RecordingReportService::reportExists(const QString &reportName) const
{
    return m_reports.contains(reportName.trimmed());
}

bool RecordingReportService::showReport(const QString &reportName, const core::ReportValuesFor &valuesFor)
{
    if (!reportExists(reportName))
        return false;
    const std::optional<core::ReportValues> values =
        valuesFor ? valuesFor(m_reports.value(reportName.trimmed())) : core::ReportValues();
    if (!values)
        return false;
    m_requests.append({reportName.trimmed(), *values});
    return true;
}

void RecordingGuideService::showGuide(const QString &section, QWidget *)
{
    m_sections.append(section);
}

} // namespace testsupport
