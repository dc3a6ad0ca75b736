#pragma once

#include "screens/RecordScreen.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLineEdit;

namespace core {
struct AppContext;
}

namespace logon {

// The users screen: who may log on, with which password, and which of the
// fourteen main-menu screens each user may open. A password is typed, never
// shown: the box stays empty for a shown user, and a save without a new
// password keeps the stored one.
class SECURITY : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr int kPermissionCount = 14;
    static inline const QString kAuditCaption = QStringLiteral("سجل التعديلات");

    explicit SECURITY(core::AppContext &ctx, QWidget *parent = nullptr);

    // Caption of permission check box n (1..14).
    static QString permissionCaption(int n);
    // The fields the list shows, which are also its headings.
    static QStringList listColumns();

    void DATATOTEXT() override;
    void texttodata() override;

protected:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void updateClicked() override;

private:
    struct TextField {
        QString field;
        QLineEdit *edit;
    };

    QLineEdit *addText(const QString &name, const QString &field);
    void layOutFrames();
    void addAuditButton();
    // Something other than nothing or the one blank a cleared box holds.
    bool passwordTyped() const;
    // The audit trail's viewer in a window of its own (one at a time).
    void openAudit();

    QLineEdit *m_userId = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_englishName = nullptr;
    QLineEdit *m_phone = nullptr;
    QLineEdit *m_pager = nullptr;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_job = nullptr;
    QList<TextField> m_texts;   // in the order of the table
    QList<QCheckBox *> m_checks; // Check1..Check14
    bool m_updating = false;     // VALIDATE runs for update, not add
    QPointer<QWidget> m_audit;
};

} // namespace logon
