#include "registry/frmTamrel.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/DateSelector.h"
#include "screens/DocumentFiles.h"
#include "data/HijraDate.h"
#include "screens/LookupCombo.h"
#include "screens/ScreenKeys.h"
#include "registry/DuplicatesPanel.h"
#include "registry/LikelyDuplicates.h"
#include "registry/PersonSearch.h"
#include "data/AuditTrail.h"
#include "data/Schema.h"
#include "engine/EngineError.h"
#include "engine/QueryCursor.h"
#include "engine/TableCursor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <functional>

namespace registry {

namespace {

const QString kBlank = QStringLiteral(" ");
// The list is read on the window's thread for a moment only: the whole
// register's first rows are found within it and show as the button
// returns; anything longer (a search) goes on in the background and shows
// its rows as they are found. An add or delete re-runs the list, so this
// moment is part of every add.
constexpr int kListInlineMs = 1;
// A person row has 97 fields and the grid shows a dozen rows: it reads them
// in small blocks.
constexpr int kListBlockRows = 64;

} // namespace

const QStringList &frmTamrel::shahadaPlaces()
{
    static const QStringList places{kOffice, QStringLiteral("خارج المكتب!")};
    return places;
}

const QStringList &frmTamrel::documentStates()
{
    static const QStringList states{kBlank, QStringLiteral("البيانات كاملة"), kIncomplete};
    return states;
}

const QStringList &frmTamrel::underProcessingStates()
{
    static const QStringList states{QString(), QStringLiteral("لاتوجد حركة"), QStringLiteral("مصادقة الوزارة"),
                                    kLost, QStringLiteral("توقيع المدير"), kReturned};
    return states;
}

const QStringList &frmTamrel::issuedStates()
{
    static const QStringList states{QString(), kDelivered, QStringLiteral("في المكتب")};
    return states;
}

frmTamrel::frmTamrel(core::AppContext &ctx, Access access, QWidget *parent)
    : RecordScreen(ctx, QStringLiteral("frmTamrel"), kCaption, QLatin1String(kTable), parent), m_access(access)
{
    createControls();

    SSTab1 = new QTabWidget(formArea());
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->addTab(buildPersonPage(), QStringLiteral("معلومت شخصية"));
    SSTab1->addTab(buildPassportPage(), QStringLiteral("الاقامة \\ الجواز"));
    SSTab1->addTab(buildAddressPage(), QStringLiteral("Addresses / العناوين"));
    SSTab1->addTab(buildFollowUpPage(), QStringLiteral("خطوات المتابعة"));
    SSTab1->addTab(buildCoursesPage(), QStringLiteral("الدورات"));
    SSTab1->addTab(buildWitnessPage(), QStringLiteral("الشهود"));
    SSTab1->addTab(buildDocumentPage(), QStringLiteral("الوثائق"));
    buildSearchPanel();

    // The buttons above the tabs; the person list beside them.
    auto *main = qobject_cast<QVBoxLayout *>(layout());
    main->removeWidget(buttonBar());
    main->insertWidget(0, buttonBar());
    main->removeWidget(listPanel());
    auto *form = new QHBoxLayout(formArea());
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(SSTab1, 7);
    listPanel()->setParent(formArea());
    form->addWidget(listPanel(), 3);
    listPanel()->show();

    m_lastChange = new QLabel(statusBar());
    m_lastChange->setObjectName(QStringLiteral("lblLastChange"));
    statusBar()->addWidget(m_lastChange, 1);

    for (int i = 1; i < m_tabChain.size(); ++i)
        setTabOrder(m_tabChain.at(i - 1), m_tabChain.at(i));
    connectRules();

    listData()->setObjectName(QStringLiteral("tamrel_data"));
    // At opening the list is the table itself (no heading sort), as the
    // register is stored.
    listData()->setTable(QLatin1String(kTable));
    listData()->setInlineBudget(kListInlineMs);
    listData()->model()->setBatchSize(kListBlockRows);
    setKeyControl(txt_tamrel_no);
    setListChoice({nullptr, true, true});
    setFirstFocus(txt_tamrel_no);
    // A date chosen there is never written: no edit to save.
    ignoreEdits(m_selectors.value(QStringLiteral("advisor_date3")));
    declareChecks();

    if (m_access == Access::ViewOnly) {
        for (const char *name : {"add", "update", "delete"})
            button(QLatin1String(name))->setEnabled(false);
    }
    loadForm();
    filterDocumentFiles();
}

frmTamrel::~frmTamrel()
{
    // The controls go after this screen's members: what they say while
    // they go (a list losing its rows, the tabs their pages) is not heard.
    for (QObject *child : findChildren<QObject *>())
        child->blockSignals(true);
}

void frmTamrel::connectRules()
{
    connect(conver_date_to_Gregorian, &QPushButton::clicked, this, &frmTamrel::convertDateOfIslam);
    connect(txt_DateOfIslam_E, &QLineEdit::textChanged, this, &frmTamrel::showWeekdays);
    connect(m_selectors.value(QStringLiteral("birth"))->yearList(), &QComboBox::activated, this,
            &frmTamrel::computeAge);
    connect(Option1->button(0), &QAbstractButton::toggled, this, &frmTamrel::applyMaritalStatus);
    connect(txt_certificate, &QLineEdit::textChanged, this, &frmTamrel::certificateTextChanged);
    connect(Option4, &QAbstractButton::toggled, this, [this](bool on) {
        if (on)
            showCertificateFrame(true);
    });
    connect(Option5, &QAbstractButton::toggled, this, [this](bool on) {
        if (on)
            showCertificateFrame(false);
    });
    connect(txt_certificate_stat, &QComboBox::activated, this, &frmTamrel::applyCertificateStatus);
    auto *documentStat = c<QComboBox>("txt_document_stat");
    connect(documentStat, &QComboBox::editTextChanged, this, &frmTamrel::applyDocumentState);
    connect(documentStat, &QComboBox::activated, this, &frmTamrel::applyDocumentState);
    auto *place = c<QComboBox>("TXT_shahada_Place");
    connect(place, &QComboBox::editTextChanged, this, &frmTamrel::applyShahadaPlace);
    connect(place, &QComboBox::activated, this, &frmTamrel::applyShahadaPlace);
    connect(c<QCheckBox>("file_status"), &QAbstractButton::toggled, this, &frmTamrel::applyFileStatus);

    // A name chosen from the witnesses goes into its box.
    const std::pair<const char *, const char *> copies[] = {{"dbc_witness_1", "txt_witness_1"},
                                                            {"dbc_witness_2", "txt_witness_2"},
                                                            {"dbc_manager", "txt_manager"},
                                                            {"dbc_daeyah_1", "TXT_daeyah_1"},
                                                            {"dbc_daeyah_2", "TXT_daeyah_2"}};
    for (const auto &[list, box] : copies) {
        c<core::LookupCombo>(list)->offerFoldedMatches(); // a name typed finds its spellings
        QLineEdit *target = c<QLineEdit>(box);
        connect(c<core::LookupCombo>(list), &core::LookupCombo::chosen, target,
                [target](const QString &name) { core::setControlText(target, name); });
    }
    connect(c<core::LookupCombo>("DBC_advisor"), &core::LookupCombo::chosen, this, &frmTamrel::chooseFollowUpGroup);
    connect(SSTab1, &QTabWidget::currentChanged, this, &frmTamrel::tabEntered);
    connect(txt_tamrel_no, &QLineEdit::textChanged, this, &frmTamrel::filterDocumentFiles);
    connect(Command1, &QPushButton::clicked, this, &frmTamrel::openDocumentFile);
    connect(File1, &QListWidget::itemDoubleClicked, this, &frmTamrel::openDocumentFile);
    connect(File1, &QListWidget::currentRowChanged, this, [this](int row) { Command1->setEnabled(row >= 0); });
    connect(cmd_print, &QPushButton::clicked, this, &frmTamrel::printPerson);
    connect(m_search, &QPushButton::clicked, this, &frmTamrel::searchClicked);
    connect(m_duplicatesButton, &QPushButton::clicked, this, [this] { showLikelyDuplicates(); });
    keys().bind(QKeySequence(Qt::CTRL | Qt::Key_D), m_duplicatesButton);
    // A click on a listed person shows that person, as a double click does.
    connect(grid(), &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            chooseListedPerson();
    });
}

