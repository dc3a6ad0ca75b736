#pragma once

#include "screens/PersonRecordScreen.h"
#include "followup/ProblemRecords.h"

#include <array>
#include <functional>

class QGridLayout;
class QGroupBox;
class QPushButton;
class QTabWidget;

namespace core {
class DataGrid;
class DataSource;
class KeyLookup;
class LookupCombo;
class TextArea;
} // namespace core

namespace followup {

// The field evaluation screen, on two pages.
//
// Page 0: the evaluations of a person (table Field_Evaluation, key
// tamrel_no + seq_no, numbered per person) with the judgements of the visit,
// and up to three problems found at it (table problems) in three slots; the
// list grid shows the person's evaluations.
//
// Page 1: the diary of one problem (table follow_up_Problems): what was done
// about it, when and by whom, found by the record's number auto_no and
// moved through in stored order; its own grid DBGrid2 lists the chosen
// problem's records.
//
// The standard buttons act on the page shown: add, update, delete and the
// four moves work on page 1's diary there, where clear and find do nothing.
class frmEvaluation : public core::PersonRecordScreen {
    Q_OBJECT
public:
    static constexpr const char *kTable = "Field_Evaluation";
    static constexpr int kSlotCount = 3;
    static inline const QString kCaption = QStringLiteral("التقويم الميداني");
    static inline const QString kEvaluationPage = QStringLiteral("بيانات التقويم");
    static inline const QString kDiaryPage = QStringLiteral("متابعة المشكلات");
    static inline const QString kAllDiarySql =
        QStringLiteral("SELECT * FROM follow_up_Problems ORDER BY auto_no");
    static inline const QString kProblemDiarySql =
        QStringLiteral("SELECT * FROM follow_up_Problems WHERE code = ? ORDER BY auto_no");
    // DBGrid2's columns: the problem code and the record number.
    static constexpr int kDiaryCodeColumn = 0;
    static constexpr int kDiaryNumberColumn = 5;

    explicit frmEvaluation(core::AppContext &ctx, QWidget *parent = nullptr);

    void DATATOTEXT() override;

private:
    struct ProblemSlot {
        QLineEdit *code = nullptr;
        core::LookupCombo *problem = nullptr;
        core::TextArea *description = nullptr;
        QPushButton *more = nullptr;
    };

    QWidget *buildEvaluationPage();
    QWidget *buildDiaryPage();
    void createDiaryFields(QWidget *page);
    QPushButton *createDiaryList(QWidget *page);
    QGridLayout *layOutDiaryFields();
    QGroupBox *buildProblemsFrame();

    void CLEARFIELDS() override;
    void loadLookups() override;
    void refreshList() override;
    void personChanged(bool byUser) override;
    void afterAdd(bool added) override;
    void afterUpdate(bool updated) override;
    void afterDelete(bool deleted) override;

    void addClicked() override;
    void updateClicked() override;
    void deleteClicked() override;
    void clearClicked() override;
    void findClicked() override;
    void firstrecClicked() override;
    void prevrecClicked() override;
    void nextrecClicked() override;
    void lastrecClicked() override;

    bool onDiaryPage() const;
    void pageShown(int page);

    // --- problem slots of page 0
    problems::Evaluation shownEvaluation() const;
    QList<problems::Slot> slotContents() const;
    // Fills the free slots with the evaluation's stored problems, in stored order.
    void showProblems();
    // Empties the problem lists and codes of the slots (descriptions stay),
    // then shows the stored problems again.
    void showStoredProblemsAgain();
    bool writeProblems(const std::function<void(engine::Database &)> &write);
    void slotButtonClicked(int slot);

    // --- diary of page 1
    void requeryDiary();
    void lookUpProblem();
    void diaryAdd();
    void diaryUpdate();
    void diaryDelete();
    void diaryMove(bool toEnd, bool forward);
    void diaryChoose();
    void showDiaryRecord(const problems::DiaryRecord &record);
    problems::DiaryRecord diaryOnPage() const;
    void showComposedDate();

    QTabWidget *SSTab1 = nullptr;

    // page 0
    QLineEdit *txt_evaluator_name = nullptr;
    core::LookupCombo *dbc_evaluator = nullptr;
    core::DateSelector *m_date = nullptr; // Combo1..Combo3, Text1
    core::LookupCombo *DBC_prayer_evaluation = nullptr;
    core::LookupCombo *dbc_evaluation_place = nullptr;
    core::LookupCombo *dbc_practice_of_islam = nullptr;
    core::LookupCombo *dbc_integrity = nullptr;
    core::LookupCombo *dbc_arabic_language_learning = nullptr;
    core::LookupCombo *dbc_calling_non_muslim = nullptr;
    core::LookupCombo *dbc_relation_with_muslims = nullptr;
    core::LookupCombo *dbc_relation_with_non_muslims = nullptr;
    core::LookupCombo *dbc_overall_evaluation = nullptr;
    core::LookupCombo *dbc_name_of_officia = nullptr;
    core::TextArea *txt_remarks = nullptr;
    std::array<ProblemSlot, kSlotCount> m_slots;

    // page 1
    core::KeyLookup *DBC_CODE = nullptr;
    QLineEdit *txt_tamrel_no1 = nullptr;
    QLineEdit *txt_new_a = nullptr;
    core::DateSelector *m_infoDate = nullptr; // Combo4..Combo6
    QLineEdit *txt_date_information = nullptr;
    QLineEdit *txt_name_of_follower = nullptr;
    core::LookupCombo *dbc_Problems_Evaluation = nullptr;
    core::TextArea *txt_notes = nullptr;
    QLineEdit *txt_auto_no = nullptr;
    core::DataSource *m_diaryData = nullptr; // Data_follow_up_problems
    core::DataGrid *DBGrid2 = nullptr;
};

} // namespace followup
