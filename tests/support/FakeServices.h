#pragma once

#include "screens/Services.h"

#include <QHash>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <optional>
#include <utility>

namespace testsupport {

// Records every message instead of showing a box. Yes/No questions are
// answered from a queue of scripted answers, then from the default answer
// (No unless changed).
class RecordingMessageService : public core::MessageService {
public:
    struct Confirmation {
        QString text;
        QString title;
        bool defaultNo = false;
        Icon icon = Icon::None;
    };

    void show(const QString &text, QWidget *parent = nullptr) override;
    bool confirm(const QString &text, const QString &title, bool defaultNo, Icon icon,
                 QWidget *parent = nullptr) override;

    void queueAnswer(bool yes);
    void queueAnswers(std::initializer_list<bool> answers);
    void setDefaultAnswer(bool yes) { m_defaultAnswer = yes; }
    int pendingAnswers() const { return int(m_answers.size()); }

    const QStringList &shown() const { return m_shown; }
    int shownCount() const { return int(m_shown.size()); }
    // The last shown text, empty when nothing was shown.
    QString lastShown() const { return m_shown.isEmpty() ? QString() : m_shown.last(); }

    const QList<Confirmation> &confirmations() const { return m_confirmations; }
    int confirmCount() const { return int(m_confirmations.size()); }
    // The last question asked; a default Confirmation when none was asked.
    Confirmation lastConfirmation() const;

    // Forgets what was shown and asked; queued answers and the default stay.
    void clear();
    void clearAnswers() { m_answers.clear(); }

private:
    QStringList m_shown;
    QList<Confirmation> m_confirmations;
    QQueue<bool> m_answers;
    bool m_defaultAnswer = false;
};

// Records every input box; answers from a queue, then from the default
// answer (cancel unless changed). std::nullopt stands for Cancel.
class RecordingInputService : public core::InputService {
public:
    struct Question {
        QString prompt;
        QString title;
        QString initial;
    };

    std::optional<QString> ask(const QString &prompt, const QString &title,
                               const QString &initial = {}, QWidget *parent = nullptr) override;

    void queueAnswer(std::optional<QString> answer);
    void setDefaultAnswer(std::optional<QString> answer) { m_defaultAnswer = std::move(answer); }
    int pendingAnswers() const { return int(m_answers.size()); }

    const QList<Question> &questions() const { return m_questions; }
    int askCount() const { return int(m_questions.size()); }
    QString lastPrompt() const { return m_questions.isEmpty() ? QString() : m_questions.last().prompt; }
    QString lastTitle() const { return m_questions.isEmpty() ? QString() : m_questions.last().title; }

    // Forgets the questions; queued answers and the default stay.
    void clear() { m_questions.clear(); }

private:
    QList<Question> m_questions;
    QQueue<std::optional<QString>> m_answers;
    std::optional<QString> m_defaultAnswer;
};

// Records the paths it is asked to open; answers true unless told otherwise.
class RecordingFileOpener : public core::FileOpener {
public:
    bool open(const QString &path) override;

    void setResult(bool result) { m_result = result; }
    const QStringList &paths() const { return m_paths; }
    int openCount() const { return int(m_paths.size()); }
    QString lastPath() const { return m_paths.isEmpty() ? QString() : m_paths.last(); }
    void clear() { m_paths.clear(); }

private:
    QStringList m_paths;
    bool m_result = true;
};

// Answers the questions for a file to write as a clerk would, from a
// queue of answers (a path, or none for Cancel), then from the default
// (Cancel unless changed); records every question. The type chosen follows
// the path's suffix when it names one of those offered.
class RecordingSaveFileChooser : public core::SaveFileChooser {
public:
    struct Question {
        QString title;
        QString suggestedPath;
        QStringList types;
        int preferred = 0;
    };

    std::optional<Choice> choose(const QString &title, const QString &suggestedPath, const QStringList &types,
                                 int preferred, QWidget *parent = nullptr) override;

    void queueAnswer(std::optional<QString> path) { m_answers.enqueue(std::move(path)); }
    void setDefaultAnswer(std::optional<QString> path) { m_defaultAnswer = std::move(path); }
    const QList<Question> &questions() const { return m_questions; }
    int askCount() const { return int(m_questions.size()); }
    Question lastQuestion() const { return m_questions.isEmpty() ? Question{} : m_questions.last(); }
    void clear() { m_questions.clear(); }

private:
    QList<Question> m_questions;
    QQueue<std::optional<QString>> m_answers;
    std::optional<QString> m_defaultAnswer;
};

// Records the reports asked for instead of showing them. It knows the
// reports it is told of, with their parameters; any other is missing, and
// asking for it records nothing and answers false (the real service says
// "Report not found" then).
class RecordingReportService : public core::ReportService {
public:
    struct Request {
        QString report;
        core::ReportValues values;
    };

    void addReport(const QString &name, const QStringList &parameters = {});

    bool reportExists(const QString &reportName) const override;
    using core::ReportService::showReport;
    // Asks `valuesFor` with the parameters the report was told of.
    bool showReport(const QString &reportName, const core::ReportValuesFor &valuesFor) override;

    const QList<Request> &requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    // The last report asked for; a default Request when none was.
    Request lastRequest() const { return m_requests.isEmpty() ? Request{} : m_requests.last(); }
    void clear() { m_requests.clear(); }

private:
    QHash<QString, QStringList> m_reports;
    QList<Request> m_requests;
};

// Records the sections of the user guide asked for.
class RecordingGuideService : public core::GuideService {
public:
    void showGuide(const QString &section = {}, QWidget *parent = nullptr) override;
    const QStringList &sections() const { return m_sections; }
    int shownCount() const { return int(m_sections.size()); }
    void clear() { m_sections.clear(); }

private:
    QStringList m_sections;
};

} // namespace testsupport
