#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QProgressDialog;
class QTimer;
class QWidget;

namespace reports {

// What the window shows while a report is prepared or printed off its
// thread: the busy pointer at once, and after half a second a progress box
// whose Cancel button calls `onCancel`. Everything goes when the object does.
class ReportProgress : public QObject {
    Q_OBJECT
public:
    ReportProgress(QWidget *window, const QString &text, std::function<void()> onCancel);
    ~ReportProgress() override;

    // Safe to call from any thread: the update is carried to the window's.
    void setText(const QString &text);
    void setProgress(int value, int maximum);
    bool isVisible() const;

private:
    QPointer<QProgressDialog> m_dialog;
    QTimer *m_timer = nullptr;
};

} // namespace reports
