// The person screen's controls and its seven tabs, built from the field
// table; the behaviour is in frmTamrel.cpp.

#include "registry/frmTamrel.h"

#include "screens/AppContext.h"
#include "screens/DataGrid.h"
#include "screens/DateSelector.h"
#include "screens/DigitsOnly.h"
#include "screens/LookupCombo.h"
#include "screens/TextArea.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <tuple>

namespace registry {

namespace {

// Boxes whose text is English: they read from the left.
bool isEnglish(const QString &name)
{
    static const QStringList english{"txt_e_old_name", "txt_e_new_name", "txt_day_e",
                                     "txt_passport_issue_place_e"};
    return english.contains(name);
}

QGroupBox *frame(const QString &title, const char *name)
{
    auto *box = new QGroupBox(title);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

void frmTamrel::createControls()
{
    createFieldControls();
    createFormControls();
    createPersonRows();
}

// One control (or group of options) per field of the table, made by its
// kind's factory, with its date selector where the field has one.
void frmTamrel::createFieldControls()
{
    using Factory = QWidget *(frmTamrel::*)(const TamrelField &);
    static const std::pair<FieldKind, Factory> factories[] = {
        {FieldKind::Line, &frmTamrel::makeLineBox},      {FieldKind::Number, &frmTamrel::makeLineBox},
        {FieldKind::DateText, &frmTamrel::makeLineBox},
        {FieldKind::Date, &frmTamrel::makeLineBox},      {FieldKind::Area, &frmTamrel::makeTextArea},
        {FieldKind::Lookup, &frmTamrel::makeLookupList}, {FieldKind::List, &frmTamrel::makeDropDown},
        {FieldKind::FixedList, &frmTamrel::makeDropDown}, {FieldKind::Check, &frmTamrel::makeCheckBox},
        {FieldKind::Option, &frmTamrel::makeOptions},    {FieldKind::Prayer, &frmTamrel::makeOptions},
    }; // ShownDate: the date selector alone
    for (const TamrelField &f : tamrelFields()) {
        QWidget *bound = nullptr;
        for (const auto &[kind, make] : factories) {
            if (kind == f.kind)
                bound = (this->*make)(f);
        }
        if (f.range != DateRange::None) {
            core::DateSelector *date = makeDateSelector(f, bound);
            if (!bound)
                bound = date;
        }
        const QString name = QLatin1String(f.control);
        if (!name.isEmpty())
            m_controls.insert(name, bound);
        bindField(QLatin1String(f.field), bound, QString::fromUtf8(f.heading));
    }
}

QWidget *frmTamrel::makeLineBox(const TamrelField &f)
{
    const QString name = QLatin1String(f.control);
    auto *box = new QLineEdit(formArea());
    box->setObjectName(name);
    if (isEnglish(name))
        box->setLayoutDirection(Qt::LeftToRight);
    else
        box->setAlignment(Qt::AlignRight | Qt::AlignAbsolute); // digits too read from the right
    if (f.kind == FieldKind::Number)
        core::acceptDigitsOnly(box);
    if (f.kind == FieldKind::Date) {
        // Composed by its selector only.
        box->setReadOnly(true);
        box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 16);
    }
    fitToField(box, QLatin1String(f.field));
    return box;
}

QWidget *frmTamrel::makeTextArea(const TamrelField &f)
{
    return textBox(QLatin1String(f.control), 3, QLatin1String(f.field));
}

QWidget *frmTamrel::makeLookupList(const TamrelField &f)
{
    auto *list = fieldList(QLatin1String(f.control), QLatin1String(f.field));
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(12);
    return list;
}

QWidget *frmTamrel::makeDropDown(const TamrelField &f)
{
    auto *list = new QComboBox(formArea());
    list->setObjectName(QLatin1String(f.control));
    if (f.kind == FieldKind::List) {
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        fitToField(list, QLatin1String(f.field));
    }
    list->setMinimumContentsLength(12);
    return list;
}

QWidget *frmTamrel::makeCheckBox(const TamrelField &f)
{
    auto *check = new QCheckBox(formArea());
    check->setObjectName(QLatin1String(f.control));
    return check;
}

// An option pair (both buttons) or one prayer button, in the group the
// control names; returns the first button made.
QWidget *frmTamrel::makeOptions(const TamrelField &f)
{
    const QString name = QLatin1String(f.control);
    QButtonGroup *&group = name == QLatin1String("Option1")   ? Option1
                           : name == QLatin1String("Option2") ? Option2
                                                              : Option3;
    if (!group) {
        group = new QButtonGroup(this);
        group->setObjectName(name);
    }
    QRadioButton *first = nullptr;
    const int count = f.kind == FieldKind::Option ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const int index = f.kind == FieldKind::Option ? i : f.option;
        auto *button = new QRadioButton(formArea());
        button->setObjectName(QStringLiteral("%1_%2").arg(name).arg(index));
        group->addButton(button, index);
        m_controls.insert(button->objectName(), button);
        if (!first)
            first = button;
    }
    if (f.kind == FieldKind::Prayer)
        first->setText(QString::fromUtf8(f.heading));
    return first;
}

// The date selector of a field, its years from the field's range; a date
// box is composed from each pick.
core::DateSelector *frmTamrel::makeDateSelector(const TamrelField &f, QWidget *bound)
{
    auto *date = new core::DateSelector(QLatin1String(f.year), QLatin1String(f.month),
                                        QLatin1String(f.day), formArea());
    const int thisYear = QDate::currentDate().year();
    switch (f.range) {
    case DateRange::Hijri:
        date->setYearsAround(ctx().logon, 20, 0);
        break;
    case DateRange::HijriExpiry:
        date->setYearsAround(ctx().logon, 17, 3);
        break;
    case DateRange::Gregorian:
        date->setYears(thisYear - 60, thisYear);
        date->setLastDay(31);
        break;
    case DateRange::None:
        break;
    }
    m_selectors.insert(QLatin1String(f.field), date);
    if (auto *box = qobject_cast<QLineEdit *>(bound); box && f.kind == FieldKind::Date) {
        // Each pick composes the date text: year, month and day run together.
        connect(date, &core::DateSelector::picked, box, [box, date] { box->setText(date->text()); });
    }
    return date;
}

// The controls of the form that are no field: the Hijri birth date, the
// picture, the certificate options; the captions and entries of the fields'
// controls.
void frmTamrel::createFormControls()
{
    QWidget *parent = formArea();
    txt_tamrel_no = c<QLineEdit>("txt_tamrel_no");
    txt_picture = c<QLineEdit>("txt_picture");
    txt_DateOfIslam_E = c<QLineEdit>("txt_DateOfIslam_E");
    txt_certificate = c<QLineEdit>("txt_certificate");
    txt_certificate_stat = c<QComboBox>("txt_certificate_stat");
    // The certificate's state is kept by its options; the text is theirs.
    txt_certificate->hide();

    text2 = new QLineEdit(parent);
    text2->setObjectName(QStringLiteral("text2"));
    text2->setReadOnly(true);
    text2->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    text2->setMaximumWidth(text2->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00")) + 16);
    text2->setToolTip(QStringLiteral("تاريخ الميلاد بالهجري"));
    m_selectors.value(QStringLiteral("birth"))->setDisplay(text2, core::DateSelector::Conversion::GregorianToHijri);

    conver_date_to_Gregorian = new QPushButton(QStringLiteral("تعديل التاريخ"), parent);
    conver_date_to_Gregorian->setObjectName(QStringLiteral("conver_date_to_Gregorian"));
    conver_date_to_Gregorian->setAutoDefault(false);

    Image2 = new QLabel(parent);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setFrameShape(QFrame::StyledPanel);
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setFixedSize(132, 160);

    m_certificateGroup = new QButtonGroup(this);
    m_certificateGroup->setObjectName(QStringLiteral("certificateOptions"));
    Option4 = new QRadioButton(kUnderProcessing, parent);
    Option4->setObjectName(QStringLiteral("Option4"));
    Option5 = new QRadioButton(kIssued, parent);
    Option5->setObjectName(QStringLiteral("Option5"));
    m_certificateGroup->addButton(Option4);
    m_certificateGroup->addButton(Option5);

    c<QRadioButton>("Option2_0")->setText(QStringLiteral("ذكر/Male"));
    c<QRadioButton>("Option2_1")->setText(QStringLiteral("أنثى/Female"));
    c<QRadioButton>("Option1_0")->setText(QStringLiteral("متزوج/ Married"));
    c<QRadioButton>("Option1_1")->setText(QStringLiteral("أعزب/Single"));
    const std::pair<const char *, const char *> checks[] = {
        {"sponsor_doc", "خطاب الكفيل"},     {"khitan_doc", "خطاب الختان "},
        {"tamrel_doc", " وثيقة Tamrel"},    {"file_status", "الملف مفتوح "},
        {"vacation_status", "اجازة"},       {"in_kingdom_status", "داخل المملكة"},
        {"rejected_islam_status", "ارتد عن الاسلام"}};
    for (const auto &[name, text] : checks)
        c<QCheckBox>(name)->setText(QString::fromUtf8(text));

    c<QComboBox>("TXT_shahada_Place")->addItems(shahadaPlaces());
    c<QComboBox>("txt_document_stat")->addItems(documentStates());
}

// The document files, the person's steps and courses, and the print button.
void frmTamrel::createPersonRows()
{
    QWidget *parent = formArea();
    File1 = new QListWidget(parent);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setLayoutDirection(Qt::LeftToRight); // file names read from the left
    Command1 = new QPushButton(QStringLiteral("فتح "), parent);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);

    m_followUpData = new core::DataSource(QStringLiteral("followup_data"), this);
    m_coursesData = new core::DataSource(QStringLiteral("courses_data"), this);
    DBGrid2 = new core::DataGrid(parent);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid3 = new core::DataGrid(parent);
    DBGrid3->setObjectName(QStringLiteral("DBGrid3"));
    // The steps and courses of the person read in Arabic like their own screens.
    const auto rowHeadings = [](const QString &activity) {
        return [activity](const QString &field) -> QString {
            static const QHash<QString, QString> headings{
                {QStringLiteral("tamrel_no"), QStringLiteral("رقم Tamrel")},
                {QStringLiteral("seq_no"), QStringLiteral("الرقم")},
                {QStringLiteral("step_start_date"), QStringLiteral("تاريخ البداية")},
                {QStringLiteral("step_end_date"), QStringLiteral("تاريخ النهاية")},
                {QStringLiteral("evaluation"), QStringLiteral("التقييم")},
                {QStringLiteral("comments"), QStringLiteral("ملاحظات")}};
            return field.compare(QLatin1String("description"), Qt::CaseInsensitive) == 0
                       ? activity
                       : headings.value(field.toLower());
        };
    };
    for (auto [view, source, activity] :
         {std::tuple{DBGrid2, m_followUpData, QStringLiteral("النشاط")},
          std::tuple{DBGrid3, m_coursesData, QStringLiteral("الدورة")}}) {
        view->setMessageService(&ctx().messages);
        view->setSaveFileChooser(ctx().saveFiles);
        view->setDataSource(source);
        view->setHeadingProvider(rowHeadings(activity));
    }

    cmd_print = new QPushButton(QStringLiteral("طباعة"));
    cmd_print->setObjectName(QStringLiteral("cmd_print"));
    cmd_print->setToolTip(QStringLiteral("طباعة الملف"));
    cmd_print->setAutoDefault(false);
    addButton(cmd_print);
}

QLabel *frmTamrel::englishCaption(const QString &text)
{
    auto *label = new QLabel(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::AlignAbsolute);
    label->setLayoutDirection(Qt::LeftToRight);
    return label;
}

QLabel *frmTamrel::put(QGridLayout *grid, int row, int col, const QString &caption, QWidget *control, int span)
{
    auto *label = new QLabel(caption);
    label->setBuddy(control);
    grid->addWidget(label, row, col);
    grid->addWidget(control, row, col + 1, 1, span);
    if (control->focusPolicy() != Qt::NoFocus)
        m_tabChain << control;
    return label;
}

// A date selector with its text box (and whatever follows on the line).
QWidget *frmTamrel::dateRow(const char *field, QWidget *extra)
{
    core::DateSelector *date = m_selectors.value(QLatin1String(field));
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("%1Row").arg(QLatin1String(field)));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(date);
    m_tabChain << date->yearList() << date->monthList() << date->dayList();
    if (const TamrelField *f = tamrelField(field); f && f->kind == FieldKind::Date)
        line->addWidget(m_controls.value(QLatin1String(f->control)));
    if (extra) {
        line->addWidget(extra);
        if (extra->focusPolicy() != Qt::NoFocus)
            m_tabChain << extra;
    }
    line->addStretch(1);
    return row;
}