void frmTamrel::loadLookups()
{
    // The small tables behind the look-up lists, each read once while the
    // screen opens; a list that cannot be read stays empty and takes typing.
    struct Source {
        const char *name;
        QString sql;
        QList<std::pair<const char *, QString>> lists; // list, field shown
    };
    const QString code = core::schema::codeFieldName(1); // description
    const auto category = [](int n) { return QStringLiteral("select * from %1").arg(core::schema::codeTableName(n)); };
    const Source sources[] = {
        {"Data1", category(2), {{"dbc_nationality", code}}},
        {"Data4",
         category(1),
         {{"dbc_language1", code}, {"dbc_language2", code}, {"dbc_language3", code}, {"dbc_language4", code},
          {"dbc_language5", code}}},
        {"Data2", category(3), {{"dbc_former_relgion", code}}},
        {"Data3", category(4), {{"dbc_denomination", code}}},
        {"Data5", category(5), {{"dbc_occupation", code}}},
        {"Data6", category(6), {{"dbc_qualification", code}}},
        {"Data7",
         QStringLiteral("select * from followup_group"),
         {{"DBC_advisor", QStringLiteral("group_name")},
          {"DBC_advisor2", QStringLiteral("leader_name")},
          {"DBC_advisor3", QStringLiteral("mobile")}}},
        {"Data9",
         QStringLiteral("select * from witnesses"),
         {{"dbc_witness_1", QStringLiteral("NAME")},
          {"dbc_witness_2", QStringLiteral("NAME")},
          {"dbc_manager", QStringLiteral("NAME")},
          {"dbc_daeyah_1", QStringLiteral("NAME")},
          {"dbc_daeyah_2", QStringLiteral("NAME")}}},
    };
    if (m_lookupSources.isEmpty()) {
        for (const Source &s : sources) {
            auto *source = new core::DataSource(QLatin1String(s.name), this);
            source->setQuery(s.sql);
            m_lookupSources << source;
            for (const auto &[list, field] : s.lists) {
                core::LookupCombo *combo = c<core::LookupCombo>(list);
                combo->setRowSource(source);
                combo->setListField(field);
            }
        }
    }
    for (core::DataSource *source : std::as_const(m_lookupSources)) {
        source->setDatabase(ctx().store);
        source->tryRefresh();
    }
    m_followUpData->setDatabase(ctx().store);
    m_coursesData->setDatabase(ctx().store);
}

