#include "followup/frmEvaluation.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/DateSelector.h"
#include "screens/KeyLookup.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "data/Schema.h"
#include "screens/TextArea.h"
#include "engine/EngineError.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>


namespace followup {

namespace {

const QString kProblemsTable = QStringLiteral("problems");
const QString kDiaryTable = QStringLiteral("follow_up_Problems");

// The codes offered from the typed number on; a text that is no number
// offers none (nothing lies beyond the largest number).
core::KeyLookup::Range codesFrom(const QString &typed)
{
    if (typed.isEmpty())
        return {qint64(0), {}};
    const std::optional<qint64> from = problems::wholeNumber(typed);
    return {from ? QVariant(*from) : QVariant(), {}};
}

QLineEdit *displayBox(const QString &name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

} // namespace

frmEvaluation::frmEvaluation(core::AppContext &ctx, QWidget *parent)
    : PersonRecordScreen(ctx, QStringLiteral("frmEvaluation"), kCaption, QLatin1String(kTable), true,
                         ListRows::OfPerson, parent)
{
    txt_a_new_name->setObjectName(QStringLiteral("TXT_A_NEW_NAME"));

    SSTab1 = new QTabWidget(formArea());
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->addTab(buildEvaluationPage(), kEvaluationPage);
    SSTab1->addTab(buildDiaryPage(), kDiaryPage);
    auto *form = new QVBoxLayout(formArea());
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(SSTab1);
    connect(SSTab1, &QTabWidget::currentChanged, this, &frmEvaluation::pageShown);

    // The evaluation's fields in the order they are shown and stored; the
    // list grid takes its headings from their captions.
    bindField(QStringLiteral("tamrel_no"), dbc_tamrel);
    bindField(QStringLiteral("seq_no"), txt_seq_no, QStringLiteral("رقم التقويم"));
    bindField(QStringLiteral("evaluator_name"), txt_evaluator_name);
    bindField(QStringLiteral("evaluator"), dbc_evaluator);
    bindField(QStringLiteral("date"), m_date, QStringLiteral("التاريخ"));
    bindField(QStringLiteral("prayer_evaluation"), DBC_prayer_evaluation);
    bindField(QStringLiteral("evaluation_place"), dbc_evaluation_place);
    bindField(QStringLiteral("practice_of_islam"), dbc_practice_of_islam);
    bindField(QStringLiteral("integrity"), dbc_integrity);
    bindField(QStringLiteral("arabic_language_learning"), dbc_arabic_language_learning);
    bindField(QStringLiteral("calling_non_muslim"), dbc_calling_non_muslim);
    bindField(QStringLiteral("relation_with_muslims"), dbc_relation_with_muslims);
    bindField(QStringLiteral("relation_with_nonmuslims"), dbc_relation_with_non_muslims);
    bindField(QStringLiteral("overall_evaluation"), dbc_overall_evaluation);
    bindField(QStringLiteral("name_of_official"), dbc_name_of_officia);
    bindField(QStringLiteral("remarks"), txt_remarks);

    // Tab follows the pages as they read: row by row, right to left.
    QList<QWidget *> order = {dbc_tamrel, txt_seq_no, txt_evaluator_name, dbc_evaluator,
                              m_date->yearList(), m_date->monthList(), m_date->dayList(),
                              dbc_evaluation_place, DBC_prayer_evaluation, dbc_practice_of_islam,
                              dbc_integrity, dbc_arabic_language_learning, dbc_calling_non_muslim,
                              dbc_relation_with_muslims, dbc_relation_with_non_muslims,
                              dbc_overall_evaluation, dbc_name_of_officia, txt_remarks};
    for (const ProblemSlot &slot : m_slots)
        order << slot.problem << slot.description << slot.more;
    order << DBC_CODE << m_infoDate->yearList() << m_infoDate->monthList() << m_infoDate->dayList()
          << txt_name_of_follower << dbc_Problems_Evaluation << txt_notes << DBGrid2;
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    // The problems are saved with the evaluation: typing in them is an edit of it.
    for (const ProblemSlot &slot : m_slots) {
        watchEdits(slot.problem);
        watchEdits(slot.description);
    }

    listData()->setObjectName(QStringLiteral("field_evaluation_data"));
    setFirstFocus(dbc_tamrel);
    loadForm();
}

QWidget *frmEvaluation::buildEvaluationPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("evaluationPage"));

