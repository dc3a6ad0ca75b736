#include "registry/frmTamrel.h"

#include "screens/DateSelector.h"
#include "data/HijraDate.h"
#include "screens/LookupCombo.h"
#include "registry/DuplicatesPanel.h"
#include "screens/RequiredMark.h"
#include "screens/DataSource.h"
#include "registry/PersonSearch.h"
#include "engine/QueryCursor.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QCheckBox>
#include <QCompleter>
#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include <memory>

using registry::frmTamrel;
using testsupport::pick;

namespace {

using Values = QList<std::pair<QString, QString>>; // control, text

const QString kGroup = QStringLiteral("المجموعة الأولى");
const QString kWitness = QStringLiteral("فهد الحربي");

// The control of each field of tamrel, as the office's forms name them:
// "txt_" + field unless listed here.
QString controlOf(const QString &field)
{
    static const QHash<QString, QString> named = [] {
        QHash<QString, QString> h{
            {"former_relgion", "dbc_former_relgion"}, {"denomination", "dbc_denomination"},
            {"nationality", "dbc_nationality"},       {"occupation", "dbc_occupation"},
            {"qualification", "dbc_qualification"},   {"shahada_place", "TXT_shahada_Place"},
            {"sex", "Option2"},                       {"m_status", "Option1"},
            {"followup_group", "DBC_advisor"},        {"advisor_date3", "Combo21"},
            {"Place_of_birth", "TXT_Place_of_birth"}, {"daeyah_1", "TXT_daeyah_1"},
            {"daeyah_2", "TXT_daeyah_2"},             {"shahada_Place_comments", "txt_shahada_place_comments"},
            {"advisor2", "DBC_advisor2"},             {"advisor3", "DBC_advisor3"},
            {"Iqama_exp_date", "Iqama_exp_date"}};
        for (int i = 1; i <= 5; ++i)
            h.insert(QStringLiteral("language%1").arg(i), QStringLiteral("dbc_language%1").arg(i));
        for (const char *check : {"sponsor_doc", "khitan_doc", "tamrel_doc", "file_status", "vacation_status",
                                  "in_kingdom_status", "rejected_islam_status"})
            h.insert(QLatin1String(check), QLatin1String(check));
        const char *prayer[] = {"no_prayer", "yes_prayer", "group_prayer", "no_group_prayer", "unknown_prayer"};
        for (int i = 0; i < 5; ++i)
            h.insert(QLatin1String(prayer[i]), QStringLiteral("Option3_%1").arg(i));
        return h;
    }();
    return named.value(field, QStringLiteral("txt_") + field);
}

// The date selectors: year, month and day lists of each date field.
const QHash<QString, QStringList> &selectors()
{
    static const QHash<QString, QStringList> lists{
        {"dateofislam", {"Combo4", "Combo3", "Combo2"}},     {"iqama_date", {"Combo10", "Combo9", "Combo8"}},
        {"birth", {"Combo7", "Combo6", "Combo5"}},           {"passport_date_e", {"Combo12", "Combo11", "Combo30"}},
        {"Iqama_exp_date", {"Combo25", "Combo26", "Combo27"}}, {"date_of_certificate", {"Combo15", "Combo14", "Combo13"}},
        {"date_of_take", {"Combo18", "Combo17", "Combo16"}}, {"advisor_date3", {"Combo21", "Combo20", "Combo19"}}};
    return lists;
}

struct Fixture : testsupport::ScreenFixture<frmTamrel> {
    Fixture()
    {
        setWorkingDate({"1427", "05", "09"});
        store.db().execute(QStringLiteral("INSERT INTO followup_group (group_name, english_NAME, phone, mobile, "
                                          "leader_name, language) VALUES (?, 'G1', ' ', '0555123', 'سعد', ' ')"),
                           {kGroup});
        store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME) VALUES (?, 'Fahd')"), {kWitness});
        reports.addReport(QStringLiteral("tamrel"), {QStringLiteral("tamrel_no")});
    }
    void open(frmTamrel::Access access = frmTamrel::Access::Full)
    {
        screen = std::make_unique<frmTamrel>(ctx, access);
        screen->show();
    }
    QWidget *w(const QString &name) const { return find<QWidget>(name); }
    QComboBox *list(const QString &name) const { return find<QComboBox>(name); }
    QTabWidget *tabs() const { return find<QTabWidget>(QStringLiteral("SSTab1")); }
    QString text(const QString &name) const { return core::controlText(w(name)); }
    void set(const Values &values) const
    {
        for (const auto &[name, text] : values)
            core::setControlText(w(name), text);
    }
    void pickDate(const QString &field, const QStringList &parts) const
    {
        for (int i = 0; i < 3; ++i)
            pick(list(selectors().value(field).at(i)), parts.at(i));
    }
    // What the person check needs, for person `number`.
    void fillRequired(const QString &number) const
    {
        set({{"txt_tamrel_no", number},
             {"txt_a_old_name", "جون"},
             {"txt_a_new_name", "عبد الله"},
             {"txt_age", "30"},
             {"dbc_nationality", "فلبيني"},
             {"txt_iqama_no", "2345"},
             {"dbc_former_relgion", "نصراني"},
             {"dbc_language1", "الإنجليزية"},
             {"DBC_advisor", kGroup}});
        pickDate(QStringLiteral("dateofislam"), {"1427", "05", "09"});
    }
    QVariant stored(const QString &number, const QString &field)
    {
        return scalar(QStringLiteral("SELECT \"%1\" FROM tamrel WHERE tamrel_no = ?").arg(field), {number});
    }
    void addRow(const QVariantMap &fields)
    {
        QStringList names, marks;
        QVariantList values;
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            names << QStringLiteral("\"%1\"").arg(it.key());
            marks << QStringLiteral("?");
            values << it.value();
        }
        store.db().execute(QStringLiteral("INSERT INTO tamrel (%1) VALUES (%2)").arg(names.join(','), marks.join(',')),
                           values);
    }
    QStringList listed(int col = 0) const
    {
        QStringList out;
        for (int r = 0; r < grid()->rowCount(); ++r)
            out << grid()->value(r, col);
        return out;
    }
    // The text of the caption beside a control.
    QString captionOf(const QString &name) const
    {
        for (QLabel *label : screen->findChildren<QLabel *>())
            if (label->buddy() == w(name))
                return label->text();
        return {};
    }
    void show(const QString &number)
    {
        box(QStringLiteral("txt_tamrel_no"))->setText(number);
        press(QStringLiteral("find"));
    }
};

// A text of `length` characters for a field: Arabic and Latin, quotes,
// wildcards and the LIKE escape, different for every field.
QString sample(const QString &field, int length)
{
    QString text = field + QStringLiteral(" «عبد الله» O'Neil \"Q\" 50% *? _\\ ");
    while (text.size() < length)
        text += text;
    return text.left(length);
}

bool isMemo(const core::schema::Column &c)
{
    return c.kind == core::schema::Kind::Memo;
}

} // namespace