// ------------------------------------------------------------ the record

void frmTamrel::CLEARFIELDS()
{
    Image2->clear();
    m_picturePath.clear();
    for (const TamrelField &f : tamrelFields()) {
        QWidget *control = m_controls.value(QLatin1String(f.control));
        switch (f.kind) {
        case FieldKind::Line:
        case FieldKind::Number:
        case FieldKind::DateText:
        case FieldKind::Date:
        case FieldKind::Area:
        case FieldKind::Lookup:
            core::setControlText(control, QString());
            break;
        case FieldKind::Check:
            core::setControlText(control, QStringLiteral("0"));
            break;
        case FieldKind::List:
        case FieldKind::FixedList:
        case FieldKind::Option:
        case FieldKind::Prayer:
        case FieldKind::ShownDate:
            break;
        }
        if (core::DateSelector *date = m_selectors.value(QLatin1String(f.field)))
            date->setText(QString());
    }
    for (const char *list : {"dbc_witness_1", "dbc_witness_2", "dbc_manager", "dbc_daeyah_1", "dbc_daeyah_2"})
        c<core::LookupCombo>(list)->setText(QString());
    text2->clear();
    c<QComboBox>("TXT_shahada_Place")->setEditText(QString());
    c<QComboBox>("txt_document_stat")->setEditText(kBlank);
    setOption(Option1, 0, true);
    setOption(Option2, 0, true);
    setOption(Option3, 0, true);
    applyFileStatus();

    uncheckAll(m_certificateGroup);
    txt_certificate_stat->clear();
    txt_certificate->setText(QStringLiteral("2"));
    resetCertificateFrame();

    // The previous person's steps and courses go with the rest.
    for (core::DataSource *rows : {m_followUpData, m_coursesData}) {
        rows->setQuery(QString());
        rows->tryRefresh();
    }
    m_lastChange->clear();
}

core::RecordKey frmTamrel::SETKEY()
{
    // The number on the screen, without blanks around it.
    return {txt_tamrel_no->text().trimmed()};
}