QWidget *frmTamrel::buildPersonPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("personPage"));
    auto *grid = new QGridLayout(page);

    put(grid, 0, 0, QStringLiteral("رقم Tamrel"), txt_tamrel_no);
    grid->addWidget(englishCaption(QStringLiteral("Tamrel No.")), 0, 2);
    put(grid, 1, 0, QStringLiteral("الاسم"), c<QWidget>("txt_a_old_name"));
    put(grid, 1, 2, QStringLiteral("Name"), c<QWidget>("txt_e_old_name"));
    put(grid, 2, 0, QStringLiteral("الاسم الجديد"), c<QWidget>("txt_a_new_name"));
    put(grid, 2, 2, QStringLiteral("New Name"), c<QWidget>("txt_e_new_name"));
    put(grid, 3, 0, QStringLiteral("تاريخ الاسلام"), dateRow("dateofislam", conver_date_to_Gregorian), 3);

    auto *islamLine = new QHBoxLayout;
    islamLine->addWidget(txt_DateOfIslam_E);
    m_tabChain << txt_DateOfIslam_E;
    islamLine->addWidget(englishCaption(QStringLiteral("Date Of Islam")));
    islamLine->addStretch(1);
    grid->addWidget(new QLabel(QStringLiteral("يوم الاسلام")), 4, 0);
    auto *days = new QHBoxLayout;
    days->addWidget(c<QWidget>("txt_day_a"));
    days->addWidget(c<QWidget>("txt_day_e"));
    m_tabChain << c<QWidget>("txt_day_a") << c<QWidget>("txt_day_e");
    grid->addLayout(days, 4, 1);
    grid->addLayout(islamLine, 4, 2, 1, 2);

    auto *sex = frame(QString(), "sexFrame");
    auto *sexRow = new QHBoxLayout(sex);
    auto *married = frame(QString(), "maritalFrame");
    auto *marriedRow = new QHBoxLayout(married);
    for (int i = 0; i < 2; ++i) {
        sexRow->addWidget(Option2->button(i));
        marriedRow->addWidget(Option1->button(i));
    }
    m_tabChain << Option2->button(0) << Option2->button(1) << Option1->button(0) << Option1->button(1);
    grid->addWidget(sex, 5, 0, 1, 2);
    grid->addWidget(married, 5, 2, 1, 2);
    put(grid, 6, 0, QStringLiteral("عدد الأبناء - ذكور"), c<QWidget>("txt_no_boys"));
    put(grid, 6, 2, QStringLiteral("عدد الأبناء - اناث"), c<QWidget>("txt_no_girls"));
    put(grid, 7, 0, QStringLiteral("العمر"), c<QWidget>("txt_age"));
    put(grid, 8, 0, QStringLiteral("وضع  التسجيل"), c<QWidget>("txt_document_stat"));
    grid->addWidget(c<QWidget>("txt_document_stat_cmnt"), 8, 2, 1, 2);
    m_tabChain << c<QWidget>("txt_document_stat_cmnt");
    put(grid, 9, 0, kRemarks, c<QWidget>("txt_comments"), 3);
    grid->itemAtPosition(9, 0)->setAlignment(Qt::AlignTop);

    auto *picture = new QVBoxLayout;
    picture->addWidget(Image2, 0, Qt::AlignHCenter);
    picture->addWidget(txt_picture);
    m_tabChain << txt_picture;
    picture->addStretch(1);
    txt_picture->setMaximumWidth(Image2->width());
    grid->addLayout(picture, 0, 4, 6, 1);

    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(10, 1);
    return page;
}

