#pragma once

#include "data/BackgroundTask.h"
#include "data/Backups.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace core {
struct AppContext;
class BusyFeedback;
} // namespace core

namespace logon {

// Putting a backup back. The list holds the copies of the backup folder and
// the databases an earlier restore set aside, newest first, each with when
// it was taken, its size and its persons (counted in the background). The
// copy chosen is checked and put in place of the database in use, which is
// kept beside it as velm-before-restore-<day>.mdb; the program then returns
// to the logon. Refused, with nothing changed, while another workstation
// has the database open. On a server the copy goes back with velm-migrate,
// which the screen explains. Only for those who may open the users screen.
class frmRestore : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPermission = 8;
    static inline const QString kCaption = QStringLiteral("استعادة نسخة احتياطية");
    static inline const QString kNoPermission = QStringLiteral("ليست لديك صلاحية فتح هذه الشاشة");
    static inline const QString kChooseFirst = QStringLiteral("اختر من القائمة النسخة التي تريد استعادتها");
    static inline const QString kInUse = QStringLiteral(
        "لا يمكن استعادة النسخة الآن: قاعدة البيانات مفتوحة على جهاز آخر.\n"
        "أغلق البرنامج على الأجهزة الأخرى ثم أعد المحاولة. لم يتغير شيء.");
    static inline const QString kCounting = QStringLiteral("...");
    static inline const QString kUnreadable = QStringLiteral("لا تفتح");

    // The screen, or nothing when the logged-on user lacks the permission
    // (the user is told so).
    static frmRestore *open(core::AppContext &ctx, QWidget *parent = nullptr);
    ~frmRestore() override;

    // Reads the list of copies again.
    void refresh();
    // Asks, then restores the copy of the chosen row.
    void restoreChosen();
    // The copies listed, in the list's order.
    const QList<core::backups::BackupFile> &copies() const { return m_copies; }
    static QString kindCaption(core::backups::BackupFile::Kind kind);

signals:
    // The backup is in place: the frame returns to the logon.
    void restored();

private:
    frmRestore(core::AppContext &ctx, QWidget *parent);
    void buildList();
    void countPersons();
    void showPersons(int row, qint64 persons);
    void explainServer(const core::backups::BackupFile &copy);
    void startRestore(const core::backups::BackupFile &copy);
    void restoreEnded();
    QString failureText() const;

    core::AppContext &m_ctx;
    QLabel *m_note = nullptr;
    QTableWidget *m_list = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_close = nullptr;
    core::BusyFeedback *m_busy = nullptr;
    QList<core::backups::BackupFile> m_copies;
    // The restore's outcome, written by its work and read after it.
    int m_failure = 0;
    QString m_keptAs;
    qint64 m_persons = 0;
    // Last: they stop and wait for their work before what it uses goes.
    core::BackgroundTask m_counting{this};
    core::BackgroundTask m_work{this};
};

} // namespace logon