void frmTamrel::DATATOTEXT()
{
    CLEARFIELDS();
    for (const TamrelField &f : tamrelFields())
        showKind(f);
    // The picture of the person's number, and the birth date in Hijri.
    txt_picture->setText(QStringLiteral("pic") + txt_tamrel_no->text().trimmed() + QStringLiteral(".jpg"));
    showPicture();
    text2->setText(m_selectors.value(QStringLiteral("birth"))->converted());
    showPersonRows();
    // The number as stored, as the trail keeps it.
    QString number;
    try {
        number = table().value(QStringLiteral("tamrel_no")).toString();
    } catch (const engine::EngineError &) {
        number = SETKEY().value(0).toString();
    }
    showLastChange(number);
}

QString frmTamrel::lastChangeText(const QString &userId, const QDateTime &changedAt)
{
    // The identifier keeps its own direction inside the Arabic line.
    return kLastChange.arg(QChar(0x2068) + userId + QChar(0x2069), core::localDateTimeText(changedAt));
}

void frmTamrel::showLastChange(const QString &number)
{
    m_lastChange->clear();
    if (number.isEmpty())
        return;
    try {
        // One step down the trail's index on table and record.
        const core::LastChange last = core::AuditTrail::lastChange(ctx().store.db(), QLatin1String(kTable), number);
        if (last.changedAt.isValid())
            m_lastChange->setText(lastChangeText(last.userId, last.changedAt));
    } catch (const engine::EngineError &) {
        // A file without the trail, or one that cannot be read now: the
        // person is shown all the same.
    }
}

void frmTamrel::texttodata()
{
    for (const TamrelField &f : tamrelFields())
        storeKind(f);
}

void frmTamrel::showKind(const TamrelField &f)
{
    const QString field = QLatin1String(f.field);
    QWidget *control = m_controls.value(QLatin1String(f.control));
    QVariant value;
    try {
        value = table().value(field);
    } catch (const engine::EngineError &) {
        return; // this field stays cleared; the others are still shown
    }
    if (value.isNull())
        return;
    const QString text = value.toString();
    switch (f.kind) {
    case FieldKind::Line:
    case FieldKind::Number:
    case FieldKind::DateText:
    case FieldKind::Area:
    case FieldKind::Lookup:
    case FieldKind::List:
    case FieldKind::Check:
        core::setControlText(control, text);
        break;
    case FieldKind::Date:
        core::setControlText(control, text);
        m_selectors.value(field)->setText(text);
        break;
    case FieldKind::ShownDate:
        m_selectors.value(field)->setText(text);
        break;
    case FieldKind::FixedList: {
        // A stored entry the list lacks is shown (and kept) all the same.
        auto *list = qobject_cast<QComboBox *>(control);
        int index = list->findText(text);
        if (index < 0) {
            list->addItem(text);
            index = list->count() - 1;
        }
        list->setCurrentIndex(index);
        break;
    }
    case FieldKind::Option:
        setOption(f.control == QLatin1String("Option1") ? Option1 : Option2, value.toBool() ? 0 : 1, true);
        break;
    case FieldKind::Prayer:
        setOption(Option3, f.option, value.toBool());
        break;
    }
}

void frmTamrel::storeKind(const TamrelField &f)
{
    const QString field = QLatin1String(f.field);
    QWidget *control = m_controls.value(QLatin1String(f.control));
    switch (f.kind) {
    case FieldKind::Line:
    case FieldKind::Number:
    case FieldKind::Area:
    case FieldKind::Lookup:
    case FieldKind::List:
    case FieldKind::FixedList:
    case FieldKind::Check:
        storeField(control, field);
        break;
    case FieldKind::DateText:
    case FieldKind::Date:
        table().setValue(field, core::latinDigits(core::controlText(control)));
        break;
    case FieldKind::ShownDate:
        break; // shown only
    case FieldKind::Option: {
        QButtonGroup *group = f.control == QLatin1String("Option1") ? Option1 : Option2;
        table().setValue(field, group->button(0)->isChecked() ? 1 : 0);
        break;
    }
    case FieldKind::Prayer:
        table().setValue(field, Option3->button(f.option)->isChecked() ? 1 : 0);
        break;
    }
}

// ------------------------------------------------------------ the person check

core::CheckResult frmTamrel::failCheck(QWidget *control, const QString &message)
{
    showTabOf(control);
    control->setFocus();
    return core::CheckResult::failed(message);
}

core::CheckResult frmTamrel::checkListFilled(core::LookupCombo *list)
{
    if (list->text().trimmed().isEmpty()) {
        QPalette yellow = list->palette();
        yellow.setColor(QPalette::Base, Qt::yellow);
        list->setPalette(yellow);
        return failCheck(list, cmn().msgs.MSG_INVALID);
    }
    list->setPalette(QPalette());
    return {};
}