QWidget *frmTamrel::buildPassportPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("passportPage"));
    auto *columns = new QHBoxLayout(page);

    // Right: birth, passport and residence permit.
    auto *papers = new QGridLayout;
    put(papers, 0, 0, QStringLiteral("تاريخ الميلاد"), dateRow("birth", text2), 2);
    put(papers, 1, 0, QStringLiteral("مكان الميلاد"), c<QWidget>("TXT_Place_of_birth"));
    put(papers, 2, 0, QStringLiteral("رقم الجواز"), c<QWidget>("txt_passport_no"));
    papers->addWidget(englishCaption(QStringLiteral("pass.no.")), 2, 2);
    put(papers, 3, 0, QStringLiteral("تاريخ الجواز"), dateRow("passport_date_e"), 2);
    put(papers, 4, 0, QStringLiteral(" A مصدر الجواز "), c<QWidget>("txt_passport_issue_place_a"));
    put(papers, 5, 0, QStringLiteral(" E مصدر الجواز"), c<QWidget>("txt_passport_issue_place_e"));
    put(papers, 6, 0, QStringLiteral("رقم الاقامة"), c<QWidget>("txt_iqama_no"));
    papers->addWidget(englishCaption(QStringLiteral("iqama  no.")), 6, 2);
    put(papers, 7, 0, QStringLiteral("تاريخ الاقامة"), dateRow("iqama_date"), 2);
    put(papers, 8, 0, QStringLiteral("إنتهاء الاقامة"),
        dateRow("Iqama_exp_date", englishCaption(QStringLiteral("exp_date"))), 2);
    papers->setColumnStretch(1, 1);
    papers->setRowStretch(9, 1);
    columns->addLayout(papers, 5);
    columns->addSpacing(16);

    // Left: the codes of the person, with their English captions, and the languages.
    auto *codes = new QGridLayout;
    const std::tuple<const char *, const char *, const char *> lists[] = {
        {"dbc_nationality", "الجنســيـــة", "nationality"},
        {"dbc_former_relgion", "الديانةالسابقة", "former religion"},
        {"dbc_denomination", "المــــذهب", "denomination"},
        {"dbc_occupation", "المهنة", "occupation"},
        {"dbc_qualification", "المؤهل العلمي", "qualification"}};
    int row = 0;
    for (const auto &[name, arabic, english] : lists) {
        put(codes, row, 0, QString::fromUtf8(arabic), c<QWidget>(name));
        codes->addWidget(englishCaption(QLatin1String(english)), row++, 2);
    }
    auto *languages = frame(QStringLiteral("Languages / اللغات"), "languagesFrame");
    auto *list = new QGridLayout(languages);
    for (int i = 1; i <= 5; ++i) {
        QWidget *language = m_controls.value(QStringLiteral("dbc_language%1").arg(i));
        list->addWidget(language, (i - 1) / 2, (i - 1) % 2);
        m_tabChain << language;
    }
    codes->addWidget(languages, row++, 0, 1, 3);
    codes->setColumnStretch(1, 1);
    codes->setRowStretch(row, 1);
    columns->addLayout(codes, 4);
    return page;
}

