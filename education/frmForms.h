#pragma once

#include "screens/RecordScreen.h"

#include <array>

class QLineEdit;
class QPushButton;

namespace education {

// The printable forms catalogue: one record per blank form with up to
// three files in the forms folder, each opened by its own button in the
// desktop's application for it (table forms, key form_no).
class frmForms : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "forms";
    static constexpr const char *kListSql = "select * from forms";

    explicit frmForms(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void afterDelete(bool deleted) override;
    void listClicked() override;
    void listOkClicked() override;
    void gridDoubleClicked() override;

    // Opens the file named in box n (0, 1, 2 for txt_file_1..3).
    void openFile(int n);

    QLineEdit *txt_form_no = nullptr;
    QLineEdit *txt_description = nullptr;
    std::array<QLineEdit *, 3> m_fileBoxes{}; // txt_file_1..3
    std::array<QPushButton *, 3> m_openButtons{}; // Command1..3
    QPushButton *cmd_print = nullptr;
    // The five boxes in the order of their fields.
    std::array<QLineEdit *, 5> m_boxes{};
};

} // namespace education
