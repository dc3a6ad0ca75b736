#pragma once

#include "screens/RecordScreen.h"
#include "screens/Services.h"

#include <QStringList>

#include <optional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace core {
struct LogonState;
class DateSelector;
class LookupCombo;
} // namespace core

namespace reports {

// The report catalogue (table rpts, key report): one row per report file
// of the report folder, narrowed by category. cmndprint shows the report
// of the grid's current row, with the filter values when Check1 is ticked.
class frmRpts : public core::RecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "rpts";
    static constexpr const char *kAllSql = "SELECT * FROM rpts";
    // Reports the list shows without scrolling.
    static constexpr int kListRows = 12;
    static constexpr const char *kCategorySql = "SELECT * FROM rpts WHERE parms = ?";
    static inline const QString kPersonPrompt = QStringLiteral("أدخل رقم Tamrel");

    // The entries of Combo1, in order; "الكل" first.
    static QStringList categories();
    // The code an entry writes into parms_text and selects; none for "الكل"
    // (every row). An entry the list does not know counts as "الوثائق".
    static std::optional<QString> categoryCode(const QString &entry);
    // The number in what was typed: its leading digits (Arabic-Indic ones
    // too) without leading zeros; "0" when it starts with none.
    static QString leadingNumber(const QString &typed);

    explicit frmRpts(core::AppContext &ctx, QWidget *parent = nullptr);

    void DATATOTEXT() override;
    void texttodata() override;

private:
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void loadLookups() override;
    void afterUpdate(bool updated) override;

    QGridLayout *buildCatalogue();
    void placeListBesideFilter();
    void sizeList();
    void buildFilter(const core::LogonState &logon);
    void connectControls();
    void chooseCategory(const QString &entry);
    void showChosenReport();
    std::optional<core::ReportValues> filterValues(const QStringList &parameters);

    QLineEdit *report_text = nullptr;
    QLineEdit *desc_text = nullptr;
    QLineEdit *parms_text = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *cmndprint = nullptr;
    QPushButton *Command1 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QCheckBox *Check1 = nullptr;
    core::DateSelector *m_from = nullptr; // Combo4, Combo3, Combo2
    core::DateSelector *m_to = nullptr;   // Combo5, Combo6, Combo7
    core::LookupCombo *dbc_daeyah_1 = nullptr;
    core::LookupCombo *dbc_language1 = nullptr;
    core::LookupCombo *dbc_nationality = nullptr;
    QLineEdit *text1 = nullptr;
    QLineEdit *text2 = nullptr;
    QLineEdit *Text3 = nullptr;
};

} // namespace reports
