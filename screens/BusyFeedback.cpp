#include "screens/BusyFeedback.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace core {

namespace {

const QString kWorking = QStringLiteral("جار التنفيذ...");
const QString kStop = QStringLiteral("إيقاف (Esc)");

} // namespace

BusyFeedback::BusyFeedback(QWidget *over) : QObject(over), m_over(over), m_delay(new QTimer(this))
{
    m_delay->setSingleShot(true);
    m_delay->setInterval(kPanelDelayMs);
    connect(m_delay, &QTimer::timeout, this, &BusyFeedback::showPanel);
    if (!over)
        return;
    m_panel = new QFrame(over);
    m_bar = new QProgressBar(m_panel);
    m_text = new QLabel(m_panel);
    m_detail = new QLabel(m_panel);
    m_stop = new QPushButton(kStop, m_panel);
    m_panel->setObjectName(QStringLiteral("busyPanel"));
    m_panel->setFrameShape(QFrame::StyledPanel);
    m_panel->setAutoFillBackground(true);
    m_panel->setLayoutDirection(Qt::RightToLeft);
    m_bar->setObjectName(QStringLiteral("busyProgress"));
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(180);
    m_text->setObjectName(QStringLiteral("busyText"));
    m_detail->setObjectName(QStringLiteral("busyDetail"));
    m_stop->setObjectName(QStringLiteral("busyStop"));
    m_stop->setFocusPolicy(Qt::NoFocus);
    auto *layout = new QVBoxLayout(m_panel);
    auto *top = new QHBoxLayout;
    top->addWidget(m_text, 1);
    top->addWidget(m_detail);
    layout->addLayout(top);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_bar, 1);
    bottom->addWidget(m_stop);
    layout->addLayout(bottom);
    m_panel->hide();
    connect(m_stop, &QPushButton::clicked, this, &BusyFeedback::stopRequested);
}

BusyFeedback::~BusyFeedback()
{
    finish();
}

template <typename Call>
bool BusyFeedback::elsewhere(Call call)
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    return true;
}

void BusyFeedback::start(const QString &text)
{
    setText(text);
    setDetail({});
    setProgress(-1);
    if (m_active)
        return;
    m_active = true;
    // The pointer shows the work at once; the window stays usable.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (m_over)
        qApp->installEventFilter(this);
    m_delay->start();
}

void BusyFeedback::setText(const QString &text)
{
    if (elsewhere([this, text] { setText(text); }))
        return;
    if (m_text)
        m_text->setText(text.isEmpty() ? kWorking : text);
}

void BusyFeedback::setProgress(int percent)
{
    if (elsewhere([this, percent] { setProgress(percent); }) || !m_bar)
        return;
    if (percent < 0) {
        m_bar->setRange(0, 0);
    } else {
        m_bar->setRange(0, 100);
        m_bar->setValue(qBound(0, percent, 100));
    }
}

void BusyFeedback::setProgress(qint64 done, qint64 total)
{
    setProgress(total > 0 ? int(qBound<qint64>(0, done, total) * 100 / total) : -1);
}

void BusyFeedback::setDetail(const QString &text)
{
    if (elsewhere([this, text] { setDetail(text); }))
        return;
    if (m_detail)
        m_detail->setText(text);
}

void BusyFeedback::setFound(qint64 rows)
{
    setDetail(QStringLiteral("عدد السجلات: %1").arg(rows));
}

void BusyFeedback::finish()
{
    if (!m_active)
        return;
    m_active = false;
    m_delay->stop();
    if (m_panel)
        m_panel->hide();
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

void BusyFeedback::showPanel()
{
    if (!m_active || !m_over || !m_panel)
        return;
    place();
    m_panel->show();
    m_panel->raise();
}

void BusyFeedback::place()
{
    m_panel->adjustSize();
    const QSize size = m_panel->sizeHint().boundedTo(m_over->size());
    m_panel->resize(size);
    m_panel->move((m_over->width() - size.width()) / 2, qMax(0, m_over->height() - size.height() - 8));
}

bool BusyFeedback::eventFilter(QObject *watched, QEvent *event)
{
    if (m_active && m_over && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Only in the window of the work: Esc in a message box is that box's.
        if (key->key() == Qt::Key_Escape && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_over->window()) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept(); // no shortcut of the window takes it
                return false;
            }
            emit stopRequested();
            return true;
        }
    }
    if (m_active && watched == m_over && event->type() == QEvent::Resize && m_panel->isVisible())
        place();
    return QObject::eventFilter(watched, event);
}

} // namespace core