// Each part of the date of Islam must be chosen.
core::CheckResult frmTamrel::checkDateOfIslam()
{
    core::DateSelector *islam = m_selectors.value(QStringLiteral("dateofislam"));
    for (QComboBox *part : {islam->dayList(), islam->monthList(), islam->yearList()}) {
        const QString none = part == islam->yearList() ? core::DateSelector::kNoYear : core::DateSelector::kNoPart;
        if (part->currentText() == none)
            return failCheck(part, cmn().msgs.MSG_INVALID);
    }
    return {};
}

// The person check, in its order. The boxes go through CHECKFIELD; the
// date of Islam and the look-up lists have rules of their own.
void frmTamrel::declareChecks()
{
    const auto list = [this](const char *name) {
        core::LookupCombo *lookup = c<core::LookupCombo>(name);
        return FieldCheck{lookup, true, false, [this, lookup] { return checkListFilled(lookup); }};
    };
    setChecks({
        {txt_tamrel_no, true, true, [this] {
             const core::CheckResult check = checkControl(txt_tamrel_no, true, true);
             // The number is kept as the number itself, never with blanks around it.
             if (check.valid)
                 txt_tamrel_no->setText(txt_tamrel_no->text().trimmed());
             return check;
         }},
        {c<QWidget>("txt_a_old_name"), true},
        {c<QWidget>("txt_a_new_name"), true},
        {m_selectors.value(QStringLiteral("dateofislam")), true, false, [this] { return checkDateOfIslam(); }},
        {c<QWidget>("txt_age"), true},
        list("dbc_nationality"),
        {c<QWidget>("txt_iqama_no"), true, true},
        list("dbc_former_relgion"),
        list("dbc_language1"),
        list("DBC_advisor"),
    });
}

core::CheckResult frmTamrel::VALIDATE()
{
    return runChecks();
}

void frmTamrel::showTabOf(QWidget *control)
{
    for (QWidget *w = control; w; w = w->parentWidget()) {
        const int tab = SSTab1->indexOf(w);
        if (tab >= 0) {
            SSTab1->setCurrentIndex(tab);
            return;
        }
    }
}

// ------------------------------------------------------------ buttons

void frmTamrel::afterAdd(bool added)
{
    RecordScreen::afterAdd(added);
    SSTab1->setCurrentIndex(PersonTab);
    if (!added)
        return;
    showLastChange(SETKEY().value(0).toString()); // the add is now the person's last change
    checkLikelyDuplicates();
}

// Update offers to add a number that is not registered yet; a registered
// one goes on to be checked and rewritten.
bool frmTamrel::beforeUpdate()
{
    bool found = false;
    if (!withCursor([&] { found = cmn().SEEKREC(*this, SETKEY()); }))
        return false;
    if (found)
        return true;
    if (ctx().messages.confirm(kAskToAdd, core::CmnSub::kConfirmTitle, true, core::MessageService::Icon::Critical,
                               this))
        addClicked();
    return false;
}

void frmTamrel::afterUpdate(bool updated)
{
    RecordScreen::afterUpdate(updated);
    SSTab1->setCurrentIndex(PersonTab);
    if (updated)
        showLastChange(SETKEY().value(0).toString());
}

void frmTamrel::listClicked()
{
    showStatus(QString()); // a search's count is not the whole register's
    listData()->setQuery(kPersonListSql);
    refreshList();
}

void frmTamrel::searchClicked()
{
    QList<std::pair<QString, QString>> typed;
    for (const QString &field : searchFields()) {
        const TamrelField *f = tamrelField(field.toLatin1().constData());
        typed.append({field, core::controlText(m_controls.value(QLatin1String(f->control)))});
    }
    const engine::TextMatch match = m_exactMatch->isChecked() ? engine::TextMatch::Exact : engine::TextMatch::Folded;
    SearchQuery search;
    try {
        search = personSearch(ctx().store.db(), typed, match);
    } catch (const engine::EngineError &) {
        message(cmn().msgs.MSG_DATAERROR);
        return;
    }
    listData()->setQuery(search.sql, search.values);
    showStatus(QString());
    bool listed = false; // a search that cannot run keeps the list, and says so
    const QMetaObject::Connection shown =
        connect(listData(), &core::DataSource::refreshed, this, [&listed] { listed = true; });
    refreshList();
    disconnect(shown);
    if (listed)
        countSearchWhenDone();
}