QWidget *frmTamrel::buildAddressPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("addressPage"));
    auto *grid = new QGridLayout(page);
    const QStringList columns{QStringLiteral("الاسم / العنوان"), QStringLiteral("Phone / التلفون"),
                              QStringLiteral("POBox/ ص.ب"), QStringLiteral("Z.Code/ الرمز البريدي"),
                              QStringLiteral("City/ المدينة")};
    for (int col = 0; col < columns.size(); ++col)
        grid->addWidget(new QLabel(columns.at(col)), 0, col + 1, Qt::AlignCenter);

    // Rows: work, home, home country, friend, sponsor; each row's name (if
    // it has one) and its four particulars.
    const std::pair<const char *, const char *> rows[] = {{"w", "Work / عمل"},
                                                          {"h", "Home / المنزل"},
                                                          {"c", "At Country / في بلده"},
                                                          {"f", "Friend / صديق"},
                                                          {"sponsor", "Sponsor / الكفيل"}};
    const char *names[] = {nullptr, nullptr, "txt_long_address", "txt_friend_name", "txt_sponsor_name"};
    int row = 1;
    for (int r = 0; r < 5; ++r, ++row) {
        grid->addWidget(new QLabel(QString::fromUtf8(rows[r].second)), row, 0);
        if (names[r]) {
            QWidget *name = c<QWidget>(names[r]);
            grid->addWidget(name, row, 1);
            m_tabChain << name;
        }
        for (int k = 0; k < 4; ++k) {
            static const char *kinds[] = {"phone", "pobox", "zip_code", "city"};
            QWidget *box = m_controls.value(
                QStringLiteral("txt_%1_%2").arg(QLatin1String(kinds[k]), QLatin1String(rows[r].first)));
            grid->addWidget(box, row, k + 2);
            m_tabChain << box;
        }
    }
    c<core::TextArea>("txt_long_address")->setFixedHeight(c<QLineEdit>("txt_city_c")->sizeHint().height() * 2);
    grid->addWidget(new QLabel(QStringLiteral("Escort / المرافق")), row, 0);
    const char *escort[] = {"txt_name_escort", "txt_phone_escort", "txt_pobox_escort", "txt_zip_code_escort",
                            "txt_city_escort"};
    for (int k = 0; k < 5; ++k) {
        grid->addWidget(c<QWidget>(escort[k]), row, k + 1);
        m_tabChain << c<QWidget>(escort[k]);
    }
    ++row;

    // The street and the district of the home.
    auto *home = new QHBoxLayout;
    for (const auto &[name, text] : {std::pair{"txt_str_name", "اسم الشارع"}, std::pair{"txt_area_name", "اسم الحي"}}) {
        auto *label = new QLabel(QString::fromUtf8(text));
        label->setBuddy(c<QWidget>(name));
        home->addWidget(label);
        home->addWidget(c<QWidget>(name), 1);
        m_tabChain << c<QWidget>(name);
    }
    grid->addWidget(new QLabel(QStringLiteral("Home / المنزل")), row, 0);
    grid->addLayout(home, row, 1, 1, 5);

    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(4, 1);
    grid->setColumnStretch(5, 2);
    grid->setRowStretch(row + 1, 1);
    return page;
}

