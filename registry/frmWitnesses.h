#pragma once

#include "screens/RecordScreen.h"

class QLineEdit;

namespace registry {

// The witnesses screen: the people who can witness a declaration of faith,
// with their contact details (table witnesses, key NAME).
class frmWitnesses : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "witnesses";
    static constexpr const char *kListSql = "select * from witnesses";

    explicit frmWitnesses(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;

    QLineEdit *NAME_TEXT = nullptr;
    QLineEdit *english_NAME_TEXT = nullptr;
    QLineEdit *PHONE_TEXT = nullptr;
    QLineEdit *PAGER_TEXT = nullptr;
    QLineEdit *ADDRESS_TEXT = nullptr;
    QLineEdit *job_text = nullptr;
};

} // namespace registry