// How many persons the search found, once its run has ended.
void frmTamrel::countSearchWhenDone()
{
    disconnect(m_searchRun);
    if (!listData()->isRunning()) {
        showSearchCount(0);
        return;
    }
    m_searchRun = connect(
        listData(), &core::DataSource::workFinished, this,
        [this](int error, const QString &) { showSearchCount(error); }, Qt::SingleShotConnection);
}

void frmTamrel::showSearchCount(int error)
{
    const QString found = QString::number(grid()->rowCount());
    if (error == engine::ErrOperationCanceled)
        showStatus(kSearchStopped.arg(found));
    else if (error != 0)
        showStatus(QString()); // the list says what went wrong
    else if (grid()->rowCount() == 0)
        showStatus(kSearchFoundNone);
    else
        showStatus(kSearchFound.arg(found));
}

PersonFacts frmTamrel::personFacts() const
{
    const auto text = [this](const char *control) { return core::controlText(m_controls.value(QLatin1String(control))); };
    return {txt_tamrel_no->text(), text("txt_iqama_no"), text("txt_passport_no"),
            text("txt_a_old_name"), text("txt_a_new_name"), text("txt_birth")};
}

void frmTamrel::showLikelyDuplicates()
{
    const PersonFacts person = personFacts();
    QList<LikelyDuplicate> found;
    try {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        found = likelyDuplicates(ctx().store.db(), person);
        QApplication::restoreOverrideCursor();
    } catch (const engine::EngineError &) {
        QApplication::restoreOverrideCursor();
        message(cmn().msgs.MSG_DATAERROR);
        return;
    }
    showDuplicatesFound(person, found, true);
}

void frmTamrel::checkLikelyDuplicates()
{
    if (!m_duplicatesCheck)
        m_duplicatesCheck = std::make_unique<DuplicatesCheck>(this);
    m_duplicatesCheck->start(ctx().store.db().openSpec(), personFacts(),
                             [this](const PersonFacts &person, const QList<LikelyDuplicate> &found) {
                                 // Only about the person still on the screen.
                                 if (txt_tamrel_no->text() == person.number)
                                     showDuplicatesFound(person, found, false);
                             });
}

bool frmTamrel::checkingDuplicates() const
{
    return m_duplicatesCheck && m_duplicatesCheck->isRunning();
}

void frmTamrel::showDuplicatesFound(const PersonFacts &person, const QList<LikelyDuplicate> &found, bool always)
{
    if (found.isEmpty() && !always) {
        if (m_duplicates)
            m_duplicates->hide(); // what it listed was about another person
        return;
    }
    if (!m_duplicates) {
        m_duplicates = new DuplicatesPanel(this);
        connect(m_duplicates, &DuplicatesPanel::personChosen, this, [this](const QString &number) {
            txt_tamrel_no->setText(number);
            findClicked();
        });
    }
    m_duplicates->showFor(person.number, found);
}

void frmTamrel::chooseListedPerson()
{
    if (grid()->currentRow() < 0)
        return;
    txt_tamrel_no->setText(grid()->columnValue(0));
    findClicked();
}

void frmTamrel::printPerson()
{
    const QString number = txt_tamrel_no->text().trimmed();
    if (number.isEmpty()) {
        message(cmn().msgs.MSG_REQUIRED);
        txt_tamrel_no->setFocus();
        return;
    }
    if (ctx().reports)
        ctx().reports->showPersonFile(number);
}

// ------------------------------------------------------------ rules

void frmTamrel::setOption(QButtonGroup *group, int index, bool on)
{
    QAbstractButton *b = group->button(index);
    if (on || !b->isChecked()) {
        b->setChecked(on);
        return;
    }
    // An exclusive group keeps its button on unless told otherwise.
    group->setExclusive(false);
    b->setChecked(false);
    group->setExclusive(true);
}

