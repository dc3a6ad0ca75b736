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
// widget with a progress bar (moving, or a percentage once one is given),
// a line of detail (rows found so far) and a stop button. Esc in that
// widget's window stops too. Nothing here stops the work itself: the owner
// connects stopRequested() to what does (BackgroundQuery::cancel...).
//
//     core::BusyFeedback busy(grid);
//     connect(&busy, &core::BusyFeedback::stopRequested, &query, &core::BackgroundQuery::cancel);
//     busy.start();                 // when the work goes to the background
//     busy.setFound(rows);          // as rows come
//     busy.finish();                // when it ends, however it ends
class BusyFeedback : public QObject {
    Q_OBJECT
public:
    static constexpr int kPanelDelayMs = 500;

    explicit BusyFeedback(QWidget *over);
    ~BusyFeedback() override;

    void start(const QString &text = {});
    // 0..100, or -1 while the share of the work is unknown.
    void setProgress(int percent);
    void setDetail(const QString &text);
    // The detail "rows found so far".
    void setFound(qint64 rows);
    void finish();
    bool isActive() const { return m_active; }
    // The panel (shown half a second after start()); objectName "busyPanel",
    // with "busyProgress", "busyText" and the button "busyStop".
    QFrame *panel() const { return m_panel; }

signals:
    void stopRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPanel();
    void place();

    QPointer<QWidget> m_over;
    QFrame *m_panel;
    QProgressBar *m_bar;
    QLabel *m_text;
    QLabel *m_detail;
    QPushButton *m_stop;
    QTimer *m_delay;
    bool m_active = false;
};

} // namespace core
