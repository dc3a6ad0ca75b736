#pragma once

#include "screens/AppContext.h"

#include <QWidget>

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace logon {

// The logon screen: user identifier, password and the Hijri working date.
// Built in two steps: the constructor makes the controls, load() runs the
// loading (configuration, splashes, first look at the database, dates).
class LOGON : public QWidget {
    Q_OBJECT
public:
    explicit LOGON(core::AppContext &ctx, QWidget *parent = nullptr);

    // The loading. False when the database cannot be opened: its message
    // has been shown and programEnds() emitted.
    bool load();

    // Fills the date selectors and the date boxes from today's Hijri date.
    void LOADDATES();

    // "موافق" (also Enter in the password box).
    void logOn();

    // True while the offer to create the first user is shown.
    bool offersFirstUser() const;

    // Under the progress while a register from before gets its search index.
    static inline const QString kIndexing = QStringLiteral("جار إعداد فهرس البحث عن الأشخاص...");

    // The first user's password typed twice differently.
    static inline const QString kPasswordsDiffer =
        QStringLiteral("كلمة السر وتأكيدها غير متطابقتين، الرجاء كتابتهما من جديد");
    // Shown once per run when the database lies on a network share.
    static inline const QString kNetworkShareNotice = QStringLiteral(
        "ملف قاعدة البيانات في مجلد مشترك على الشبكة. يعمل البرنامج عليه بطريقة أبطأ تحمي البيانات، "
        "لكن عمل عدة أجهزة على ملف واحد في مجلد مشترك قد يعرضه للتلف؛ "
        "الأفضل أن تعمل الأجهزة على خادم قاعدة بيانات مشترك.");

signals:
    // The splash windows are to be shown (frmLogo2 too when logo2).
    void splashesWanted(bool logo2);
    // The logon succeeded: the state is filled and the backup taken.
    void loggedOn();
    // "خروج".
    void closeRequested();
    // The database cannot be opened; the program ends with this code.
    void programEnds(int exitCode);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void buildRemembrance();
    QGridLayout *buildLogonPanel();
    QHBoxLayout *buildDateRow();
    QHBoxLayout *buildCalendarChoice();
    QLabel *buildOtherDatabaseList();
    void buildFirstUserPanel();
    QHBoxLayout *buildButtons();
    void buildBackupProgress();
    void connectControls();

    // The steps of logOn.
    engine::TableCursor *findUser(core::CursorSlot &slot) const; // null when unknown
    bool workingDateGiven() const;
    void fillLogonState(engine::TableCursor &users);
    // A password accepted as typed (an older file) or at a lower cost is
    // stored as today's hash.
    void renewPassword(const QString &was, const QString &renewed);
    core::OpenResult takeLogonBackup(); // the connection as reopened after the copy
    void prepareSearchIndex();
    void fillFileList();
    void chooseOtherDatabase();
    void pickDatePart(const QString &chosen, QLineEdit *box, QString core::LogonState::*part);
    void updateFirstUserOffer(bool usersEmpty);
    bool usersEmptyIn(const QString &dbFile, const QString &server = {}) const;
    void createFirstUser();
    // Opens the connection for a logon unless it is open on db_file already.
    bool openForLogon();
    void failOpening(const core::OpenResult &result);
    // The network-share notice, when the data store says it is due.
    void tellNetworkShare();
    void refuse(const QString &message, QWidget *focus);

    core::AppContext &m_ctx;

    QLabel *Label1;
    QLabel *LABEL2;
    QLabel *Label9;
    QLabel *Label3;
    QLineEdit *USERID_TEXT;
    QLineEdit *PASSWORD_TEXT;
    QLineEdit *YY_TEXT;
    QLineEdit *MM_TEXT;
    QLineEdit *DD_TEXT;
    QComboBox *Combo1;
    QComboBox *Combo2;
    QComboBox *Combo3;
    QButtonGroup *Option1;
    QRadioButton *m_gregorian;
    QRadioButton *m_hijra;
    QListWidget *File1;
    QPushButton *m_ok;    // "ok"
    QPushButton *m_close; // "close"

    QGroupBox *m_firstUser;
    QLineEdit *m_firstId;
    QLineEdit *m_firstPassword;
    QLineEdit *m_firstConfirm;
    QLineEdit *m_firstName;
    QPushButton *m_createUser;

    QProgressBar *m_backupProgress; // "backupProgress": the logon backup's copy
    QLabel *m_backupLabel;
    bool m_backingUp = false;
};

} // namespace logon