class TstFrmTamrel : public QObject {
    Q_OBJECT

private slots:
    // ---------------------------------------------------------- search text (no screen)
    void searchPatternKeepsOnlyStarAndQuestionMark_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("plain") << "12" << "%12%";
        QTest::newRow("star and question mark") << "م*د?" << "%م%د_%";
        QTest::newRow("percent, underscore, backslash") << "50%_a\\b" << "%50\\%\\_a\\\\b%";
        QTest::newRow("quotes") << "O'Neil \"Q\"" << "%O'Neil \"Q\"%";
    }
    void searchPatternKeepsOnlyStarAndQuestionMark()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pattern);
        QCOMPARE(registry::containsPattern(typed), pattern);
    }

    void searchCriteriaBindEveryValue()
    {
        QCOMPARE(registry::searchFields().size(), 44);
        const QList<engine::TextCriterion> criteria = registry::searchCriteria(
            {{"tamrel_no", "12"}, {"a_old_name", " "}, {"e_old_name", ""}, {"witness_1", "x"}, {"comments", "'; DROP"}},
            engine::TextMatch::Exact);
        QCOMPARE(criteria.size(), 2);
        QCOMPARE(criteria.at(0).column, QStringLiteral("tamrel_no"));
        QCOMPARE(criteria.at(0).pattern, QStringLiteral("%12%"));
        QCOMPARE(criteria.at(1).column, QStringLiteral("comments"));
        QCOMPARE(criteria.at(1).pattern, QStringLiteral("%'; DROP%"));
        QVERIFY(criteria.at(1).match == engine::TextMatch::Exact);
        QVERIFY(registry::searchCriteria({}).isEmpty());
    }

    // ---------------------------------------------------------- opening
    void opensWithTabsListsAndItsButtons_data()
    {
        QTest::addColumn<bool>("viewOnly");
        QTest::newRow("Tamrelx") << false;
        QTest::newRow("showdata") << true;
    }
    void opensWithTabsListsAndItsButtons()
    {
        QFETCH(bool, viewOnly);
        Fixture f;
        for (const char *n : {"12", "112", "13"})
            f.addPerson(QLatin1String(n), QStringLiteral("اسم"));
        f.open(viewOnly ? frmTamrel::Access::ViewOnly : frmTamrel::Access::Full);
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("Tamrel"));
        QStringList captions;
        for (int i = 0; i < f.tabs()->count(); ++i)
            captions << f.tabs()->tabText(i);
        QCOMPARE(captions, (QStringList{"معلومت شخصية", "الاقامة \\ الجواز", "Addresses / العناوين",
                                        "خطوات المتابعة", "الدورات", "الشهود", "الوثائق"}));
        QVERIFY(f.w("Frame1")->isVisible());
        QCOMPARE(f.messages.shownCount(), 0);

        // Year ranges: Hijri from the working year, the expiry three years on, Gregorian from today.
        const int year = QDate::currentDate().year();
        const std::tuple<const char *, QString, QString, int> ranges[] = {
            {"Combo4", "1407", "1427", 31}, {"Combo15", "1407", "1427", 31},
            {"Combo25", "1410", "1430", 31}, {"Combo7", QString::number(year - 60), QString::number(year), 32},
            {"Combo12", QString::number(year - 60), QString::number(year), 32}};
        for (const auto &[name, first, last, days] : ranges) {
            QComboBox *years = f.list(QLatin1String(name));
            QCOMPARE(years->itemText(0), QStringLiteral("0000"));
            QCOMPARE(years->itemText(1), first);
            QCOMPARE(years->itemText(years->count() - 1), last);
            auto *date = qobject_cast<core::DateSelector *>(years->parentWidget());
            QCOMPARE(date->dayList()->count(), days);
        }
        QCOMPARE(f.list("txt_document_stat")->count(), 3);
        QCOMPARE(f.text("txt_document_stat"), QStringLiteral(" "));
        QCOMPARE(f.text("txt_certificate"), QStringLiteral("2"));
        QCOMPARE(f.list("txt_certificate_stat")->count(), 0);
        for (const char *on : {"Option1_0", "Option2_0", "Option3_0"})
            QVERIFY(f.find<QRadioButton>(QLatin1String(on))->isChecked());
        QVERIFY(!f.find<QRadioButton>("Option4")->isChecked() && !f.find<QRadioButton>("Option5")->isChecked());

        // The register as stored; a heading click does not sort the table itself.
        QCOMPARE(f.listed(), (QStringList{"12", "112", "13"}));
        QCOMPARE(f.grid()->heading(0), QStringLiteral("رقم Tamrel"));
        f.grid()->sortByHeading(0);
        QCOMPARE(f.listed(), (QStringList{"12", "112", "13"}));

        for (const char *name : {"add", "update", "delete"})
            QCOMPARE(f.find<QPushButton>(QLatin1String(name))->isEnabled(), !viewOnly);
        // Keys do not reach a disabled button; find, moves and print work either way.
        f.fillRequired(QStringLiteral("77"));
        f.screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.screen.get()));
        f.box("txt_tamrel_no")->setFocus();
        QTest::keyClick(f.box("txt_tamrel_no"), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(f.rowCount("tamrel"), viewOnly ? 3 : 4);
        f.show(QStringLiteral("13"));
        QCOMPARE(f.text("txt_a_new_name"), QStringLiteral("اسم"));
        f.press("lastrec");
        f.press("nextrec");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_EOF);
        f.press("cmd_print");
        QCOMPARE(f.reports.lastRequest().values, (core::ReportValues{{"tamrel_no", viewOnly ? "13" : "77"}}));
    }

    // ---------------------------------------------------------- every field
    void savesAndShowsEveryFieldExactly_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("beyond the limits") << 256;
        QTest::newRow("short") << 17;
    }
    void savesAndShowsEveryFieldExactly()
    {
        QFETCH(int, length);
        Fixture f;
        f.open();
        f.press("clear");
        const core::schema::Table *table = core::schema::findTable("tamrel");
        const QString number = QString(length, QLatin1Char('7'));
        const int thisYear = QDate::currentDate().year();
        const QHash<QString, QStringList> dates{
            {"dateofislam", {"1427", "05", "09"}},  {"iqama_date", {"1420", "12", "30"}},
            {"birth", {QString::number(thisYear - 30), "12", "31"}},
            {"passport_date_e", {QString::number(thisYear), "01", "02"}},
            {"Iqama_exp_date", {"1430", "01", "01"}}, {"date_of_certificate", {"1410", "02", "03"}},
            {"date_of_take", {"1411", "04", "05"}},   {"advisor_date3", {"1425", "06", "07"}}};
        QHash<QString, QVariant> expected; // field -> stored value
        f.find<QRadioButton>("Option5")->click(); // issued: certificate "0"
        int checks = 0;
        for (const core::schema::Column &c : table->columns) {
            const QString control = controlOf(c.name);
            if (dates.contains(c.name)) {
                f.pickDate(c.name, dates.value(c.name));
                expected.insert(c.name, c.name == "advisor_date3" ? QVariant() : QVariant(dates.value(c.name).join("")));
            } else if (c.name == "sex" || c.name == "m_status") {
                f.find<QRadioButton>(control + (c.name == "sex" ? "_1" : "_0"))->click();
                expected.insert(c.name, c.name == "sex" ? 0 : 1);
            } else if (c.kind == core::schema::Kind::Boolean) { // prayer
                f.find<QRadioButton>("Option3_2")->click();
                expected.insert(c.name, control == "Option3_2" ? 1 : 0);
            } else if (c.kind == core::schema::Kind::Check) {
                f.find<QCheckBox>(control)->setChecked(checks % 2 == 0);
                expected.insert(c.name, checks++ % 2 == 0 ? 1 : 0);
            } else if (c.name == "certificate") {
                expected.insert(c.name, "0");
            } else if (c.name == "certificate_stat") {
                pick(f.list(control), QStringLiteral("في المكتب"));
                expected.insert(c.name, QStringLiteral("في المكتب"));
            } else {
                const bool digits = c.name == "tamrel_no" || c.name == "iqama_no";
                const QString value = c.name == "tamrel_no" ? number
                                      : digits              ? QString(length, QLatin1Char('3'))
                                                            : sample(c.name, length);
                f.set({{control, value}});
                expected.insert(c.name, isMemo(c) ? value : value.left(c.maxLength));
            }
        }
        QCOMPARE(expected.size(), 97);
        const QString key = expected.value("tamrel_no").toString();
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        const auto compareStored = [&](const QString &picture) {
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                const QVariant want = it.key() == "picture" && !picture.isEmpty() ? QVariant(picture) : it.value();
                const QVariant got = f.stored(key, it.key());
                QVERIFY2(want.isNull() ? got.isNull() : got.toString() == want.toString(),
                         qPrintable(it.key() + ": " + got.toString()));
            }
        };
        compareStored({});

        // Shown again after a clear: every control as saved; the picture
        // box names the person's picture.
        f.press("clear");
        f.show(key);
        const QString picture = (QStringLiteral("pic") + key + QStringLiteral(".jpg")).left(255);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QString control = controlOf(it.key());
            if (it.key() == "picture")
                QCOMPARE(f.text(control), picture);
            else if (auto *option = f.screen->findChild<QRadioButton *>(control + "_0"))
                QCOMPARE(option->isChecked(), it.value().toBool());
            else if (auto *button = qobject_cast<QAbstractButton *>(f.w(control)); button && !qobject_cast<QCheckBox *>(button))
                QCOMPARE(button->isChecked(), it.value().toBool());
            else if (it.key() == "advisor_date3")
                QCOMPARE(f.text("Combo21"), QStringLiteral("0000")); // never written
            else
                QCOMPARE(f.text(control), it.value().toString());
            if (selectors().contains(it.key()) && !it.value().isNull()) {
                const QStringList parts = selectors().value(it.key());
                QCOMPARE(f.text(parts.at(0)) + f.text(parts.at(1)) + f.text(parts.at(2)), it.value().toString());
            }
        }
        // Saved again unchanged, but for the picture's name.
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        compareStored(picture);
    }

    // Values nobody changed stay as stored, even those the screen would not
    // write itself, and a Null birth date leaves the rest to load.
    void showsAndKeepsWhatTheScreenWouldNotWrite()
    {
        Fixture f;
        f.addRow({{"tamrel_no", "40"},       {"a_old_name", "جون"},  {"a_new_name", "عبد الله"},
                  {"dateofislam", "14270509"}, {"age", "30"},       {"nationality", "فلبيني"},
                  {"iqama_no", "1"},         {"former_relgion", "نصراني"}, {"language1", "الإنجليزية"},
                  {"followup_group", kGroup}, {"birth", QVariant()}, {"sex", 0}, {"m_status", 0},
                  {"no_prayer", 0},          {"vacation_status", 5}, {"certificate", "1"},
                  {"certificate_stat", "حالة قديمة"}, {"date_of_certificate", "1426xx07"},
                  {"advisor_date3", "14250607"}, {"picture", "pic40.jpg"}});
        f.open();
        f.show(QStringLiteral("40"));
        QCOMPARE(f.text("txt_birth"), QString());
        QCOMPARE(f.text("Combo7") + f.text("Combo6") + f.text("Combo5"), QStringLiteral("00000000"));
        QCOMPARE(f.text("txt_certificate_stat"), QStringLiteral("حالة قديمة"));
        QCOMPARE(f.text("Combo15") + f.text("Combo14") + f.text("Combo13"), QStringLiteral("1426xx07"));
        QCOMPARE(f.text("Combo21") + f.text("Combo20") + f.text("Combo19"), QStringLiteral("14250607"));
        QVERIFY(!f.find<QRadioButton>("Option1_0")->isChecked() && f.text("txt_no_boys").isEmpty());
        QVERIFY(!f.find<QButtonGroup>("Option3")->checkedButton());
        QVERIFY(f.find<QRadioButton>("Option4")->isChecked());
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        for (const auto &[field, value] : {std::pair<QString, QVariant>{"vacation_status", 5},
                                           {"certificate_stat", "حالة قديمة"}, {"date_of_certificate", "1426xx07"},
                                           {"advisor_date3", "14250607"}, {"certificate", "1"}, {"no_prayer", 0},
                                           {"group_prayer", 0}, {"birth", QString()}})
            QCOMPARE(f.stored("40", field).toString(), value.toString());
    }

    // ---------------------------------------------------------- the person check
    void personCheckRefuses_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("required");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("tab");
        QTest::newRow("number 12a") << "txt_tamrel_no" << "12a" << false << "txt_tamrel_no" << 0;
        QTest::newRow("empty number") << "txt_tamrel_no" << "" << true << "txt_tamrel_no" << 0;
        QTest::newRow("blank number") << "txt_tamrel_no" << " " << true << "txt_tamrel_no" << 0;
        QTest::newRow("blank old name") << "txt_a_old_name" << " " << true << "txt_a_old_name" << 0;
        QTest::newRow("no new name") << "txt_a_new_name" << "" << true << "txt_a_new_name" << 0;
        QTest::newRow("day 00") << "Combo2" << "00" << false << "Combo2" << 0;
        QTest::newRow("month 00") << "Combo3" << "00" << false << "Combo3" << 0;
        QTest::newRow("year 0000") << "Combo4" << "0000" << false << "Combo4" << 0;
        QTest::newRow("no age") << "txt_age" << "" << true << "txt_age" << 0;
        QTest::newRow("no nationality") << "dbc_nationality" << "" << false << "dbc_nationality" << 1;
        QTest::newRow("iqama no number") << "txt_iqama_no" << "x1" << false << "txt_iqama_no" << 1;
        QTest::newRow("no former religion") << "dbc_former_relgion" << " " << false << "dbc_former_relgion" << 1;
        QTest::newRow("no first language") << "dbc_language1" << "" << false << "dbc_language1" << 1;
        QTest::newRow("no follow-up group") << "DBC_advisor" << "" << false << "DBC_advisor" << 3;
    }
    void personCheckRefuses()
    {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(bool, required);
        QFETCH(QString, focus);
        QFETCH(int, tab);
        Fixture f;
        f.open();
        f.fillRequired(QStringLiteral("12"));
        if (control.startsWith("Combo"))
            pick(f.list(control), value);
        else
            f.set({{control, value}});
        f.tabs()->setCurrentIndex(5);
        for (const char *button : {"add", "update"}) {
            f.messages.queueAnswer(true); // update of a new number: add it
            f.press(button);
            QCOMPARE(f.lastShown(), (required ? f.cmn.msgs.MSG_REQUIRED : f.cmn.msgs.MSG_INVALID).trimmed());
            QCOMPARE(f.screen->focusWidget()->objectName(), focus);
            QCOMPARE(f.tabs()->currentIndex(), tab);
            QCOMPARE(f.rowCount("tamrel"), 0);
            f.messages.clearAnswers();
        }
        if (f.w(control)->inherits("core::LookupCombo"))
            QCOMPARE(f.w(control)->palette().color(QPalette::Base), QColor(Qt::yellow));
    }

    void yellowListTurnsBackOnceFilled()
    {
        Fixture f;
        f.open();
        f.fillRequired(QStringLiteral("12"));
        f.set({{"dbc_nationality", ""}});
        f.press("add");
        QCOMPARE(f.w("dbc_nationality")->palette().color(QPalette::Base), QColor(Qt::yellow));
        pick(f.list("dbc_nationality"), f.list("dbc_nationality")->itemText(0));
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QCOMPARE(f.w("dbc_nationality")->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
        QCOMPARE(f.tabs()->currentIndex(), 0);
    }

    // ---------------------------------------------------------- marks, numbers, unsaved edits
    // The marked fields are exactly those the person check refuses: a clerk
    // who fills only what a refusal names, one refusal at a time, meets
    // every marked field and no other before the person is added; each
    // refusal keeps its message and focus and names the field and its tab.
    void requiredMarksAreWhatTheCheckRefuses()
    {
        Fixture f;
        f.open();
        QSet<QString> marked;
        for (const registry::TamrelField &field : registry::tamrelFields())
            if (QWidget *control = f.screen->findChild<QWidget *>(QLatin1String(field.control));
                control && core::isMarkedRequired(f.screen.get(), control))
                marked.insert(control->objectName());
        const QHash<QString, std::function<void()>> fills{
            {"txt_tamrel_no", [&] { f.set({{"txt_tamrel_no", "12"}}); }},
            {"txt_a_old_name", [&] { f.set({{"txt_a_old_name", "جون"}}); }},
            {"txt_a_new_name", [&] { f.set({{"txt_a_new_name", "عبد الله"}}); }},
            {"Combo2", [&] { pick(f.list("Combo2"), "09"); }},
            {"Combo3", [&] { pick(f.list("Combo3"), "05"); }},
            {"Combo4", [&] { pick(f.list("Combo4"), "1427"); }},
            {"txt_age", [&] { f.set({{"txt_age", "30"}}); }},
            {"dbc_nationality", [&] { f.set({{"dbc_nationality", "فلبيني"}}); }},
            {"txt_iqama_no", [&] { f.set({{"txt_iqama_no", "2345"}}); }},
            {"dbc_former_relgion", [&] { f.set({{"dbc_former_relgion", "نصراني"}}); }},
            {"dbc_language1", [&] { f.set({{"dbc_language1", "الإنجليزية"}}); }},
            {"DBC_advisor", [&] { f.set({{"DBC_advisor", kGroup}}); }}};
        QSet<QString> refused;
        QLabel *status = f.find<QLabel>(QStringLiteral("lblStatus"));
        for (int tries = 0; tries < 20 && f.rowCount("tamrel") == 0; ++tries) {
            f.press("add");
            if (f.rowCount("tamrel") > 0)
                break;
            QWidget *focus = f.screen->focusWidget();
            QVERIFY(focus);
            const QString name = focus->objectName();
            QVERIFY2(fills.contains(name), qPrintable(name));
            // The date's three lists share the caption of their selector.
            refused.insert(name.startsWith("Combo") ? QStringLiteral("dateofislam") : name);
            QVERIFY(f.lastShown() == f.cmn.msgs.MSG_REQUIRED.trimmed() || f.lastShown() == f.cmn.msgs.MSG_INVALID.trimmed());
            const QString tab = f.tabs()->tabText(f.tabs()->currentIndex());
            QVERIFY2(status->text().contains(QStringLiteral("«%1»").arg(tab)), qPrintable(status->text()));
            QVERIFY2(status->text().contains(f.lastShown()), qPrintable(status->text()));
            fills.value(name)();
        }
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QCOMPARE(status->text(), QString()); // the refusal's line goes with the save
        QSet<QString> expected = refused;
        expected.remove(QStringLiteral("dateofislam"));
        // The date of Islam is marked on its caption, through its selector;
        // its text box is composed by the selector, never typed.
        QVERIFY(core::isMarkedRequired(f.screen.get(), f.list("Combo4")->parentWidget()));
        marked.remove(QStringLiteral("txt_dateofislam"));
        QCOMPARE(marked, expected);
        QVERIFY(refused.contains(QStringLiteral("dateofislam")));
        // The caption carries the star and both say the field is required;
        // the caption's text stays the form's own.
        QCOMPARE(f.captionOf("txt_a_old_name"), QStringLiteral("الاسم"));
        QVERIFY(f.w("txt_a_old_name")->toolTip().contains(core::kRequiredTip));
        QVERIFY(!core::isMarkedRequired(f.screen.get(), f.w("txt_e_old_name")));
        // The first language has no caption: the star is in its box.
        QVERIFY(f.list("dbc_language1")->lineEdit()->findChild<QAction *>(QLatin1String(core::kRequiredMarkName)));
    }

    // Number boxes take digits only while typing, Arabic-Indic digits as
    // Latin ones; a stored value that is no number is shown and kept, and
    // editing it the clerk may delete and add digits, never other letters.
    void numberBoxesTakeDigitsOnly_data()
    {
        QTest::addColumn<QString>("box");
        for (const char *box : {"txt_tamrel_no", "txt_age", "txt_no_boys", "txt_no_girls", "txt_iqama_no"})
            QTest::newRow(box) << QString::fromLatin1(box);
    }
    void numberBoxesTakeDigitsOnly()
    {
        QFETCH(QString, box);
        Fixture f;
        f.addRow({{"tamrel_no", "7"}, {"a_old_name", "جون"}, {"a_new_name", "عبد الله"}, {"dateofislam", "14270509"},
                  {"nationality", "فلبيني"}, {"former_relgion", "نصراني"}, {"language1", "الإنجليزية"},
                  {"followup_group", kGroup}, {"age", "30"}, {"no_boys", "1"}, {"no_girls", "2"},
                  {"iqama_no", "3"}, {"m_status", 1}, {box.mid(4), "abc"}});
        f.open();
        QLineEdit *edit = f.box(box);
        const auto typeArabic = [edit](const QString &text) {
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        };
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("3a-0 .5"));
        QCOMPARE(edit->text(), QStringLiteral("305"));
        edit->clear();
        typeArabic(QStringLiteral("١٢٣"));           // Arabic-Indic
        typeArabic(QStringLiteral("۴۵"));            // Eastern Arabic-Indic
        typeArabic(QStringLiteral("ب"));             // a letter
        QCOMPARE(edit->text(), QStringLiteral("12345"));
        edit->setText(QStringLiteral(" ")); // an empty field as stored
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, QStringLiteral("4"));
        QCOMPARE(edit->text(), QStringLiteral("4"));
        QGuiApplication::clipboard()->setText(QStringLiteral("12a"));
        edit->selectAll();
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->text(), QStringLiteral("4")); // the paste is refused whole
        QGuiApplication::clipboard()->setText(QStringLiteral("٩٨"));
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->text(), QStringLiteral("98"));

        if (box == QLatin1String("txt_tamrel_no"))
            return; // a number that is no number cannot be found by typing it
        f.show(QStringLiteral("7"));
        QCOMPARE(edit->text(), QStringLiteral("abc")); // shown as stored
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, QStringLiteral("x1"));
        QCOMPARE(edit->text(), QStringLiteral("abc1"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("abc"));
        f.press("update");
        // Kept: written back as it stands, or, where the check wants a
        // number, refused as before and left in the table.
        QCOMPARE(f.lastShown(), (box == QLatin1String("txt_iqama_no") ? f.cmn.msgs.MSG_INVALID
                                                                      : f.cmn.msgs.MSG_UPDATED).trimmed());
        QCOMPARE(f.stored("7", box.mid(4)).toString(), QStringLiteral("abc"));
    }

    // The title and the status bar show edits not saved yet, from the first
    // change until a save, a clear or another record shown; a date that is
    // never written is no edit.
    void unsavedEditsAreShown()
    {
        Fixture f;
        f.addRow({{"tamrel_no", "5"}, {"a_old_name", "جون"}, {"a_new_name", "عبد الله"},
                  {"dateofislam", "14270509"}, {"age", "30"}, {"nationality", "فلبيني"}, {"iqama_no", "1"},
                  {"former_relgion", "نصراني"}, {"language1", "الإنجليزية"}, {"followup_group", kGroup}});
        f.addRow({{"tamrel_no", "6"}, {"a_old_name", "مريم"}});
        f.open();
        QLabel *mark = f.find<QLabel>(QStringLiteral("lblUnsaved"));
        const auto unsaved = [&] {
            const bool titled = f.screen->windowTitle() == frmTamrel::kCaption + core::RecordScreen::kUnsavedTitleMark;
            if (titled != !mark->isHidden())
                qWarning("title and status bar disagree");
            return titled && !mark->isHidden() && mark->text() == core::RecordScreen::kUnsavedText;
        };
        QVERIFY(!unsaved());
        QCOMPARE(f.screen->windowTitle(), frmTamrel::kCaption);
        pick(f.list("Combo21"), "1427"); // the group's date: shown, never written
        QVERIFY(!unsaved());

        f.show(QStringLiteral("5"));
        QVERIFY(!unsaved());
        QTest::keyClicks(f.box("txt_e_old_name"), QStringLiteral("Jo"));
        QVERIFY(unsaved());
        QTest::keyClick(f.box("txt_e_old_name"), Qt::Key_Backspace);
        QTest::keyClick(f.box("txt_e_old_name"), Qt::Key_Backspace);
        QVERIFY(!unsaved()); // undone by hand
        const QList<std::pair<QString, std::function<void()>>> edits{
            {"a check box", [&] { f.find<QCheckBox>("khitan_doc")->click(); }},
            {"an option", [&] { f.find<QRadioButton>("Option2_0")->click(); }}, // stored: female
            {"a date", [&] { pick(f.list("Combo7"), "1980"); }},
            {"a list", [&] { pick(f.list("txt_document_stat"), frmTamrel::kIncomplete); }},
            {"notes", [&] { QTest::keyClicks(f.find<QPlainTextEdit>("txt_comments"), "x"); }}};
        for (const auto &[what, edit] : edits) {
            f.show(QStringLiteral("5"));
            edit();
            QVERIFY2(unsaved(), qPrintable(what));
        }
        f.set({{"txt_age", ""}});
        f.press("update"); // refused: the edits stay unsaved
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_REQUIRED.trimmed());
        QVERIFY(unsaved());
        f.set({{"txt_age", "31"}});
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        QVERIFY(!unsaved());

        QTest::keyClicks(f.box("txt_e_old_name"), QStringLiteral("x"));
        f.press("nextrec"); // another record
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("6"));
        QVERIFY(!unsaved());
        QTest::keyClicks(f.box("txt_e_old_name"), QStringLiteral("x"));
        f.press("clear");
        QVERIFY(!unsaved());
        f.fillRequired(QStringLiteral("8"));
        QVERIFY(unsaved()); // a new person typed in
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QVERIFY(!unsaved());
    }

    // The list's current row is the person shown: found, moved to, added,
    // chosen; none when the list does not hold the person. Dates read as
    // dates in the list.
    void listRowFollowsThePersonShown()
    {
        Fixture f;
        {
            engine::Transaction tx(f.store.db());
            for (int n = 1; n <= 1500; ++n)
                f.addRow({{"tamrel_no", QString::number(n)}, {"a_old_name", QStringLiteral("ش%1").arg(n)},
                          {"dateofislam", n == 3 ? QStringLiteral("14270509") : QStringLiteral("00000000")}});
            tx.commit();
        }
        f.open();
        const auto current = [&f] { return f.grid()->columnValue(0); };
        const int dateColumn = f.grid()->gridColumn(f.find<core::DataSource>(QStringLiteral("tamrel_data"))->model()->fieldIndex(QStringLiteral("dateofislam")));
        QCOMPARE(f.grid()->shownText(2, dateColumn), QStringLiteral("1427/05/09"));
        QCOMPARE(f.grid()->shownText(0, dateColumn), QString());
        f.show(QStringLiteral("1400")); // far from the rows read so far
        QTRY_COMPARE(current(), QStringLiteral("1400")); // once the list is read, where it is still being read
        f.press("nextrec");
        QCOMPARE(current(), QStringLiteral("1401"));
        f.press("firstrec");
        QCOMPARE(current(), QStringLiteral("1"));
        QVERIFY(f.grid()->setCurrentRow(9));
        f.press("list_ok");
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("10"));
        QCOMPARE(current(), QStringLiteral("10"));
        f.press("clear");
        f.fillRequired(QStringLiteral("1600"));
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QTRY_COMPARE(current(), QStringLiteral("1600"));
        f.press("clear");
        f.set({{"txt_a_old_name", "ش12"}});
        f.press("search");
        QTRY_VERIFY(f.grid()->rowCount() > 0);
        f.show(QStringLiteral("1401")); // not in the list of the search
        QCOMPARE(f.grid()->currentRow(), -1);
    }

    // ---------------------------------------------------------- record buttons
    void addUpdateDeleteAndFind()
    {
        Fixture f;
        f.addPerson(QStringLiteral("5"), QStringLiteral("أول"));
        f.open();
        f.press("clear");
        f.fillRequired(QStringLiteral(" 12 "));
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("12")); // kept without blanks
        QCOMPARE(f.listed(), (QStringList{"5", "12"}));
        // A freshly cleared screen saves its defaults.
        const QVariantList defaults{"2", 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0};
        const QStringList fields{"certificate",     "sponsor_doc", "khitan_doc",   "tamrel_doc",      "file_status",
                                 "vacation_status", "in_kingdom_status", "rejected_islam_status", "m_status",
                                 "sex",             "no_prayer",   "yes_prayer",   "group_prayer",    "no_group_prayer",
                                 "unknown_prayer"};
        for (int i = 0; i < fields.size(); ++i)
            QCOMPARE(f.stored("12", fields.at(i)).toString(), defaults.at(i).toString());
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_DUPLICATE.trimmed());

        // Update of a number not registered offers to add it.
        f.set({{"txt_tamrel_no", "99"}});
        f.press("update");
        const auto question = f.messages.lastConfirmation();
        QCOMPARE(question.text, frmTamrel::kAskToAdd);
        QCOMPARE(question.title, QStringLiteral("CONFIRM ACTION BOX"));
        QVERIFY(question.defaultNo && question.icon == core::MessageService::Icon::Critical);
        QCOMPARE(f.rowCount("tamrel"), 2);
        f.messages.queueAnswer(true);
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        QCOMPARE(f.rowCount("tamrel"), 3);

        f.set({{"txt_tamrel_no", "12"}, {"txt_a_new_name", "عبد الرحمن"}});
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        QCOMPARE(f.stored("12", "a_new_name").toString(), QStringLiteral("عبد الرحمن"));

        f.show(QStringLiteral("77"));
        QCOMPARE(f.messages.shown().first().trimmed(), f.cmn.msgs.MSG_NOTFOUND.trimmed());
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("12")); // the first in key order

        // Deleting a person leaves the rows of the other tables.
        f.store.db().execute(QStringLiteral("INSERT INTO followUp (tamrel_no, seq_no, description) VALUES ('12', 1, 'x')"));
        f.messages.queueAnswer(false);
        f.press("delete");
        QCOMPARE(f.rowCount("tamrel"), 3);
        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_DELETED.trimmed());
        QCOMPARE(f.rowCount("tamrel"), 2);
        QCOMPARE(f.rowCount("followUp"), 1);
        QCOMPARE(f.listed(), (QStringList{"5", "99"}));
    }

    // Each save through the screen leaves one audit row in its transaction:
    // the add its values, an update of one field only that field, a delete
    // the record as it was; a refused save none.
    void eachSaveLeavesOneAuditRow()
    {
        Fixture f;
        f.store.setActor(QStringLiteral("clerk"), QStringLiteral("WS-A"));
        f.open();
        f.press("clear");
        f.fillRequired(QStringLiteral("5"));
        f.press("add");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_ADDED.trimmed());
        f.set({{"txt_a_new_name", "عبد الرحمن"}});
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());

        engine::Database colleague;
        colleague.open(f.store.db().openSpec());
        colleague.execute(QStringLiteral("UPDATE tamrel SET comments = 'ملاحظة' WHERE tamrel_no = '5'"));
        f.set({{"txt_a_new_name", "خالد"}});
        f.press("update");
        QCOMPARE(f.lastShown(), core::CmnSub::kNotUpdated);
        f.press("find");
        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_DELETED.trimmed());

        engine::QueryCursor rows(f.store.db(), QStringLiteral("SELECT table_name, record_key, action, user_id, "
                                                              "workstation, changes FROM audit ORDER BY audit_id"));
        QStringList seen;
        QList<QJsonArray> changes;
        while (rows.next()) {
            seen << QStringList{rows.value(0).toString(), rows.value(1).toString(), rows.value(2).toString(),
                                rows.value(3).toString(), rows.value(4).toString()}
                        .join(QLatin1Char('|'));
            changes << QJsonDocument::fromJson(rows.value(5).toString().toUtf8()).array();
        }
        QCOMPARE(seen, (QStringList{"tamrel|5|add|clerk|WS-A", "tamrel|5|update|clerk|WS-A",
                                    "tamrel|5|delete|clerk|WS-A"}));
        const auto has = [](const QJsonArray &list, const QString &field, const QString &side, const QString &value) {
            return list.contains(QJsonObject{{"field", field}, {side, value}});
        };
        QVERIFY(has(changes.at(0), "tamrel_no", "new", "5"));
        QVERIFY(has(changes.at(0), "a_new_name", "new", "عبد الله"));
        QCOMPARE(changes.at(1), (QJsonArray{QJsonObject{{"field", "a_new_name"}, {"old", "عبد الله"},
                                                        {"new", "عبد الرحمن"}}}));
        QVERIFY(has(changes.at(2), "a_new_name", "old", "عبد الرحمن"));
        QVERIFY(has(changes.at(2), "comments", "old", "ملاحظة")); // the colleague's, as deleted
    }

    // ---------------------------------------------------------- dates and derived values
    // Two workstations on one file: B's save of person 5 is not wiped by
    // A's save from the record A read before it.
    void saveNeverWipesAColleaguesChange()
    {
        Fixture f;
        f.open();
        f.press("clear");
        f.fillRequired(QStringLiteral("5"));
        f.press("add");
        f.show(QStringLiteral("5"));

        core::DataStore storeB(f.folder.programDir());
        QVERIFY(storeB.READDBPATH());
        QVERIFY(storeB.OPENDATABASE().ok);
        testsupport::RecordingMessageService messagesB;
        core::CmnSub cmnB(storeB, messagesB);
        core::AppContext ctxB{storeB, messagesB, f.input, f.files, f.logon, cmnB, &f.reports};
        frmTamrel b(ctxB, frmTamrel::Access::Full);
        b.show();
        testsupport::box(&b, QStringLiteral("txt_tamrel_no"))->setText(QStringLiteral("5"));
        testsupport::click(&b, QStringLiteral("find"));
        core::setControlText(testsupport::control<QWidget>(&b, QStringLiteral("txt_a_new_name")),
                             QStringLiteral("عبد الرحمن"));
        testsupport::click(&b, QStringLiteral("update"));
        QCOMPARE(messagesB.lastShown().trimmed(), cmnB.msgs.MSG_UPDATED.trimmed());

        f.set({{"txt_comments", "ملاحظة"}});
        f.press("update");
        QCOMPARE(f.lastShown(), core::CmnSub::kNotUpdated);
        QCOMPARE(f.stored("5", "a_new_name").toString(), QStringLiteral("عبد الرحمن"));
        QVERIFY(f.stored("5", "comments").toString().isEmpty());

        f.press("find");
        QCOMPARE(f.text("txt_a_new_name"), QStringLiteral("عبد الرحمن"));
        f.set({{"txt_comments", "ملاحظة"}});
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        QCOMPARE(f.stored("5", "a_new_name").toString(), QStringLiteral("عبد الرحمن"));
        QCOMPARE(f.stored("5", "comments").toString(), QStringLiteral("ملاحظة"));
    }

    void datesComposeAndConvert()
    {
        Fixture f;
        f.open();
        f.pickDate("dateofislam", {"1427", "05", "00"});
        QCOMPARE(f.text("txt_dateofislam"), QStringLiteral("14270500"));
        f.set({{"txt_DateOfIslam_E", ""}});
        f.press("conver_date_to_Gregorian"); // a part unchosen: nothing
        QCOMPARE(f.text("txt_DateOfIslam_E"), QString());
        pick(f.list("Combo2"), "09");
        QCOMPARE(f.text("txt_dateofislam"), QStringLiteral("14270509"));
        f.press("conver_date_to_Gregorian");
        QCOMPARE(f.text("txt_DateOfIslam_E"), QStringLiteral("2006/06/06"));
        QCOMPARE(f.text("txt_day_a"), QStringLiteral("الثلاثاء"));
        QCOMPARE(f.text("txt_day_e"), QStringLiteral("Tuesday"));
        // Day 30 of a 29-day month is said to be wrong and changes nothing.
        f.pickDate("dateofislam", {"1427", "02", "30"});
        f.press("conver_date_to_Gregorian");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_INVALID.trimmed());
        QCOMPARE(f.text("txt_DateOfIslam_E"), QStringLiteral("2006/06/06"));
        f.messages.clear();

        // The age from the year of Islam, the birth date in Hijri.
        f.set({{"txt_age", "7"}});
        f.pickDate("birth", {"1976", "06", "00"});
        QCOMPARE(f.text("txt_age"), QStringLiteral("30"));
        QCOMPARE(f.text("text2"), QString());
        pick(f.list("Combo5"), "06");
        QCOMPARE(f.text("txt_birth"), QStringLiteral("19760606"));
        QCOMPARE(f.text("text2"), core::gregorianToHijri(QDate(1976, 6, 6)));
        // Without a date of Islam the age stays as it is (never 0 - 1976).
        f.set({{"txt_DateOfIslam_E", ""}, {"txt_age", "41"}});
        pick(f.list("Combo7"), "1980");
        QCOMPARE(f.text("txt_age"), QStringLiteral("41"));
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void weekdaysComeFromTheDateWhateverTheLocale_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("arabic");
        QTest::addColumn<QString>("english");
        const char *arabic[] = {"السبت", "الأحد", "الاثنين", "الثلاثاء", "الأربعاء", "الخميس", "الجمعة"};
        const char *english[] = {"Saturday", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday"};
        for (int i = 0; i < 7; ++i)
            QTest::newRow(english[i]) << QStringLiteral("2006/06/%1").arg(3 + i, 2, 10, QLatin1Char('0'))
                                      << QString::fromUtf8(arabic[i]) << QString::fromLatin1(english[i]);
        QTest::newRow("Arabic-Indic digits") << "٢٠٠٦/٠٦/٠٤" << "الأحد" << "Sunday";
    }
    void weekdaysComeFromTheDateWhateverTheLocale()
    {
        QFETCH(QString, date);
        QFETCH(QString, arabic);
        QFETCH(QString, english);
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::SaudiArabia));
        Fixture f;
        f.open();
        f.fillRequired(QStringLiteral("12"));
        f.set({{"txt_DateOfIslam_E", date}});
        QCOMPARE(f.text("txt_day_a"), arabic);
        QCOMPARE(f.text("txt_day_e"), english);
        f.set({{"txt_DateOfIslam_E", "not yet"}}); // no date: the names stay
        QCOMPARE(f.text("txt_day_e"), english);
        f.set({{"txt_DateOfIslam_E", date}});
        f.press("add");
        QCOMPARE(f.stored("12", "DateOfIslam_E").toString(), core::latinDigits(date));
        QCOMPARE(f.stored("12", "dateofislam").toString(), QStringLiteral("14270509"));
        QLocale::setDefault(QLocale::c());
    }

    // ---------------------------------------------------------- rules between controls
    void dependentControlsFollowTheChoices()
    {
        Fixture f;
        f.open();
        // Children counts follow the marital status.
        f.set({{"txt_no_boys", "2"}, {"txt_no_girls", "1"}});
        f.find<QRadioButton>("Option1_1")->click();
        for (const char *count : {"txt_no_boys", "txt_no_girls"})
            QVERIFY(f.text(count).isEmpty() && f.box(count)->isReadOnly());
        f.find<QRadioButton>("Option1_0")->click();
        QVERIFY(f.text("txt_no_boys").isEmpty() && !f.box("txt_no_boys")->isReadOnly());

        // The certificate: under processing, issued, and the status.
        const auto shown = [&](const char *name) { return f.w(QLatin1String(name))->isVisibleTo(f.screen.get()); };
        f.tabs()->setCurrentIndex(6);
        f.find<QRadioButton>("Option4")->click();
        QCOMPARE(f.text("txt_certificate"), QStringLiteral("1"));
        QVERIFY(!shown("txt_no_certificate") && !shown("Combo15") && !shown("Combo18"));
        QCOMPARE(f.list("txt_certificate_stat")->count(), 6);
        QCOMPARE(f.list("txt_certificate_stat")->itemText(0), QString());
        f.find<QRadioButton>("Option5")->click();
        QCOMPARE(f.text("txt_certificate"), QStringLiteral("0"));
        QVERIFY(shown("txt_no_certificate") && shown("Combo15"));
        pick(f.list("txt_certificate_stat"), frmTamrel::kDelivered);
        QVERIFY(shown("txt_certificate_take") && shown("Combo18") && !shown("txt_date_of_take"));
        QCOMPARE(f.captionOf("txt_certificate_take"), frmTamrel::kRecipient);
        pick(f.list("txt_certificate_stat"), QStringLiteral("في المكتب"));
        QVERIFY(!shown("txt_certificate_take") && !shown("Combo18"));
        f.find<QRadioButton>("Option4")->click();
        QCOMPARE(f.captionOf("txt_certificate_take"), frmTamrel::kRemarks);
        pick(f.list("txt_certificate_stat"), frmTamrel::kLost);
        QVERIFY(shown("txt_certificate_take") && !shown("Combo18"));
        f.set({{"txt_certificate", "0"}});
        QVERIFY(f.find<QRadioButton>("Option5")->isChecked());
        f.set({{"txt_certificate", "2"}}); // no option of its own: nothing changes
        QVERIFY(f.find<QRadioButton>("Option5")->isChecked());

        // Remarks shown only when they apply.
        QVERIFY(shown("txt_file_stat_cmnt"));
        f.find<QCheckBox>("file_status")->click();
        QVERIFY(!shown("txt_file_stat_cmnt") && !shown("Label58"));
        f.find<QCheckBox>("file_status")->click();
        QVERIFY(shown("txt_file_stat_cmnt") && shown("Label58"));
        f.tabs()->setCurrentIndex(0);
        pick(f.list("txt_document_stat"), frmTamrel::kIncomplete);
        QVERIFY(shown("txt_document_stat_cmnt"));
        pick(f.list("txt_document_stat"), QStringLiteral("البيانات كاملة"));
        QVERIFY(!shown("txt_document_stat_cmnt"));
        f.tabs()->setCurrentIndex(5);
        pick(f.list("TXT_shahada_Place"), frmTamrel::kOffice);
        QVERIFY(!shown("txt_shahada_place_comments"));
        f.list("TXT_shahada_Place")->setEditText(QStringLiteral("المسجد"));
        QVERIFY(shown("txt_shahada_place_comments"));

        // Names chosen from the witnesses, and the group's supervisor and mobile.
        pick(f.list("dbc_witness_2"), kWitness);
        QCOMPARE(f.text("txt_witness_2"), kWitness);
        pick(f.list("dbc_daeyah_1"), kWitness);
        QCOMPARE(f.text("TXT_daeyah_1"), kWitness);
        pick(f.list("DBC_advisor"), kGroup);
        QCOMPARE(f.text("DBC_advisor2"), QStringLiteral("سعد"));
        QCOMPARE(f.text("DBC_advisor3"), QStringLiteral("0555123"));
    }

    // ---------------------------------------------------------- the person's rows, picture and files
    void stepsCoursesPictureAndDocumentFiles()
    {
        Fixture f;
        for (const char *n : {"12", "112", "13", "14"})
            f.addPerson(QLatin1String(n));
        for (const auto &[table, number, seq] : {std::tuple{"followUp", "12", 1}, std::tuple{"followUp", "12", 2},
                                                 std::tuple{"followUp", "112", 1}, std::tuple{"courses", "12", 1}})
            f.store.db().execute(QStringLiteral("INSERT INTO %1 (tamrel_no, seq_no) VALUES (?, ?)").arg(table),
                                 {number, seq});
        const QString pictures = f.store.config().pictureDir;
        QVERIFY(QImage(40, 50, QImage::Format_RGB32).save(pictures + "/pic12.jpg", "PNG"));
        QFile notPicture(pictures + "/pic13.jpg");
        QVERIFY(notPicture.open(QIODevice::WriteOnly) && notPicture.write("no picture here") > 0);
        notPicture.close();
        // A bitmap whose header claims 100000 x 100000 pixels.
        QByteArray huge("BM");
        QDataStream s(&huge, QIODevice::Append);
        s.setByteOrder(QDataStream::LittleEndian);
        s << quint32(54) << quint32(0) << quint32(54) << quint32(40) << qint32(100000) << qint32(100000)
          << quint16(1) << quint16(24) << quint32(0) << quint32(0) << quint32(0) << quint32(0) << quint32(0)
          << quint32(0);
        QFile bomb(pictures + "/pic14.jpg");
        QVERIFY(bomb.open(QIODevice::WriteOnly) && bomb.write(huge) == huge.size());
        bomb.close();
        const QString forms = f.store.config().formsDir;
        const QString shellish = QStringLiteral("a;b $(touch x) `y` 12 & z.pdf");
        for (const QString &name : {QStringLiteral("scan12.pdf"), QStringLiteral("12-passport.jpg"),
                                    QStringLiteral("112.doc"), QStringLiteral("13.jpg"), shellish}) {
            QFile file(forms + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        f.open();
        QCOMPARE(f.find<QListWidget>("File1")->count(), 5); // no number yet: every file
        f.show(QStringLiteral("12"));
        QVERIFY(!f.find<QLabel>("Image2")->pixmap().isNull());
        QStringList files;
        for (int i = 0; i < f.find<QListWidget>("File1")->count(); ++i)
            files << f.find<QListWidget>("File1")->item(i)->text();
        QCOMPARE(files, (QStringList{"112.doc", "12-passport.jpg", shellish, "scan12.pdf"}));
        f.find<QListWidget>("File1")->setCurrentRow(2);
        f.press("Command1");
        QCOMPARE(f.files.paths(), QStringList{forms + "/" + shellish});

        // The grids of tabs 3 and 4 hold this person's rows only.
        f.tabs()->setCurrentIndex(3);
        const auto steps = f.find<core::DataGrid>("DBGrid2");
        QCOMPARE(steps->rowCount(), 2);
        f.tabs()->setCurrentIndex(4);
        QCOMPARE(f.find<core::DataGrid>("DBGrid3")->rowCount(), 1);
        f.show(QStringLiteral("13")); // shown on tab 4: its courses at once
        QCOMPARE(f.find<core::DataGrid>("DBGrid3")->rowCount(), 0);
        QVERIFY(f.find<QLabel>("Image2")->pixmap().isNull());
        f.show(QStringLiteral("14"));
        QVERIFY(f.find<QLabel>("Image2")->pixmap().isNull());
        f.set({{"txt_tamrel_no", "12' OR '1'='1"}});
        f.tabs()->setCurrentIndex(3);
        QCOMPARE(steps->rowCount(), 0);
        QCOMPARE(f.messages.shownCount(), 0);
    }

    // ---------------------------------------------------------- search and list
    void searchListsTheMatchingPersons_data()
    {
        QTest::addColumn<Values>("typed");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("number 12") << Values{{"txt_tamrel_no", "12"}} << QStringList{"112", "12", "120"};
        QTest::newRow("second language only") << Values{{"dbc_language2", "فرنسية"}} << QStringList{"12"};
        QTest::newRow("one blank ignored") << Values{{"txt_a_old_name", " "}} << QStringList{"112", "12", "120", "13"};
        QTest::newRow("not a criterion") << Values{{"txt_witness_1", "x"}} << QStringList{"112", "12", "120", "13"};
        QTest::newRow("star") << Values{{"txt_a_old_name", "مح*د"}} << QStringList{"112", "12"};
        QTest::newRow("question mark, any case") << Values{{"txt_e_old_name", "j?hn"}} << QStringList{"12", "120"};
        QTest::newRow("percent itself") << Values{{"txt_comments", "50%"}} << QStringList{"12"};
        QTest::newRow("underscore itself") << Values{{"txt_passport_no", "A_1"}} << QStringList{"12"};
        QTest::newRow("quote") << Values{{"txt_e_new_name", "O'Neil"}} << QStringList{"12"};
        QTest::newRow("double quotes") << Values{{"txt_e_new_name", "\"Q\""}} << QStringList{"112"};
        QTest::newRow("both criteria") << Values{{"txt_tamrel_no", "12"}, {"txt_e_old_name", "JOHN"}}
                                       << QStringList{"12", "120"};
        QTest::newRow("nothing matches") << Values{{"txt_city_h", "%"}} << QStringList{};
    }
    void searchListsTheMatchingPersons()
    {
        QFETCH(Values, typed);
        QFETCH(QStringList, numbers);
        Fixture f;
        f.addRow({{"tamrel_no", "12"}, {"a_old_name", "محمد علي"}, {"e_old_name", "John Smith"},
                  {"language1", "الإنجليزية"}, {"language2", "الفرنسية"}, {"comments", "50%"},
                  {"passport_no", "A_1"}, {"e_new_name", "O'Neil"}});
        f.addRow({{"tamrel_no", "112"}, {"a_old_name", "محمود"}, {"e_old_name", "Jhn"}, {"language1", "الفرنسية"},
                  {"comments", "500"}, {"passport_no", "AB1"}, {"e_new_name", "Omar \"Q\""}});
        f.addRow({{"tamrel_no", "120"}, {"a_old_name", "أحمد"}, {"e_old_name", "JOHN"}});
        f.addRow({{"tamrel_no", "13"}, {"a_old_name", "علي"}, {"e_old_name", "Jane"}});
        f.open();
        f.press("clear");
        f.set(typed);
        f.press("search");
        QStringList found = f.listed();
        found.sort();
        QCOMPARE(found, numbers);
        QCOMPARE(f.messages.shownCount(), 0);
        // The status bar says how many were found, or that none was.
        QCOMPARE(f.find<QLabel>(QStringLiteral("lblStatus"))->text(),
                 numbers.isEmpty() ? frmTamrel::kSearchFoundNone
                                   : frmTamrel::kSearchFound.arg(numbers.size()));
        f.press("list");
        QCOMPARE(f.find<QLabel>(QStringLiteral("lblStatus"))->text(), QString()); // not after list
    }

    void searchAfterAShownRecordAndChoosingFromTheList()
    {
        Fixture f;
        f.addRow({{"tamrel_no", "12"}, {"a_old_name", "محمد"}, {"picture", "pic12.jpg"}, {"age", "3"}});
        f.addRow({{"tamrel_no", "112"}, {"a_old_name", "محمد"}, {"picture", "pic112.jpg"}, {"age", "30"}});
        f.addRow({{"tamrel_no", "13"}, {"a_old_name", "علي"}});
        f.open();
        f.show(QStringLiteral("112"));
        f.press("search");
        QCOMPARE(f.listed(), QStringList{"112"});
        f.show(QStringLiteral("12")); // the picture name counts: pic12.jpg is not in pic112.jpg
        f.press("search");
        QCOMPARE(f.listed(), QStringList{"12"});
        f.set({{"txt_picture", ""}}); // the number, name and age are in 112's too
        f.press("search");
        QCOMPARE(f.listed(), (QStringList{"12", "112"}));

        // A click, a double click or list_ok on a row shows that person.
        f.press("list");
        QVERIFY(f.grid()->setCurrentRow(2));
        f.press("list_ok");
        QCOMPARE(f.text("txt_a_old_name"), QStringLiteral("علي"));
        testsupport::doubleClickRow(f.grid(), 1);
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("112"));
        f.set({{"txt_e_old_name", "nobody"}});
        f.press("search");
        QCOMPARE(f.grid()->rowCount(), 0);
        f.press("list_ok");
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("112"));

        // Heading sort: ascending, descending with Shift, ascending again.
        f.press("list");
        const QList<std::pair<Qt::KeyboardModifiers, QStringList>> sorts{
            {Qt::NoModifier, {"112", "12", "13"}}, {Qt::ShiftModifier, {"13", "12", "112"}},
            {Qt::NoModifier, {"112", "12", "13"}}};
        for (const auto &[modifiers, order] : sorts) {
            f.grid()->setSortModifiers(modifiers);
            f.grid()->sortByHeading(0);
            QCOMPARE(f.listed(), order);
        }
        f.press("refresh"); // the list query again, in stored order
        QCOMPARE(f.listed(), (QStringList{"12", "112", "13"}));
    }
    // Spelling variants of Arabic names and Arabic-Indic digits are found;
    // "مطابقة حرفية" gives the match as typed (letter case still ignored).
    void searchFindsSpellingVariantsUnlessTheExactMatchIsTicked_data()
    {
        QTest::addColumn<Values>("typed");
        QTest::addColumn<QStringList>("folded");
        QTest::addColumn<QStringList>("exact");
        QTest::newRow("hamza") << Values{{"txt_a_old_name", "احمد"}} << QStringList{"12", "15"} << QStringList{"15"};
        QTest::newRow("teh marbuta") << Values{{"txt_a_new_name", "فاطمه"}} << QStringList{"13"} << QStringList{};
        QTest::newRow("alef maksura") << Values{{"txt_a_new_name", "مصطفي"}} << QStringList{"14"} << QStringList{};
        QTest::newRow("diacritics typed") << Values{{"txt_a_new_name", "مُصْطَفَى"}} << QStringList{"14"} << QStringList{};
        QTest::newRow("tatweel typed") << Values{{"txt_a_old_name", "أحـــمد"}} << QStringList{"12", "15"}
                                       << QStringList{};
        QTest::newRow("Arabic-Indic number") << Values{{"txt_tamrel_no", "١٢"}} << QStringList{"12"} << QStringList{};
        QTest::newRow("iqama with both") << Values{{"txt_iqama_no", "٢٣٤٥٦"}, {"txt_a_old_name", "أحمد"}}
                                         << QStringList{"12"} << QStringList{};
        QTest::newRow("star in a folded name") << Values{{"txt_a_old_name", "ا*مد"}} << QStringList{"12", "15"}
                                               << QStringList{"15"};
        QTest::newRow("letter case in both") << Values{{"txt_e_old_name", "AHMED"}} << QStringList{"12"}
                                             << QStringList{"12"};
    }
    void searchFindsSpellingVariantsUnlessTheExactMatchIsTicked()
    {
        QFETCH(Values, typed);
        QFETCH(QStringList, folded);
        QFETCH(QStringList, exact);
        Fixture f;
        f.addRow({{"tamrel_no", "12"}, {"a_old_name", "أحمد"}, {"e_old_name", "Ahmed"}, {"iqama_no", "2345678"}});
        f.addRow({{"tamrel_no", "13"}, {"a_old_name", "ماريا"}, {"a_new_name", "فاطمة الزهراء"}});
        f.addRow({{"tamrel_no", "14"}, {"a_old_name", "مارك"}, {"a_new_name", "مصطفى"}});
        f.addRow({{"tamrel_no", "15"}, {"a_old_name", "احمد"}, {"iqama_no", "9999"}});
        f.open();
        QCOMPARE(f.find<QCheckBox>("chkExactMatch")->text(), QStringLiteral("مطابقة حرفية"));
        for (const bool tick : {false, true}) {
            f.press("clear");
            f.set(typed);
            f.find<QCheckBox>("chkExactMatch")->setChecked(tick);
            f.press("search");
            QStringList found = f.listed();
            found.sort();
            QCOMPARE(found, tick ? exact : folded);
        }
        QCOMPARE(f.messages.shownCount(), 0);
    }

    // A witness's name typed with another spelling is offered from the list,
    // and choosing it fills the witness's box with the name as stored.
    void aWitnessTypedWithAnotherSpellingIsOffered()
    {
        Fixture f;
        f.store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME) VALUES (?, 'Khalid')"),
                             {QStringLiteral("خالد الشهري")});
        f.open();
        f.screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.screen.get()));
        auto *list = f.find<core::LookupCombo>("dbc_witness_1");
        f.tabs()->setCurrentIndex(frmTamrel::WitnessTab);
        list->setFocus();
        for (const QChar ch : QStringLiteral("الحربى")) // ى for ي
            QTest::sendKeyEvent(QTest::Click, list->lineEdit(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
        QCompleter *offers = list->completer();
        QVERIFY(offers->popup()->isVisible());
        const QAbstractItemModel *offered = offers->popup()->model();
        QCOMPARE(offered->rowCount(), 1);
        QCOMPARE(offered->index(0, offers->completionColumn()).data().toString(), kWitness);
        QTest::keyClick(offers->popup(), Qt::Key_Down);
        QTest::keyClick(offers->popup(), Qt::Key_Return);
        QCOMPARE(list->text(), kWitness);
        QCOMPARE(f.text("txt_witness_1"), kWitness);
    }

    // A person added who is likely registered already: the panel lists the
    // registered one (same residence permit, or same folded name and birth
    // date, never a different birth date); the add itself went on. A
    // double click shows that person; Ctrl+D asks at any time.
    void addListsTheLikelyDuplicates()
    {
        Fixture f;
        f.addRow({{"tamrel_no", "20"}, {"a_old_name", "روزا"}, {"iqama_no", "2345678901"}, {"birth", "19750101"}});
        f.addRow({{"tamrel_no", "21"}, {"a_old_name", "جون سميث"}, {"a_new_name", "عبدالله"}, {"birth", "19800115"}});
        f.addRow({{"tamrel_no", "22"}, {"a_old_name", "جون سميث"}, {"birth", "19800116"}});
        f.addRow({{"tamrel_no", "23"}, {"a_old_name", "بيتر"}, {"passport_no", "P1234567"}});
        f.open();
        const auto panel = [&] { return f.screen->findChild<registry::DuplicatesPanel *>("likelyDuplicates"); };
        const auto rows = [&] {
            auto *list = panel()->findChild<QTableWidget *>("duplicatesList");
            QStringList numbers;
            for (int r = 0; r < list->rowCount(); ++r)
                numbers << list->item(r, 0)->text() + QLatin1Char(':') + list->item(r, 6)->text();
            return numbers;
        };

        // The add returns once the person is written; the check reports
        // afterwards, from a connection of its own.
        auto *screen = qobject_cast<registry::frmTamrel *>(f.screen.get());
        QVERIFY(screen);
        const auto addAndCheck = [&] {
            f.press("add");
            QVERIFY(screen->checkingDuplicates());
            QTRY_VERIFY(!screen->checkingDuplicates());
        };

        // Nobody like him: no panel.
        f.press("clear");
        f.fillRequired(QStringLiteral("30"));
        f.set({{"txt_iqama_no", "1111"}});
        addAndCheck();
        QCOMPARE(f.rowCount("tamrel"), 5);
        QVERIFY(!panel() || !panel()->isVisible());

        // The same residence permit.
        f.press("clear");
        f.fillRequired(QStringLiteral("31"));
        f.set({{"txt_iqama_no", "2345678901"}});
        addAndCheck();
        QCOMPARE(f.rowCount("tamrel"), 6);
        QVERIFY(panel() && panel()->isVisible());
        QCOMPARE(rows(), QStringList{"20:" + registry::kSameIqama});

        // The same old name, written otherwise, with the same birth date:
        // 21, not 22 born a day later.
        f.press("clear");
        f.fillRequired(QStringLiteral("32"));
        f.set({{"txt_a_old_name", "جـون سميث"}, {"txt_iqama_no", "3333"}, {"txt_passport_no", "p1234567"}});
        f.pickDate(QStringLiteral("birth"), {"1980", "01", "15"});
        addAndCheck();
        QCOMPARE(f.rowCount("tamrel"), 7);
        QCOMPARE(rows(), (QStringList{"21:" + registry::kSameNameAndBirth, "23:" + registry::kSamePassport}));

        // A double click shows the registered person.
        auto *list = panel()->findChild<QTableWidget *>("duplicatesList");
        const QPoint at = list->visualItemRect(list->item(0, 0)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &twice);
        QCOMPARE(f.text("txt_tamrel_no"), QStringLiteral("21"));
        QCOMPARE(f.text("txt_a_new_name"), QStringLiteral("عبدالله"));

        // Ctrl+D on the person shown: the other one with that name and birth
        // date is now 32; the person himself is never listed.
        f.screen->activateWindow(); // the panel was the active window since its double click
        QTRY_COMPARE(QApplication::activeWindow(), f.screen->window());
        f.box("txt_tamrel_no")->setFocus();
        QTest::keyClick(f.box("txt_tamrel_no"), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(rows(), QStringList{"32:" + registry::kSameNameAndBirth});
        f.show(QStringLiteral("30"));
        f.press("cmd_duplicates");
        QVERIFY(panel()->isVisible());
        QCOMPARE(rows(), QStringList{});

        // A check that reports after the clerk has moved on to another
        // person shows nothing about the one added.
        f.press("clear");
        f.fillRequired(QStringLiteral("33"));
        f.set({{"txt_iqama_no", "2345678901"}});
        panel()->hide();
        f.press("add");
        f.show(QStringLiteral("23"));
        QTRY_VERIFY(!screen->checkingDuplicates());
        QVERIFY(!panel()->isVisible());
    }

    // ---------------------------------------------------------- the status line
    // Who last changed the person shown, and when: read for every person
    // shown, gone with a cleared form, read again after a save.
    void statusLineTellsTheLastChange()
    {
        Fixture f;
        f.addRow({{"tamrel_no", "5"},        {"a_old_name", "جون"},  {"a_new_name", "عبد الله"},
                  {"dateofislam", "14270509"}, {"age", "30"},       {"nationality", "فلبيني"},
                  {"iqama_no", "1"},         {"former_relgion", "نصراني"}, {"language1", "الإنجليزية"},
                  {"followup_group", kGroup}});
        for (const char *number : {"6", "50"})
            testsupport::TempDataFolder::addPerson(f.store.db(), QLatin1String(number));
        auto audit = [&f](const char *at, const char *user, const char *table, const char *key) {
            f.store.db().execute(QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, "
                                                "record_key, action, changes) VALUES (?, ?, 'PC-2', ?, ?, 'update', '[]')"),
                                 {QLatin1String(at), QLatin1String(user), QLatin1String(table), QLatin1String(key)});
        };
        audit("2026-11-01T08:00:00.000Z", "admin", "tamrel", "5");
        audit("2026-11-02T09:30:15.250Z", "clerk", "tamrel", "5");
        audit("2026-11-03T10:00:00.000Z", "other", "followUp", "5/1"); // a step of the person, not the person
        audit("2026-11-04T10:00:00.000Z", "other", "tamrel", "50");
        f.open();
        auto *line = f.find<QLabel>(QStringLiteral("lblLastChange"));
        QCOMPARE(line->parentWidget()->objectName(), QStringLiteral("statusBar"));
        QVERIFY(line->text().isEmpty());

        const QDateTime clerkAt(QDate(2026, 11, 2), QTime(9, 30, 15, 250), Qt::UTC);
        const QString clerkLine = frmTamrel::lastChangeText(QStringLiteral("clerk"), clerkAt);
        QVERIFY(clerkLine.startsWith(QStringLiteral("آخر تعديل: ")));
        QVERIFY(clerkLine.contains(QStringLiteral("clerk")));
        QVERIFY(clerkLine.endsWith(QStringLiteral(" — ") + core::localDateTimeText(clerkAt)));
        const QString otherLine = frmTamrel::lastChangeText(
            QStringLiteral("other"), QDateTime(QDate(2026, 11, 4), QTime(10, 0), Qt::UTC));

        const QList<std::pair<const char *, QString>> shown{
            {"5", clerkLine}, {"6", QString()}, {"50", otherLine}, {"5", clerkLine}};
        for (const auto &[number, expected] : shown) {
            f.show(QLatin1String(number));
            QCOMPARE(line->text(), expected);
        }
        // With VELM_SCREENSHOT_DIR set, leaves the screen with its line there to look at.
        if (const QString dir = qEnvironmentVariable("VELM_SCREENSHOT_DIR"); !dir.isEmpty())
            QVERIFY(f.screen->grab().save(QDir(dir).filePath(QStringLiteral("frmTamrel-lastchange.png"))));
        f.press("nextrec"); // 5 -> 50, in key order
        QCOMPARE(f.box("txt_tamrel_no")->text(), QStringLiteral("50"));
        QCOMPARE(line->text(), otherLine);
        f.press("clear");
        QVERIFY(line->text().isEmpty());

        // A change made after the person was shown is told once it is saved.
        f.show(QStringLiteral("5"));
        audit("2026-11-05T11:00:00.000Z", "colleague", "tamrel", "5");
        QCOMPARE(line->text(), clerkLine);
        f.press("update");
        QCOMPARE(f.lastShown(), f.cmn.msgs.MSG_UPDATED.trimmed());
        engine::Statement newest(f.store.db(), QStringLiteral("SELECT user_id, changed_at FROM audit WHERE "
                                                              "table_name = 'tamrel' AND record_key = '5' "
                                                              "ORDER BY audit_id DESC"));
        QVERIFY(newest.step());
        const QString savedLine = frmTamrel::lastChangeText(
            newest.value(0).toString(), QDateTime::fromString(newest.value(1).toString(), Qt::ISODateWithMs));
        newest.reset();
        QVERIFY(savedLine != clerkLine);
        QCOMPARE(line->text(), savedLine);
    }

    // A file whose trail cannot be read still shows its persons.
    void statusLineStaysEmptyWithoutTheTrail()
    {
        Fixture f;
        testsupport::TempDataFolder::addPerson(f.store.db(), QStringLiteral("7"), QStringLiteral("سالم"));
        f.store.db().execute(QStringLiteral("DROP TABLE audit"));
        f.open();
        f.show(QStringLiteral("7"));
        QCOMPARE(f.text("txt_a_new_name"), QStringLiteral("سالم"));
        QVERIFY(f.find<QLabel>(QStringLiteral("lblLastChange"))->text().isEmpty());
        QCOMPARE(f.messages.shownCount(), 0);
    }
};

VELM_TEST_MAIN(TstFrmTamrel)
#include "tst_frmTamrel.moc"