QWidget *frmTamrel::buildFollowUpPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("followUpPage"));
    auto *layout = new QVBoxLayout(page);
    auto *grid = new QGridLayout;
    put(grid, 0, 0, QStringLiteral("المجموعة"), c<QWidget>("DBC_advisor"));
    put(grid, 0, 2, QStringLiteral("اسم المشرف"), c<QWidget>("DBC_advisor2"));
    put(grid, 1, 0, QStringLiteral("الجوال"), c<QWidget>("DBC_advisor3"));
    put(grid, 1, 2, QStringLiteral("التاريخ"), dateRow("advisor_date3"));
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);

    auto *prayer = frame(QStringLiteral("Prayer / الصلاة"), "prayerFrame");
    auto *options = new QHBoxLayout(prayer);
    for (int i = 0; i < 5; ++i) {
        options->addWidget(Option3->button(i));
        m_tabChain << Option3->button(i);
    }
    options->addStretch(1);
    layout->addWidget(prayer);
    layout->addWidget(DBGrid2, 1);
    m_tabChain << DBGrid2;
    return page;
}

QWidget *frmTamrel::buildCoursesPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("coursesPage"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(DBGrid3);
    m_tabChain << DBGrid3;
    return page;
}

QWidget *frmTamrel::buildWitnessPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("witnessPage"));
    auto *layout = new QVBoxLayout(page);

    auto *documents = frame(QStringLiteral("Documents /  وثائق"), "documentsFrame");
    auto *checks = new QHBoxLayout(documents);
    for (const char *name : {"sponsor_doc", "khitan_doc", "tamrel_doc"}) {
        checks->addWidget(c<QWidget>(name));
        m_tabChain << c<QWidget>(name);
    }
    checks->addStretch(1);
    layout->addWidget(documents);

    auto *grid = new QGridLayout;
    put(grid, 0, 0, QStringLiteral("مكان النطق بالشهادة"), c<QWidget>("TXT_shahada_Place"));
    m_shahadaRemarkCaption = put(grid, 0, 2, kRemarks, c<QWidget>("txt_shahada_place_comments"));
    // Each name box with the list it is chosen from.
    const std::tuple<const char *, const char *, const char *> people[] = {
        {"اسم الداعية الأول", "TXT_daeyah_1", "dbc_daeyah_1"},
        {"اسم الداعية الثاني", "TXT_daeyah_2", "dbc_daeyah_2"},
        {"اسم المدير أو نائبه", "txt_manager", "dbc_manager"},
        {"اسم الشاهد الأول", "txt_witness_1", "dbc_witness_1"},
        {"اسم الشاهد الثاني", "txt_witness_2", "dbc_witness_2"}};
    int row = 1;
    for (const auto &[caption, box, list] : people) {
        put(grid, row, 0, QString::fromUtf8(caption), c<QWidget>(box));
        auto *chooser = new core::LookupCombo(QLatin1String(list), formArea());
        chooser->setToolTip(QString::fromUtf8(caption));
        m_controls.insert(QLatin1String(list), chooser);
        grid->addWidget(chooser, row++, 2, 1, 2);
        m_tabChain << chooser;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);
    layout->addStretch(1);
    return page;
}

