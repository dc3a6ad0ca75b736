#include "screens/DateSelector.h"
#include "screens/LookupCombo.h"
#include "support/SheetFiles.h"
#include "reports/ReportLauncher.h"
#include "ReportWorld.h"
#include "support/TestMain.h"
#include "reports/frmPrint.h"
#include "reports/frmRpts.h"

#include <QCheckBox>
#include <QSignalSpy>

using namespace reports;
using testsupport::pick;

namespace {

// The catalogue screen over the shipped reports, their catalogue rows, a
// few callers and a small register.
struct Catalogue : ReportWorld {
    std::unique_ptr<frmRpts> screen;

    explicit Catalogue(int persons = 0) : ReportWorld(persons)
    {
        logon.WORK_YY = QStringLiteral("1445");
        logon.WORK_MM = QStringLiteral("09");
        logon.WORK_DD = QStringLiteral("01");
        addStarterCatalogue(store.db());
        store.db().execute(QStringLiteral("INSERT INTO rpts (report, description, parms) VALUES ('ghost', 'no file', '2')"));
        for (const auto &[name, english] : {std::pair{"أحمد الداعية", "Ahmad"}, std::pair{"خالد المرشد", "Khalid"}})
            store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME) VALUES (?, ?)"),
                               {QString::fromUtf8(name), QLatin1String(english)});
        screen = std::make_unique<frmRpts>(ctx);
    }

    template <typename T>
    T *find(const char *name) const { return testsupport::control<T>(screen.get(), QLatin1String(name)); }
    QString text(const char *name) const { return find<QLineEdit>(name)->text(); }
    core::DataGrid *grid() const { return find<core::DataGrid>("DBGrid1"); }
    QStringList listed() const
    {
        QStringList names;
        for (int r = 0; r < grid()->rowCount(); ++r)
            names << grid()->value(r, 0);
        return names;
    }
    void chooseRow(const QString &report) const
    {
        const int row = listed().indexOf(report);
        QVERIFY2(row >= 0, qPrintable(report));
        QVERIFY(grid()->setCurrentRow(row));
    }
    void print(const QString &report)
    {
        chooseRow(report);
        messages.clear();
        input.clear();
        reports.clear();
        find<QPushButton>("cmndprint")->click();
    }
    QStringList rowsOf(const QString &code)
    {
        QStringList names;
        for (const StarterReport &r : starterReports())
            if (code.isEmpty() || r.parms == code)
                names << r.report;
        if (code.isEmpty() || code == QLatin1String("2"))
            names << QStringLiteral("ghost");
        names.sort();
        return names;
    }
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TstFrmRpts : public QObject {
    Q_OBJECT

private slots:
    void opensOnTheWholeCatalogueWithEmptyFilters()
    {
        Catalogue c;
        QCOMPARE(c.screen->windowTitle(), QStringLiteral("التقارير"));
        QCOMPARE(c.find<QComboBox>("Combo1")->currentText(), QStringLiteral("الكل"));
        QCOMPARE(frmRpts::categories(),
                 (QStringList{"الكل", "تقارير إدراية", "تقارير المتابعة التعليمية", "تقارير الزيارة الميدانية", "خطابات",
                              "رسوم بيانية", "الوثائق"}));
        QVERIFY(!c.find<QFrame>("Frame1")->isHidden());
        QCOMPARE(sorted(c.listed()), c.rowsOf({}));
        QCOMPARE(c.grid()->heading(0), QStringLiteral("التقرير"));
        QCOMPARE(c.grid()->heading(1), QStringLiteral("الشرح"));
        QCOMPARE(c.grid()->heading(2), QStringLiteral("تحديد المعلومات"));
        QCOMPARE(c.text("report_text"), QString());
        QCOMPARE(c.text("desc_text"), QStringLiteral(" "));
        QCOMPARE(c.text("parms_text"), QStringLiteral("0"));
        for (const char *box : {"text1", "text2", "Text3"})
            QCOMPARE(c.text(box), QStringLiteral(" "));
        QVERIFY(!c.find<QCheckBox>("Check1")->isChecked());
        // Years WORK_YY - 20 .. WORK_YY after "0000", all lists on their first entry.
        for (const char *year : {"Combo4", "Combo5"}) {
            auto *list = c.find<QComboBox>(year);
            QCOMPARE(list->count(), 22);
            QCOMPARE(list->itemText(1), QStringLiteral("1425"));
            QCOMPARE(list->itemText(21), QStringLiteral("1445"));
            QCOMPARE(list->currentText(), QStringLiteral("0000"));
        }
        for (const char *part : {"Combo3", "Combo2", "Combo6", "Combo7"})
            QCOMPARE(c.find<QComboBox>(part)->currentText(), QStringLiteral("00"));
        QCOMPARE(c.find<QComboBox>("Combo2")->itemText(30), QStringLiteral("30"));
        QCOMPARE(c.find<core::LookupCombo>("dbc_daeyah_1")->count(), 2);
        QVERIFY(c.find<core::LookupCombo>("dbc_nationality")->count() > 0);
        QVERIFY(c.find<core::LookupCombo>("dbc_language1")->count() > 0);
    }

    // Each category lists its rows and writes its code; "الكل" lists
    // everything and leaves parms_text as it was; clear always gives "0".
    void categoriesNarrowTheCatalogue_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("code"); // empty: every row, parms_text unchanged
        const QStringList entries = frmRpts::categories();
        QTest::newRow("all") << entries.at(0) << QString();
        for (int i = 1; i < entries.size(); ++i)
            QTest::newRow(qPrintable(QString::number(i - 1))) << entries.at(i) << QString::number(i - 1);
    }
    void categoriesNarrowTheCatalogue()
    {
        QFETCH(QString, entry);
        QFETCH(QString, code);
        Catalogue c;
        c.find<QLineEdit>("parms_text")->setText(QStringLiteral("9"));
        pick(c.find<QComboBox>("Combo1"), entry);
        QCOMPARE(sorted(c.listed()), c.rowsOf(code));
        QCOMPARE(c.text("parms_text"), code.isEmpty() ? QStringLiteral("9") : code);
        // The refresh button runs the category's query again.
        c.store.db().execute(QStringLiteral("INSERT INTO rpts (report, description, parms) VALUES ('late', 'x', ?)"),
                             {code.isEmpty() ? QStringLiteral("1") : code});
        c.find<QPushButton>("cmndrefresh")->click();
        QVERIFY(c.listed().contains(QStringLiteral("late")));
        c.find<QPushButton>("clear")->click();
        QCOMPARE(c.text("parms_text"), QStringLiteral("0"));
        QCOMPARE(c.text("desc_text"), QStringLiteral(" "));
    }

    // The catalogue's list, narrowed to a category, exports as it is shown.
    void theCatalogueListExports()
    {
        Catalogue c;
        pick(c.find<QComboBox>("Combo1"), QStringLiteral("رسوم بيانية"));
        const QList<QStringList> shown = testsupport::shownRows(c.grid());
        QCOMPARE(shown.size(), int(c.rowsOf(QStringLiteral("4")).size()) + 1);
        QCOMPARE(shown.at(0).mid(0, 3), (QStringList{QStringLiteral("التقرير"), QStringLiteral("الشرح"), QStringLiteral("تحديد المعلومات")}));
        const QString csv = c.folder.path(QStringLiteral("catalogue.csv"));
        QVERIFY(testsupport::exportGrid(c.grid(), c.saveFiles, csv, QStringLiteral("exportCsv")));
        QCOMPARE(testsupport::sheetfiles::readCsv(csv), shown);
    }

    void categoryCodesAndTypedNumbers()
    {
        QCOMPARE(frmRpts::categoryCode(QStringLiteral("الكل")), std::nullopt);
        QCOMPARE(frmRpts::categoryCode(QStringLiteral("رسوم بيانية")), std::optional<QString>(QStringLiteral("4")));
        QCOMPARE(frmRpts::categoryCode(QStringLiteral("غير ذلك")), std::optional<QString>(QStringLiteral("5")));
        QCOMPARE(frmRpts::leadingNumber(QStringLiteral("  0012ab3")), QStringLiteral("12"));
        QCOMPARE(frmRpts::leadingNumber(QStringLiteral("abc")), QStringLiteral("0"));
        QCOMPARE(frmRpts::leadingNumber(QStringLiteral("000")), QStringLiteral("0"));
        QCOMPARE(frmRpts::leadingNumber(QStringLiteral("١٢٣")), QStringLiteral("123"));
    }

    // A pick composes the eight characters of its date; without a pick the
    // box keeps its blank. The caller's bound (English) name goes to Text3.
    void filterValuesFollowThePicks()
    {
        Catalogue c;
        pick(c.find<QComboBox>("Combo4"), QStringLiteral("1425"));
        QCOMPARE(c.text("text1"), QStringLiteral("14250000"));
        QCOMPARE(c.text("text2"), QStringLiteral(" "));
        pick(c.find<QComboBox>("Combo3"), QStringLiteral("03"));
        pick(c.find<QComboBox>("Combo2"), QStringLiteral("09"));
        QCOMPARE(c.text("text1"), QStringLiteral("14250309"));
        pick(c.find<QComboBox>("Combo7"), QStringLiteral("15"));
        QCOMPARE(c.text("text2"), QStringLiteral("00000015"));
        pick(c.find<core::LookupCombo>("dbc_daeyah_1"), QStringLiteral("خالد المرشد"));
        QCOMPARE(c.text("Text3"), QStringLiteral("Khalid"));
    }

    // cmndprint takes the report of the grid's row; the filter values go
    // only with Check1, and a one-parameter report asks for the number first.
    void printHandsOverTheRowAndItsValues()
    {
        Catalogue c;
        c.reports.addReport(QStringLiteral("bycaller"), {QStringLiteral("from_date"), QStringLiteral("to_date"), QStringLiteral("caller")});
        c.reports.addReport(QStringLiteral("letter"), {QStringLiteral("tamrel_no")});
        c.reports.addReport(QStringLiteral("chnation"), {QStringLiteral("from_date"), QStringLiteral("to_date")});
        c.find<QLineEdit>("report_text")->setText(QStringLiteral("letter"));
        pick(c.find<QComboBox>("Combo4"), QStringLiteral("1430"));
        pick(c.find<core::LookupCombo>("dbc_daeyah_1"), QStringLiteral("أحمد الداعية"));

        // Unticked: no question, no values.
        c.print(QStringLiteral("letter"));
        QCOMPARE(c.input.askCount(), 0);
        QCOMPARE(c.reports.requestCount(), 1);
        QCOMPARE(c.reports.lastRequest().report, QStringLiteral("letter"));
        QVERIFY(c.reports.lastRequest().values.isEmpty());

        c.find<QCheckBox>("Check1")->setChecked(true);
        c.print(QStringLiteral("bycaller"));
        QCOMPARE(c.input.askCount(), 0);
        QCOMPARE(c.reports.lastRequest().report, QStringLiteral("bycaller"));
        QCOMPARE(c.reports.lastRequest().values, (core::ReportValues{{"from_date", "14300000"}, {"to_date", " "}, {"caller", "Ahmad"}}));
        c.print(QStringLiteral("chnation"));
        QCOMPARE(c.reports.lastRequest().values, (core::ReportValues{{"from_date", "14300000"}, {"to_date", " "}}));

        c.input.queueAnswer(QStringLiteral(" 0042x"));
        c.print(QStringLiteral("letter"));
        QCOMPARE(c.input.askCount(), 1);
        QCOMPARE(c.input.lastPrompt(), QStringLiteral("أدخل رقم Tamrel"));
        QCOMPARE(c.reports.lastRequest().values, (core::ReportValues{{"tamrel_no", "42"}}));
        c.input.queueAnswer(std::nullopt);
        c.print(QStringLiteral("letter"));
        QCOMPARE(c.input.askCount(), 1);
        QCOMPARE(c.reports.requestCount(), 0);

        // A row whose file is missing asks nothing.
        c.print(QStringLiteral("ghost"));
        QCOMPARE(c.input.askCount(), 0);
        QCOMPARE(c.reports.requestCount(), 0);
    }

    // Through the real viewer: a missing file, and a letter for the person
    // whose number was typed.
    void theViewerShowsTheChosenReport()
    {
        Catalogue c(12);
        ReportLauncher launcher(c.ctx);
        c.ctx.reports = &launcher;
        c.print(QStringLiteral("ghost"));
        QCOMPARE(c.lastShown(), QStringLiteral("Report not found"));
        QVERIFY(!launcher.viewer());

        c.find<QCheckBox>("Check1")->setChecked(true);
        c.input.queueAnswer(QStringLiteral("7"));
        QSignalSpy shown(&launcher, &ReportLauncher::reportShown);
        c.print(QStringLiteral("letter"));
        QVERIFY(shown.wait(60000));
        const ReportData &data = *launcher.viewer()->report().data;
        QCOMPARE(data.def.name, QStringLiteral("letter"));
        QCOMPARE(data.parameters.value(QStringLiteral("tamrel_no")), QStringLiteral("7"));
        QCOMPARE(data.result(QStringLiteral("person"))->rows.size(), 1);
        QCOMPARE(c.messages.shownCount(), 0);
    }

    // The filter values reach the queries by name, whatever order each
    // query uses them in; a blank date takes the whole range.
    void filterValuesReachTheQueriesByName()
    {
        Catalogue c;
        ReportLauncher launcher(c.ctx);
        c.ctx.reports = &launcher;
        c.writeReport(QStringLiteral("echo"),
                      QStringLiteral("[report]\ntitle=T\nparameters = from_date, to_date, caller\n"
                                     "[query first]\nSELECT :caller AS c, :to_date AS t, :from_date AS f\n"
                                     "[query second]\nSELECT :to_date || '/' || :caller AS tc, :from_date AS f\n"
                                     "[layout]\n{{#first}}{{c}}{{/first}}\n"));
        c.store.db().execute(QStringLiteral("INSERT INTO rpts (report, description, parms) VALUES ('echo', 'x', '0')"));
        c.find<QPushButton>("cmndrefresh")->click();
        c.find<QCheckBox>("Check1")->setChecked(true);
        c.find<QLineEdit>("text1")->clear();
        QTest::keyClicks(c.find<QLineEdit>("text1"), QStringLiteral("14300101"));
        c.find<QLineEdit>("Text3")->clear();
        QTest::keyClicks(c.find<QLineEdit>("Text3"), QStringLiteral("Ahmad"));

        QSignalSpy shown(&launcher, &ReportLauncher::reportShown);
        c.print(QStringLiteral("echo"));
        QVERIFY(shown.wait(60000));
        QCOMPARE(c.input.askCount(), 0);
        const ReportData &data = *launcher.viewer()->report().data;
        QCOMPARE(data.result(QStringLiteral("first"))->rows.value(0),
                 (QStringList{QStringLiteral("Ahmad"), QStringLiteral("99999999"), QStringLiteral("14300101")}));
        QCOMPARE(data.result(QStringLiteral("second"))->rows.value(0),
                 (QStringList{QStringLiteral("99999999/Ahmad"), QStringLiteral("14300101")}));
    }

    void catalogueRowsAreKeptWithTheStandardButtons()
    {
        Catalogue c;
        c.find<QLineEdit>("report_text")->setText(QStringLiteral("monthly"));
        c.find<QLineEdit>("desc_text")->setText(QStringLiteral("تقرير شهري"));
        pick(c.find<QComboBox>("Combo1"), QStringLiteral("خطابات"));
        pick(c.find<QComboBox>("Combo1"), QStringLiteral("الكل"));
        c.press(c.screen.get(), QStringLiteral("add"));
        QCOMPARE(c.scalar(QStringLiteral("SELECT parms FROM rpts WHERE report = 'monthly'")).toString(), QStringLiteral("3"));
        QVERIFY(c.listed().contains(QStringLiteral("monthly")));

        // An update shows in the catalogue at once.
        c.find<QLineEdit>("desc_text")->setText(QStringLiteral("تقرير الشهر"));
        c.press(c.screen.get(), QStringLiteral("update"));
        const int row = c.listed().indexOf(QStringLiteral("monthly"));
        QCOMPARE(c.grid()->value(row, 1), QStringLiteral("تقرير الشهر"));

        c.find<QPushButton>("clear")->click();
        c.press(c.screen.get(), QStringLiteral("add"));
        QCOMPARE(c.lastShown(), QStringLiteral("يجب ادخال المعلومة"));

        // list_ok takes the grid's row into the fields.
        c.chooseRow(QStringLiteral("chnation"));
        c.find<QPushButton>("list_ok")->click();
        QCOMPARE(c.text("report_text"), QStringLiteral("chnation"));
        QCOMPARE(c.text("parms_text"), QStringLiteral("4"));

        // A row clicked shows its fields, and the list then stays on it.
        c.messages.clear();
        const int monthly = c.listed().indexOf(QStringLiteral("monthly"));
        const QRect cell = c.grid()->visualRect(c.grid()->model()->index(monthly, 1));
        QTest::mouseClick(c.grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(c.text("report_text"), QStringLiteral("monthly"));
        QCOMPARE(c.text("desc_text"), QStringLiteral("تقرير الشهر"));
        QCOMPARE(c.text("parms_text"), QStringLiteral("3"));
        QCOMPARE(c.grid()->currentRow(), monthly);
        QCOMPARE(c.messages.shownCount(), 0);
    }
};

VELM_TEST_MAIN(TstFrmRpts)
#include "tst_frmRpts.moc"