    txt_evaluator_name = new QLineEdit(page);
    txt_evaluator_name->setObjectName(QStringLiteral("txt_evaluator_name"));
    fitToField(txt_evaluator_name, QStringLiteral("evaluator_name"));
    const auto list = [this](const char *name, const char *field) {
        return fieldList(QLatin1String(name), QLatin1String(field));
    };
    dbc_evaluator = list("dbc_evaluator", "evaluator");
    DBC_prayer_evaluation = list("DBC_prayer_evaluation", "prayer_evaluation");
    dbc_evaluation_place = list("dbc_evaluation_place", "evaluation_place");
    dbc_practice_of_islam = list("dbc_practice_of_islam", "practice_of_islam");
    dbc_integrity = list("dbc_integrity", "integrity");
    dbc_arabic_language_learning = list("dbc_arabic_language_learning", "arabic_language_learning");
    dbc_calling_non_muslim = list("dbc_calling_non_muslim", "calling_non_muslim");
    dbc_relation_with_muslims = list("dbc_relation_with_muslims", "relation_with_muslims");
    dbc_relation_with_non_muslims = list("dbc_relation_with_non_muslims", "relation_with_nonmuslims");
    dbc_overall_evaluation = list("dbc_overall_evaluation", "overall_evaluation");
    dbc_name_of_officia = list("dbc_name_of_officia", "name_of_official");
    txt_remarks = textBox(QStringLiteral("txt_remarks"), 3);

    auto *grid = new QGridLayout;
    const auto field = [&](int row, int col, const QString &text, QWidget *control, int span = 1) {
        grid->addWidget(caption(text, control), row, col);
        grid->addWidget(control, row, col + 1, 1, span);
    };
    // The person and the evaluation number; the person's new names.
    grid->addWidget(caption(kPersonCaption, dbc_tamrel), 0, 0);
    grid->addWidget(dbc_tamrel, 0, 1);
    grid->addWidget(txt_seq_no, 0, 2, Qt::AlignLeading);
    grid->addWidget(caption(kNewNameCaption, txt_a_new_name), 1, 0);
    grid->addWidget(txt_a_new_name, 1, 1);
    grid->addWidget(txt_e_new_name, 1, 2, 1, 2);

    field(2, 0, QStringLiteral("اسم المقوم"), txt_evaluator_name);
    field(2, 2, QStringLiteral("المقوم"), dbc_evaluator);
    m_date = addDateRow(grid, 3, QStringLiteral("التاريخ "), QStringLiteral("Combo1"),
                        QStringLiteral("Combo2"), QStringLiteral("Combo3"), QStringLiteral("Text1"));
    field(4, 0, QStringLiteral("مكان التقييم"), dbc_evaluation_place);
    field(4, 2, QStringLiteral("تقييم الصلاة"), DBC_prayer_evaluation);
    field(5, 0, QStringLiteral("مدى التزامه بالدين"), dbc_practice_of_islam);
    field(5, 2, QStringLiteral("مستواه الأخلاقي"), dbc_integrity);
    field(6, 0, QStringLiteral("تعلم اللغة العربية"), dbc_arabic_language_learning);
    field(6, 2, QStringLiteral("دعوته لغير المسلمين"), dbc_calling_non_muslim);
    field(7, 0, QStringLiteral("العلاقة بالمسلمين"), dbc_relation_with_muslims);
    field(7, 2, QStringLiteral("العلاقة بغير المسلمين"), dbc_relation_with_non_muslims);
    field(8, 0, QStringLiteral("التقويم العام"), dbc_overall_evaluation);
    field(8, 2, QStringLiteral("اسم المنسق"), dbc_name_of_officia);
    grid->addWidget(caption(QStringLiteral("ملاحظات"), txt_remarks), 9, 0, Qt::AlignTop);
    grid->addWidget(txt_remarks, 9, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto *layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(buildProblemsFrame());
    layout->addStretch(1);
    return page;
}

QGroupBox *frmEvaluation::buildProblemsFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("المشكلات"));
    frame->setObjectName(QStringLiteral("problemsFrame"));
    auto *grid = new QGridLayout(frame);
    const char *descriptionNames[kSlotCount] = {"txt_problems_situation", "txt_problems_situation1",
                                                "txt_problems_situation2"};
    for (int i = 0; i < kSlotCount; ++i) {
        ProblemSlot &slot = m_slots[i];
        slot.code = displayBox(QStringLiteral("txt_code_show%1").arg(i + 1), frame);
        slot.code->setToolTip(QStringLiteral("رقم المشكلة"));
        slot.code->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        slot.code->setMaximumWidth(90);
        slot.problem = new core::LookupCombo(QStringLiteral("db_problem%1").arg(i + 1), frame);
        fitToField(slot.problem, QStringLiteral("Problems_Situation"), kProblemsTable);
        slot.description = textBox(QLatin1String(descriptionNames[i]), 2);
        slot.more = new QPushButton(QStringLiteral("..."), frame);
        slot.more->setObjectName(QStringLiteral("Command%1").arg(i + 1));
        slot.more->setAutoDefault(false);
        slot.more->setToolTip(kDiaryPage);
        slot.more->setMaximumWidth(40);
        connect(slot.more, &QPushButton::clicked, this, [this, i] { slotButtonClicked(i); });

        const int row = 1 + i;
        grid->addWidget(slot.code, row, 0, Qt::AlignTop);
        grid->addWidget(slot.problem, row, 1, Qt::AlignTop);
        grid->addWidget(slot.description, row, 2);
        grid->addWidget(slot.more, row, 3, Qt::AlignTop);
    }
    auto *problemLabel = new QLabel(QStringLiteral("المشكلة"), frame);
    problemLabel->setBuddy(m_slots[0].problem);
    auto *descriptionLabel = new QLabel(QStringLiteral("وصف المشكلة"), frame);
    descriptionLabel->setBuddy(m_slots[0].description);
    grid->addWidget(problemLabel, 0, 1);
    grid->addWidget(descriptionLabel, 0, 2);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);
    return frame;
}

