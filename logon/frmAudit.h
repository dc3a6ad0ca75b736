#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <utility>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace core {
struct AppContext;
class DataGrid;
class DataSource;
class DateSelector;
} // namespace core

namespace logon {

// The audit trail's viewer: who added, changed or deleted which record, and
// when, newest first. The filters narrow it to a table, a record (with the
// rows below it: person 5 finds 5 and 5/2), a user and a span of days; the
// list reads in the background like every list. The row chosen shows its
// changes below, field by field; a password only says that it changed.
// Only a user who may open the users screen may open it.
class frmAudit : public QWidget {
    Q_OBJECT
public:
    // The users screen's permission.
    static constexpr int kPermission = 8;
    static inline const QString kCaption = QStringLiteral("سجل التعديلات");
    static inline const QString kNoPermission = QStringLiteral("ليست لديك صلاحية فتح هذه الشاشة");
    static inline const QString kIncompleteDate =
        QStringLiteral("التاريخ غير مكتمل أو غير صحيح: اختر السنة والشهر واليوم، أو اتركه فارغاً");
    static inline const QString kPasswordChanged = QStringLiteral("تم تغييره");

    // The viewer, or nothing when the logged-on user lacks the permission
    // (the user is told so).
    static frmAudit *open(core::AppContext &ctx, QWidget *parent = nullptr);

    // The tables the trail covers, (table as stored, its caption).
    static const QList<std::pair<QString, QString>> &auditedTables();
    static QString tableCaption(const QString &table);
    static QString actionCaption(const QString &action);

    // Lists the rows the filters keep; false (with the message shown) when
    // a date is half chosen.
    bool search();

private:
    frmAudit(core::AppContext &ctx, QWidget *parent);
    void buildFilters(QWidget *area);
    void buildGrid();
    void showChanges();
    QLineEdit *dateDisplay(const QString &name);

    core::AppContext &m_ctx;
    QComboBox *m_table = nullptr;
    QLineEdit *m_recordKey = nullptr;
    QLineEdit *m_user = nullptr;
    core::DateSelector *m_from = nullptr;
    core::DateSelector *m_to = nullptr;
    QPushButton *m_search = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_close = nullptr;
    core::DataSource *m_data = nullptr;
    core::DataGrid *m_grid = nullptr;
    QTableWidget *m_changes = nullptr;
};

} // namespace logon
