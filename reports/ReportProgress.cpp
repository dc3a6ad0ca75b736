#include "ReportProgress.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

namespace reports {

ReportProgress::ReportProgress(QWidget *window, const QString &text, std::function<void()> onCancel)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_dialog = new QProgressDialog(text, QStringLiteral("إلغاء"), 0, 0, window);
    m_dialog->setObjectName(QStringLiteral("reportProgress"));
    m_dialog->setWindowTitle(QStringLiteral("التقارير"));
    m_dialog->setLayoutDirection(Qt::RightToLeft);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setMinimumDuration(1 << 30); // shown by the timer below, not by setValue
    m_dialog->reset();
    m_dialog->hide();
    connect(m_dialog, &QProgressDialog::canceled, this, [cancel = std::move(onCancel), this] {
        if (m_dialog)
            m_dialog->setLabelText(QStringLiteral("جاري الإيقاف..."));
        if (cancel)
            cancel();
    });
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_dialog)
            m_dialog->show();
    });
    m_timer->start(500);
}

ReportProgress::~ReportProgress()
{
    QApplication::restoreOverrideCursor();
    delete m_dialog;
}

void ReportProgress::setText(const QString &text)
{
    QMetaObject::invokeMethod(this, [this, text] {
        if (m_dialog)
            m_dialog->setLabelText(text);
    });
}

void ReportProgress::setProgress(int value, int maximum)
{
    QMetaObject::invokeMethod(this, [this, value, maximum] {
        if (!m_dialog)
            return;
        m_dialog->setMaximum(maximum);
        m_dialog->setValue(value);
    });
}

bool ReportProgress::isVisible() const
{
    return m_dialog && m_dialog->isVisible();
}

} // namespace reports