QWidget *frmEvaluation::buildDiaryPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("diaryPage"));
    createDiaryFields(page);
    QPushButton *choose = createDiaryList(page);

    auto *chooseRow = new QHBoxLayout;
    chooseRow->addWidget(choose);
    chooseRow->addStretch(1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(layOutDiaryFields());
    layout->addWidget(DBGrid2, 1);
    layout->addLayout(chooseRow);

    connect(DBC_CODE, &core::KeyLookup::keyChosen, this, [this] {
        lookUpProblem();
        refreshList();
    });
    connect(m_infoDate, &core::DateSelector::picked, this, &frmEvaluation::showComposedDate);
    connect(choose, &QPushButton::clicked, this, &frmEvaluation::diaryChoose);
    connect(DBGrid2, &core::DataGrid::rowChosen, this, &frmEvaluation::diaryChoose);
    return page;
}

// The boxes of a diary entry on the page.
void frmEvaluation::createDiaryFields(QWidget *page)
{
    DBC_CODE = new core::KeyLookup(QStringLiteral("DBC_CODE"), kProblemsTable, QStringLiteral("code"),
                                   codesFrom, page);
    DBC_CODE->setStore(ctx().store);
    DBC_CODE->setMaximumWidth(160);
    txt_tamrel_no1 = displayBox(QStringLiteral("txt_tamrel_no1"), page);
    txt_tamrel_no1->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    txt_new_a = displayBox(QStringLiteral("txt_new_a"), page);
    m_infoDate = new core::DateSelector(QStringLiteral("Combo4"), QStringLiteral("Combo5"),
                                        QStringLiteral("Combo6"), page);
    m_infoDate->setYearsAround(ctx().logon, 3, 1);
    m_infoDate->setWorkingDate(ctx().logon);
    txt_date_information = displayBox(QStringLiteral("txt_date_information"), page);
    txt_date_information->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    txt_date_information->setMaximumWidth(120);
    txt_name_of_follower = new QLineEdit(page);
    txt_name_of_follower->setObjectName(QStringLiteral("txt_name_of_follower"));
    fitToField(txt_name_of_follower, QStringLiteral("name_of_follower"), kDiaryTable);
    dbc_Problems_Evaluation = new core::LookupCombo(QStringLiteral("dbc_Problems_Evaluation"), page);
    fitToField(dbc_Problems_Evaluation, QStringLiteral("Problems_Evaluation"), kDiaryTable);
    txt_notes = textBox(QStringLiteral("txt_notes"), 3);
    txt_auto_no = displayBox(QStringLiteral("txt_auto_no"), page);
    txt_auto_no->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    txt_auto_no->setMaximumWidth(120);
}

