#pragma once

#include "screens/RecordScreen.h"

#include <array>

class QLineEdit;
class QPushButton;

namespace core {
class DataSource;
class LookupCombo;
class TextArea;
} // namespace core

namespace education {

// The course material catalogue: one record per teaching file, kept in a
// subfolder of the material folder named after its language (table
// CourseMaterial, key language and course_no). The list follows the chosen
// language; a record's file opens in the desktop's application for it.
class frmCourseMaterial : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "CourseMaterial";
    static constexpr const char *kListSql = "select * from coursematerial";
    static constexpr const char *kLanguageListSql =
        "select * from coursematerial WHERE language = ?";
    static constexpr const char *kLanguageSql = "select * from category1";

    explicit frmCourseMaterial(core::AppContext &ctx, QWidget *parent = nullptr);


private:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void loadLookups() override;
    // The grid lists the material of the language chosen now.
    void refreshList() override;
    void afterDelete(bool deleted) override;
    void listClicked() override;
    void listOkClicked() override;
    void gridDoubleClicked() override;

    // Puts the grid's current language and course into the key and finds it.
    void chooseGridRow();
    void openFile();
    // One folder per language entry under the material folder; existing
    // folders stay and every failure is passed over.
    void makeLanguageFolders();

    core::LookupCombo *dbc_language = nullptr;
    QLineEdit *txt_course_no = nullptr;
    core::TextArea *txt_description = nullptr;
    QLineEdit *txt_file_1 = nullptr;
    QLineEdit *txt_unit = nullptr;
    QPushButton *open_file = nullptr;
    QPushButton *cmd_print = nullptr;
    core::DataSource *language_data = nullptr;
    // The five controls in the order of their fields.
    std::array<QWidget *, 5> m_controls{};
};

} // namespace education