QWidget *frmTamrel::buildDocumentPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("documentPage"));
    auto *layout = new QHBoxLayout(page);

    auto *certificate = frame(QStringLiteral("Status document / وضع الوثيقة"), "certificateFrame");
    auto *grid = new QGridLayout(certificate);
    auto *options = new QHBoxLayout;
    options->addWidget(Option4);
    options->addWidget(Option5);
    options->addWidget(txt_certificate);
    options->addStretch(1);
    m_tabChain << Option4 << Option5;
    grid->addLayout(options, 0, 0, 1, 2);
    put(grid, 1, 0, QStringLiteral("الحالة"), txt_certificate_stat);
    m_takeCaption = put(grid, 2, 0, kRecipient, c<QWidget>("txt_certificate_take"));
    m_takeDateCaption = put(grid, 3, 0, QStringLiteral("تاريخ الإستلام"), dateRow("date_of_take"));
    m_numberCaption = put(grid, 4, 0, QStringLiteral("رقم الوثيقة"), c<QWidget>("txt_no_certificate"));
    m_certificateDateCaption = put(grid, 5, 0, QStringLiteral("تاريخها"), dateRow("date_of_certificate"));
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);

    auto *right = new QVBoxLayout;
    right->addWidget(certificate);

    auto *status = frame(QStringLiteral("Status / وضعه الحالي"), "statusFrame");
    auto *statusGrid = new QGridLayout(status);
    int i = 0;
    for (const char *name : {"file_status", "vacation_status", "in_kingdom_status", "rejected_islam_status"}) {
        statusGrid->addWidget(c<QWidget>(name), i / 2, i % 2);
        m_tabChain << c<QWidget>(name);
        ++i;
    }
    Label58 = put(statusGrid, 2, 0, kRemarks, c<QWidget>("txt_file_stat_cmnt"));
    Label58->setObjectName(QStringLiteral("Label58"));
    statusGrid->setColumnStretch(1, 1);
    right->addWidget(status);
    layout->addLayout(right, 3);

    auto *files = frame(QStringLiteral("الملفات"), "filesFrame");
    auto *fileList = new QVBoxLayout(files);
    fileList->addWidget(File1, 1);
    fileList->addWidget(Command1, 0, Qt::AlignLeading);
    m_tabChain << File1 << Command1;
    layout->addWidget(files, 2);
    return page;
}