// The list of the diary entries (DBGrid2, headed by the page's captions)
// and its choose button, which is returned.
QPushButton *frmEvaluation::createDiaryList(QWidget *page)
{
    m_diaryData = new core::DataSource(QStringLiteral("Data_follow_up_problems"), this);
    m_diaryData->setQuery(kAllDiarySql);
    DBGrid2 = new core::DataGrid(page);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setMessageService(&ctx().messages);
    DBGrid2->setSaveFileChooser(ctx().saveFiles);
    DBGrid2->setDataSource(m_diaryData);
    DBGrid2->setMinimumHeight(150);
    auto *choose = new QPushButton(kListOkCaption, page);
    choose->setObjectName(QStringLiteral("Command4"));
    choose->setAutoDefault(false);

    // DBGrid2's headings are the captions of the page.
    const QHash<QString, QString> headings = {
        {QStringLiteral("code"), QStringLiteral("رقم المشكلة")},
        {QStringLiteral("date_information"), QStringLiteral("تاريخ المعلومة")},
        {QStringLiteral("name_of_follower"), QStringLiteral("اسم المتابع")},
        {QStringLiteral("problems_evaluation"), QStringLiteral("وضع المشكلة")},
        {QStringLiteral("notes"), QStringLiteral("ملاحظات")},
        {QStringLiteral("auto_no"), QStringLiteral("رقم السجل")},
    };
    DBGrid2->setHeadingProvider([headings](const QString &field) {
        return headings.value(field.toLower(), field);
    });
    return choose;
}

