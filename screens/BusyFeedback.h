#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace core {

// Tells the user that work goes on while the window stays usable: the busy
// pointer at once, and after half a second a small panel over the given
// widget with what is being done, a progress bar (moving, or a percentage
// once one is given), a line of detail (rows found so far, the page being
// written) and a stop button. Esc in that widget's window stops too.
// Nothing here stops the work itself: the owner connects stopRequested() to
// what does (BackgroundQuery::cancel...). Without a widget there is only
// the pointer.
//
//     core::BusyFeedback busy(grid);
//     connect(&busy, &core::BusyFeedback::stopRequested, &query, &core::BackgroundQuery::cancel);
//     busy.start();                 // when the work goes to the background
//     busy.setFound(rows);          // as rows come
//     busy.finish();                // when it ends, however it ends
//
// The texts and the progress may be set from the thread doing the work:
// they are carried to the panel's thread.
class BusyFeedback : public QObject {
    Q_OBJECT
public:
    static constexpr int kPanelDelayMs = 500;

    // `over`: the widget the panel stands over (it owns this object); null:
    // the pointer alone.
    explicit BusyFeedback(QWidget *over);
    ~BusyFeedback() override;

    // `text` says what is being done (empty: a general "working").
    void start(const QString &text = {});
    // What is being done now, while the work goes on.
    void setText(const QString &text);
    // 0..100, or -1 while the share of the work is unknown.
    void setProgress(int percent);
    // `done` of `total` steps (pages, rows).
    void setProgress(qint64 done, qint64 total);
    void setDetail(const QString &text);
    // The detail "rows found so far".
    void setFound(qint64 rows);
    void finish();
    bool isActive() const { return m_active; }
    // The panel (shown half a second after start()); objectName "busyPanel",
    // with "busyProgress", "busyText", "busyDetail" and the button
    // "busyStop". Null without a widget.
    QFrame *panel() const { return m_panel; }

signals:
    void stopRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Carries a call made on another thread to this object's; true then.
    template <typename Call>
    bool elsewhere(Call call);
    void showPanel();
    void place();

    QPointer<QWidget> m_over;
    QFrame *m_panel = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_text = nullptr;
    QLabel *m_detail = nullptr;
    QPushButton *m_stop = nullptr;
    QTimer *m_delay;
    bool m_active = false;
};

} // namespace core