void frmTamrel::buildSearchPanel()
{
    // The list panel of the record screen, beside the tabs and never hidden.
    auto *panel = qobject_cast<QVBoxLayout *>(listPanel()->layout());
    auto *label1 = new QLabel(QStringLiteral("ORHP NO"), listPanel());
    label1->setObjectName(QStringLiteral("Label1"));
    m_search = new QPushButton(QStringLiteral("ابدأ البحث"), listPanel());
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setAutoDefault(false);
    for (int i = 0; i < panel->count(); ++i) {
        if (auto *buttons = qobject_cast<QHBoxLayout *>(panel->itemAt(i)->layout())) {
            buttons->insertWidget(0, m_search);
            break;
        }
    }
    // On the caption's line, so that the list keeps its rows: how the typed
    // texts are compared, and the persons that may be the one on the screen.
    m_exactMatch = new QCheckBox(kExactMatch, listPanel());
    m_exactMatch->setObjectName(QStringLiteral("chkExactMatch"));
    m_exactMatch->setToolTip(kExactMatchTip);
    m_duplicatesButton = new QPushButton(kDuplicates, listPanel());
    m_duplicatesButton->setObjectName(QStringLiteral("cmd_duplicates"));
    m_duplicatesButton->setToolTip(kDuplicatesTip);
    m_duplicatesButton->setAutoDefault(false);
    auto *options = new QHBoxLayout;
    options->addWidget(m_exactMatch);
    options->addWidget(m_duplicatesButton);
    options->addStretch(1);
    options->addWidget(label1);
    panel->insertLayout(0, options);
    grid()->setMinimumHeight(0);
}

} // namespace registry