void frmTamrel::uncheckAll(QButtonGroup *group)
{
    group->setExclusive(false);
    for (QAbstractButton *b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

void frmTamrel::convertDateOfIslam()
{
    core::DateSelector *islam = m_selectors.value(QStringLiteral("dateofislam"));
    if (!islam->isComplete())
        return;
    const QString gregorian = islam->converted();
    if (gregorian.isEmpty()) {
        // A day the month lacks (day 30 of a 29-day month).
        message(cmn().msgs.MSG_INVALID);
        islam->dayList()->setFocus();
        return;
    }
    txt_DateOfIslam_E->setText(gregorian);
    showWeekdays();
}

void frmTamrel::showWeekdays()
{
    // From the date itself, whatever the computer's language; a text that
    // is no date leaves the names as they are.
    const QDate date = core::dateFromText(txt_DateOfIslam_E->text());
    if (!date.isValid())
        return;
    c<QLineEdit>("txt_day_a")->setText(core::arabicWeekday(date));
    c<QLineEdit>("txt_day_e")->setText(core::englishWeekday(date));
}

void frmTamrel::computeAge()
{
    // Only from a date of Islam and a chosen birth year, never below 0.
    const QDate islam = core::dateFromText(txt_DateOfIslam_E->text());
    const int born = m_selectors.value(QStringLiteral("birth"))->yearList()->currentText().toInt();
    if (!islam.isValid() || born <= 0 || born > islam.year())
        return;
    c<QLineEdit>("txt_age")->setText(QString::number(islam.year() - born));
}

void frmTamrel::applyMaritalStatus()
{
    const bool married = Option1->button(0)->isChecked();
    for (const char *name : {"txt_no_boys", "txt_no_girls"}) {
        QLineEdit *count = c<QLineEdit>(name);
        if (!married)
            count->clear();
        count->setReadOnly(!married);
    }
}

void frmTamrel::certificateTextChanged()
{
    bool isNumber = false;
    const double n = txt_certificate->text().trimmed().toDouble(&isNumber);
    if (!isNumber)
        return;
    if (n == 1)
        Option4->setChecked(true);
    else if (n == 0)
        Option5->setChecked(true);
}

void frmTamrel::showCertificateFrame(bool underProcessing)
{
    const QString code = underProcessing ? QStringLiteral("1") : QStringLiteral("0");
    if (txt_certificate->text() != code)
        txt_certificate->setText(code);
    const bool issued = !underProcessing;
    for (QWidget *w : {static_cast<QWidget *>(m_numberCaption), c<QWidget>("txt_no_certificate"),
                       static_cast<QWidget *>(m_certificateDateCaption),
                       c<QWidget>("txt_date_of_certificate"),
                       static_cast<QWidget *>(m_selectors.value(QStringLiteral("date_of_certificate"))),
                       static_cast<QWidget *>(m_takeDateCaption), c<QWidget>("txt_date_of_take"),
                       static_cast<QWidget *>(m_selectors.value(QStringLiteral("date_of_take")))})
        w->setVisible(issued);
    m_takeCaption->setText(underProcessing ? kRemarks : kRecipient);
    txt_certificate_stat->clear();
    txt_certificate_stat->addItems(underProcessing ? underProcessingStates() : issuedStates());
}

void frmTamrel::resetCertificateFrame()
{
    for (QWidget *w : {static_cast<QWidget *>(m_numberCaption), c<QWidget>("txt_no_certificate"),
                       static_cast<QWidget *>(m_certificateDateCaption),
                       c<QWidget>("txt_date_of_certificate"),
                       static_cast<QWidget *>(m_selectors.value(QStringLiteral("date_of_certificate"))),
                       static_cast<QWidget *>(m_takeDateCaption), c<QWidget>("txt_date_of_take"),
                       static_cast<QWidget *>(m_selectors.value(QStringLiteral("date_of_take"))),
                       static_cast<QWidget *>(m_takeCaption), c<QWidget>("txt_certificate_take")})
        w->setVisible(true);
    core::DateSelector *take = m_selectors.value(QStringLiteral("date_of_take"));
    for (QWidget *part : {take->yearList(), take->monthList(), take->dayList()})
        part->setVisible(true);
    m_takeCaption->setText(kRecipient);
}

void frmTamrel::applyCertificateStatus()
{
    QWidget *take = c<QWidget>("txt_certificate_take");
    core::DateSelector *takeDate = m_selectors.value(QStringLiteral("date_of_take"));
    const QList<QWidget *> dateParts{takeDate->yearList(), takeDate->monthList(), takeDate->dayList()};
    for (QWidget *w : {static_cast<QWidget *>(m_takeDateCaption), take, static_cast<QWidget *>(m_takeCaption),
                       c<QWidget>("txt_date_of_take")})
        w->hide();
    for (QWidget *part : dateParts)
        part->hide();
    const QString status = txt_certificate_stat->currentText();
    if (status == kReturned || status == kLost) {
        take->show();
        m_takeCaption->setText(kRemarks);
        m_takeCaption->show();
    } else if (status == kDelivered) {
        take->show();
        m_takeCaption->setText(kRecipient);
        m_takeCaption->show();
        m_takeDateCaption->show();
        takeDate->show();
        for (QWidget *part : dateParts)
            part->show();
    }
}

void frmTamrel::applyDocumentState()
{
    c<QWidget>("txt_document_stat_cmnt")
        ->setVisible(c<QComboBox>("txt_document_stat")->currentText().trimmed() == kIncomplete);
}

void frmTamrel::applyShahadaPlace()
{
    const bool away = c<QComboBox>("TXT_shahada_Place")->currentText().trimmed() != kOffice;
    c<QWidget>("txt_shahada_place_comments")->setVisible(away);
    m_shahadaRemarkCaption->setVisible(away);
}

void frmTamrel::applyFileStatus()
{
    const bool open = c<QCheckBox>("file_status")->isChecked();
    c<QWidget>("txt_file_stat_cmnt")->setVisible(!open);
    Label58->setVisible(!open);
}

void frmTamrel::chooseFollowUpGroup()
{
    auto *supervisor = c<core::LookupCombo>("DBC_advisor2");
    auto *mobile = c<core::LookupCombo>("DBC_advisor3");
    supervisor->setText(QString());
    mobile->setText(QString());
    try {
        engine::QueryCursor group(ctx().store.db(),
                                  QStringLiteral("SELECT leader_name, mobile FROM followup_group WHERE group_name = ?"),
                                  {c<core::LookupCombo>("DBC_advisor")->text()});
        if (group.next()) {
            supervisor->setText(group.value(0).toString());
            mobile->setText(group.value(1).toString());
        }
    } catch (const engine::EngineError &) {
        // Supervisor and mobile stay empty.
    }
}

void frmTamrel::tabEntered(int)
{
    showPersonRows();
}

// The steps (tab 3) or courses (tab 4) of the person on the screen, when
// one of those tabs is shown.
void frmTamrel::showPersonRows()
{
    const int tab = SSTab1->currentIndex();
    if (tab != FollowUpTab && tab != CoursesTab)
        return;
    const QString number = txt_tamrel_no->text().trimmed();
    if (number.isEmpty())
        return;
    core::DataSource *rows = tab == FollowUpTab ? m_followUpData : m_coursesData;
    rows->setQuery(tab == FollowUpTab ? kFollowUpSql : kCoursesSql, {number});
    if (!rows->tryRefresh())
        message(cmn().msgs.MSG_DATAERROR);
}

void frmTamrel::showPicture()
{
    Image2->clear();
    const QString name = txt_picture->text().trimmed();
    m_picturePath = QDir(ctx().store.config().pictureDir).filePath(name);
    // Only a picture of the picture folder itself; any failure leaves it empty.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return;
    const QFileInfo file(m_picturePath);
    if (!file.isFile() || file.size() > kMaxPictureBytes)
        return;
    QImageReader reader(m_picturePath);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPicturePixels)
        return;
    // Read at the size shown: a large photograph costs little more than a small one.
    reader.setScaledSize(size.scaled(Image2->contentsRect().size(), Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (!image.isNull())
        Image2->setPixmap(QPixmap::fromImage(image));
}

void frmTamrel::filterDocumentFiles()
{
    const QString folder = ctx().store.config().formsDir;
    const QFileInfo info(folder);
    // The folder is read again only when its contents changed.
    if (folder != m_formsListedFrom || info.lastModified() != m_formsListedAt) {
        m_formsListedFrom = folder;
        m_formsListedAt = info.lastModified();
        m_formFiles = folder.isEmpty() ? QStringList()
                                       : QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    }
    // The names that hold the person number.
    const QString number = txt_tamrel_no->text().trimmed();
    File1->clear();
    for (const QString &name : std::as_const(m_formFiles)) {
        if (name.contains(number, Qt::CaseInsensitive))
            File1->addItem(name);
    }
    if (File1->count() > 0)
        File1->setCurrentRow(0);
    Command1->setEnabled(File1->currentRow() >= 0);
}

void frmTamrel::openDocumentFile()
{
    QListWidgetItem *item = File1->currentItem();
    if (!item)
        return;
    core::openDocument({ctx().store.config().formsDir, {item->text()}}, ctx().files, ctx().messages, this);
}

} // namespace registry
