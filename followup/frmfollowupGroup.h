#pragma once

#include "screens/RecordScreen.h"

class QLineEdit;

namespace core {
class LookupCombo;
}

namespace followup {

// The follow-up groups screen: each group's names, telephone, mobile,
// supervisor and language (table followup_group, key group_name).
class frmfollowupGroup : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "followup_group";
    static constexpr const char *kListSql = "select * from followup_group";
    static constexpr const char *kLanguageSql = "select * from category1";

    explicit frmfollowupGroup(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void loadLookups() override;

    QLineEdit *group_name = nullptr;
    QLineEdit *english_NAME = nullptr;
    QLineEdit *phone = nullptr;
    QLineEdit *mobile = nullptr;
    QLineEdit *leader_name = nullptr;
    core::LookupCombo *dbc_language = nullptr;
};

} // namespace followup