// The captions and boxes of a diary entry in a grid.
QGridLayout *frmEvaluation::layOutDiaryFields()
{
    auto *grid = new QGridLayout;
    const auto field = [&](int row, int col, const QString &text, QWidget *control, int span = 1) {
        grid->addWidget(caption(text, control), row, col);
        grid->addWidget(control, row, col + 1, 1, span);
    };
    field(0, 0, QStringLiteral("رقم المشكلة"), DBC_CODE);
    field(0, 2, QStringLiteral("رقم المسلم"), txt_tamrel_no1);
    field(1, 0, QStringLiteral("اسم المسلم"), txt_new_a, 3);
    auto *dateLine = new QHBoxLayout;
    dateLine->addWidget(m_infoDate);
    dateLine->addSpacing(12);
    dateLine->addWidget(txt_date_information);
    dateLine->addStretch(1);
    grid->addWidget(caption(QStringLiteral("تاريخ المعلومة"), m_infoDate->yearList()), 2, 0);
    grid->addLayout(dateLine, 2, 1);
    field(2, 2, QStringLiteral("رقم السجل"), txt_auto_no);
    field(3, 0, QStringLiteral("اسم المتابع"), txt_name_of_follower);
    field(3, 2, QStringLiteral("وضع المشكلة"), dbc_Problems_Evaluation);
    grid->addWidget(caption(QStringLiteral("ملاحظات"), txt_notes), 4, 0, Qt::AlignTop);
    grid->addWidget(txt_notes, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return grid;
}

void frmEvaluation::loadLookups()
{
    // Each code table is read once, for every list that shows it; a list
    // that cannot be read stays empty and its box still takes typing.
    struct Lists {
        int codeTable; // 0: the witnesses
        QList<core::LookupCombo *> lists;
    };
    const QList<Lists> all = {
        {13, {dbc_evaluator}},
        {15, {DBC_prayer_evaluation}},
        {12, {dbc_evaluation_place}},
        {8, {dbc_practice_of_islam, dbc_integrity, dbc_arabic_language_learning, dbc_calling_non_muslim}},
        {18, {dbc_relation_with_muslims, dbc_relation_with_non_muslims}},
        {14, {dbc_overall_evaluation}},
        {0, {dbc_name_of_officia}},
        {16, {m_slots[0].problem, m_slots[1].problem, m_slots[2].problem}},
        {17, {dbc_Problems_Evaluation}},
    };
    for (const Lists &l : all) {
        const QString table = l.codeTable ? core::schema::codeTableName(l.codeTable)
                                          : QStringLiteral("witnesses");
        // The coordinator is chosen by the name the witnesses list keys on.
        const QString field = l.codeTable ? core::schema::codeFieldName(l.codeTable)
                                          : QStringLiteral("NAME");
        auto *source = new core::DataSource(table + QStringLiteral("_data"), this);
        source->setDatabase(ctx().store);
        source->setQuery(QStringLiteral("SELECT * FROM %1").arg(table));
        source->tryRefresh();
        for (core::LookupCombo *list : l.lists) {
            list->setListField(field);
            list->setRowSource(source);
        }
    }
    m_diaryData->setDatabase(ctx().store);
    m_diaryData->tryRefresh();
}

// --- page 0: the evaluation ---------------------------------------------

void frmEvaluation::CLEARFIELDS()
{
    // Both pages; the date selectors and the Gregorian day keep what they show.
    dbc_tamrel->setText(QStringLiteral(" "));
    // The evaluator's name is not among what clear empties: it stays for
    // the next evaluation by the same evaluator.
    for (QLineEdit *box : {txt_seq_no, txt_a_new_name, txt_e_new_name})
        box->clear();
    for (core::LookupCombo *list :
         {dbc_evaluator, DBC_prayer_evaluation, dbc_evaluation_place, dbc_practice_of_islam,
          dbc_integrity, dbc_arabic_language_learning, dbc_calling_non_muslim,
          dbc_relation_with_muslims, dbc_relation_with_non_muslims, dbc_overall_evaluation,
          dbc_name_of_officia})
        list->setText(QString());
    txt_remarks->clear();
    for (ProblemSlot &slot : m_slots) {
        slot.code->clear();
        slot.problem->setText(QString());
        slot.description->clear();
    }
    // Page 1. The record number goes too: a cleared page names no record
    // that update or delete could reach.
    DBC_CODE->setText(QString());
    for (QLineEdit *box : {txt_name_of_follower, txt_tamrel_no1, txt_new_a, txt_auto_no})
        box->clear();
    dbc_Problems_Evaluation->setText(QString());
    txt_notes->clear();
    showComposedDate();
}

void frmEvaluation::DATATOTEXT()
{
    PersonRecordScreen::DATATOTEXT();
    // The record shown brings its problems: every way of showing one
    // (find, the moves, the list choice) ends here.
    showProblems();
}

void frmEvaluation::personChanged(bool)
{
    // A number no person has empties the names; the evaluation stays.
    showPersonNames();
    requeryPersonRows();
    requeryDiary();
}

void frmEvaluation::refreshList()
{
    PersonRecordScreen::refreshList();
    requeryDiary();
}

problems::Evaluation frmEvaluation::shownEvaluation() const
{
    return {personNumber(), txt_seq_no->text()};
}

QList<problems::Slot> frmEvaluation::slotContents() const
{
    QList<problems::Slot> contents;
    for (const ProblemSlot &slot : m_slots)
        contents.append({slot.problem->text(), slot.description->toPlainText()});
    return contents;
}

void frmEvaluation::showProblems()
{
    if (!personChosen())
        return;
    try {
        const QList<problems::Problem> stored =
            problems::problemsOf(ctx().store.db(), shownEvaluation(), kSlotCount);
        int next = 0;
        for (const problems::Problem &problem : stored) {
            while (next < kSlotCount && !m_slots[next].problem->text().isEmpty())
                ++next;
            if (next == kSlotCount)
                break; // every slot is taken
            ProblemSlot &slot = m_slots[next];
            slot.code->setText(QString::number(problem.code));
            core::setControlText(slot.problem, problem.situation);
            slot.description->setPlainText(problem.description);
        }
    } catch (const engine::EngineError &) {
        // The slots show what could be read.
    }
}

void frmEvaluation::showStoredProblemsAgain()
{
    for (ProblemSlot &slot : m_slots) {
        slot.problem->setText(QString());
        slot.code->clear();
    }
    showProblems();
}

// The problems of the evaluation shown follow its own add, update and
// delete; a failure says so and leaves the evaluation as it was written.
bool frmEvaluation::writeProblems(const std::function<void(engine::Database &)> &write)
{
    try {
        write(ctx().store.db());
        return true;
    } catch (const engine::EngineError &) {
        message(cmn().msgs.MSG_DATAERROR);
        return false;
    }
}

void frmEvaluation::afterAdd(bool added)
{
    PersonRecordScreen::afterAdd(added);
    if (!added)
        return;
    if (writeProblems([this](engine::Database &db) { problems::addProblems(db, shownEvaluation(), slotContents(), ctx().store.auditObserver()); }))
        markSaved(); // the problems too are stored now
    showStoredProblemsAgain();
}

void frmEvaluation::afterUpdate(bool updated)
{
    PersonRecordScreen::afterUpdate(updated);
    // Only the problems of an evaluation that is there are rewritten.
    if (!updated)
        return;
    int added = 0;
    const bool written = writeProblems([&](engine::Database &db) {
        added = problems::rewriteProblems(db, shownEvaluation(), slotContents(), ctx().store.auditObserver());
    });
    if (written && added > 0)
        showStoredProblemsAgain(); // the new rows' codes, in stored order
    if (written)
        markSaved();
}

void frmEvaluation::afterDelete(bool deleted)
{
    PersonRecordScreen::afterDelete(deleted);
    if (deleted)
        writeProblems([this](engine::Database &db) { problems::deleteProblems(db, shownEvaluation(), ctx().store.auditObserver()); });
}

void frmEvaluation::slotButtonClicked(int slot)
{
    const QString code = m_slots[slot].code->text().trimmed();
    if (code.isEmpty())
        return;
    DBC_CODE->setText(code);
    SSTab1->setCurrentIndex(1);
    lookUpProblem();
    refreshList();
}

// --- the buttons look at the page shown ----------------------------------

bool frmEvaluation::onDiaryPage() const
{
    return SSTab1->currentIndex() == 1;
}

void frmEvaluation::pageShown(int page)
{
    // Clear and find have nothing to do on the diary page.
    button(QStringLiteral("clear"))->setEnabled(page == 0);
    button(QStringLiteral("find"))->setEnabled(page == 0);
}

// Each button does its page's work; clear and find have none on page 1.
void frmEvaluation::addClicked() { onDiaryPage() ? diaryAdd() : PersonRecordScreen::addClicked(); }
void frmEvaluation::updateClicked() { onDiaryPage() ? diaryUpdate() : PersonRecordScreen::updateClicked(); }
void frmEvaluation::deleteClicked() { onDiaryPage() ? diaryDelete() : PersonRecordScreen::deleteClicked(); }
void frmEvaluation::clearClicked() { onDiaryPage() ? void() : PersonRecordScreen::clearClicked(); }
void frmEvaluation::findClicked() { onDiaryPage() ? void() : PersonRecordScreen::findClicked(); }
void frmEvaluation::firstrecClicked() { onDiaryPage() ? diaryMove(true, false) : PersonRecordScreen::firstrecClicked(); }
void frmEvaluation::lastrecClicked() { onDiaryPage() ? diaryMove(true, true) : PersonRecordScreen::lastrecClicked(); }
void frmEvaluation::nextrecClicked() { onDiaryPage() ? diaryMove(false, true) : PersonRecordScreen::nextrecClicked(); }
void frmEvaluation::prevrecClicked() { onDiaryPage() ? diaryMove(false, false) : PersonRecordScreen::prevrecClicked(); }

// --- page 1: the diary of a problem --------------------------------------

void frmEvaluation::showComposedDate()
{
    txt_date_information->setText(m_infoDate->text());
}

void frmEvaluation::requeryDiary()
{
    const QString code = DBC_CODE->text().trimmed();
    if (code.isEmpty())
        return;
    // A text that is not a number matches nothing: it is bound as null, since
    // a server refuses a text compared with a number column (and the list
    // would then keep the rows of the problem before).
    const std::optional<qint64> number = problems::wholeNumber(code);
    m_diaryData->setQuery(kProblemDiarySql, {number ? QVariant(*number) : QVariant()});
    m_diaryData->setDatabase(ctx().store);
    m_diaryData->tryRefresh(); // a list that cannot be read keeps its rows
}

void frmEvaluation::lookUpProblem()
{
    if (DBC_CODE->text().trimmed().isEmpty())
        return;
    try {
        const std::optional<problems::Owner> owner = problems::ownerOf(ctx().store.db(), DBC_CODE->text());
        txt_tamrel_no1->setText(owner ? owner->person : QString());
        txt_new_a->setText(owner ? owner->name : QString());
    } catch (const engine::EngineError &) {
    }
}

problems::DiaryRecord frmEvaluation::diaryOnPage() const
{
    problems::DiaryRecord record;
    record.code = problems::wholeNumber(DBC_CODE->text()).value_or(0);
    record.date = txt_date_information->text();
    record.follower = txt_name_of_follower->text();
    record.status = dbc_Problems_Evaluation->text();
    record.notes = txt_notes->toPlainText();
    record.autoNo = problems::wholeNumber(txt_auto_no->text()).value_or(0);
    return record;
}

void frmEvaluation::diaryAdd()
{
    // A diary record belongs to a problem that exists.
    bool known = false;
    try {
        known = problems::ownerOf(ctx().store.db(), DBC_CODE->text()).has_value();
    } catch (const engine::EngineError &) {
        message(cmn().msgs.MSG_DATAERROR);
        return;
    }
    if (!known) {
        DBC_CODE->setFocus();
        message(cmn().msgs.MSG_INVALID);
        return;
    }
    try {
        const qint64 number = problems::addDiaryRecord(ctx().store.db(), diaryOnPage(), ctx().store.auditObserver());
        // The new record is the one shown now: update and delete reach it.
        txt_auto_no->setText(QString::number(number));
    } catch (const engine::EngineError &) {
        message(core::CmnSub::kNotAdded);
        return;
    }
    refreshList();
    message(cmn().msgs.MSG_ADDED);
}

void frmEvaluation::diaryUpdate()
{
    const problems::DiaryRecord record = diaryOnPage();
    try {
        if (record.autoNo <= 0 || !problems::updateDiaryRecord(ctx().store.db(), record, ctx().store.auditObserver()))
            message(cmn().msgs.MSG_NOTFOUND);
    } catch (const engine::EngineError &) {
        message(core::CmnSub::kNotUpdated);
    }
}

void frmEvaluation::diaryDelete()
{
    const qint64 number = diaryOnPage().autoNo;
    try {
        if (number <= 0 || !problems::deleteDiaryRecord(ctx().store.db(), number, ctx().store.auditObserver())) {
            message(cmn().msgs.MSG_NOTFOUND);
            return;
        }
    } catch (const engine::EngineError &) {
        message(cmn().msgs.MSG_DATAERROR);
        return;
    }
    message(cmn().msgs.MSG_DELETED);
}

void frmEvaluation::diaryMove(bool toEnd, bool forward)
{
    // Beyond either end, or with no record shown, nothing changes.
    try {
        std::optional<problems::DiaryRecord> record;
        if (toEnd) {
            record = problems::firstDiaryRecord(ctx().store.db(), forward);
        } else if (const std::optional<qint64> shown = problems::wholeNumber(txt_auto_no->text())) {
            record = problems::nextDiaryRecord(ctx().store.db(), *shown, forward);
        }
        if (record)
            showDiaryRecord(*record);
    } catch (const engine::EngineError &) {
    }
}

void frmEvaluation::diaryChoose()
{
    if (DBGrid2->currentRow() < 0 || DBGrid2->columnValue(kDiaryCodeColumn).trimmed().isEmpty())
        return;
    const std::optional<qint64> number = problems::wholeNumber(DBGrid2->columnValue(kDiaryNumberColumn));
    if (!number)
        return;
    try {
        if (const auto record = problems::diaryRecord(ctx().store.db(), *number))
            showDiaryRecord(*record);
    } catch (const engine::EngineError &) {
    }
}

void frmEvaluation::showDiaryRecord(const problems::DiaryRecord &record)
{
    DBC_CODE->setText(record.code > 0 ? QString::number(record.code) : QString());
    lookUpProblem();
    refreshList();
    m_infoDate->setText(record.date);
    showComposedDate();
    txt_name_of_follower->setText(record.follower);
    txt_name_of_follower->setCursorPosition(0);
    core::setControlText(dbc_Problems_Evaluation, record.status);
    txt_notes->setPlainText(record.notes);
    txt_auto_no->setText(QString::number(record.autoNo));
}

} // namespace followup
