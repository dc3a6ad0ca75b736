#include "registry/frmTamrel.h"

#include "screens/DataGrid.h"
#include "support/ScreenWorld.h"
#include "support/SheetFiles.h"
#include "support/TestMain.h"
#include "synthetic/SyntheticData.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "support/TestDatabase.h"

#include <QTabWidget>

using registry::frmTamrel;
namespace files = testsupport::sheetfiles;

namespace {

struct Fixture : testsupport::ScreenFixture<frmTamrel> {
    QTemporaryDir out;

    explicit Fixture(int persons)
    {
        setWorkingDate({"1427", "05", "09"});
        if (!testsupport::testOnServer()) {
            core::fillSynthetic(store.db(), persons, 11);
        } else {
            // The register is drawn on a file and copied to the server.
            const QString file = out.filePath(QStringLiteral("register.mdb"));
            const QString key = core::passwordFromConnect(QLatin1String(core::kConnectString));
            core::schema::createFirstDatabase(file, key);
            engine::Database drawn;
            drawn.open(file, key);
            core::fillSynthetic(drawn, persons, 11);
            core::CopyOptions replace;
            replace.replace = true;
            core::copyDatabase(drawn, store.db(), replace);
        }
        screen = std::make_unique<frmTamrel>(ctx, frmTamrel::Access::Full);
        screen->show();
    }
    QString path(const QString &name) const { return out.filePath(name); }
};


} // namespace

// The person list leaves the program as the clerk sees it: the whole
// register, a search's result, a sorted list, and the person's own lists.
class TestPersonListExport : public QObject {
    Q_OBJECT

private slots:
    void theRegisterASearchAndASortExportAsShown()
    {
        Fixture f(150);
        f.press("list");
        core::DataGrid *grid = f.grid();
        QCOMPARE(grid->rowCount(), 150);
        const int columns = grid->columnCount();
        QVERIFY(columns > 90);

        // The whole register, every field, with the grid's Arabic headings.
        const QString all = f.path(QStringLiteral("register.xlsx"));
        QVERIFY(testsupport::exportGrid(grid, f.saveFiles, all));
        const QList<QStringList> shown = testsupport::shownRows(grid);
        QCOMPARE(shown.at(0).at(0), QStringLiteral("رقم Tamrel"));
        QCOMPARE(files::asXlsxKeepsThem(files::readXlsx(all), columns), files::asXlsxKeepsThem(shown, columns));
        QVERIFY(files::xlsxPart(all, QStringLiteral("xl/worksheets/sheet1.xml")).contains(QLatin1String("rightToLeft=\"1\"")));

        // A search on the number, sorted by the new name, descending.
        f.press("clear");
        f.box(QStringLiteral("txt_tamrel_no"))->setText(QStringLiteral("1"));
        f.press("search");
        const int found = grid->rowCount();
        QVERIFY(found > 10 && found < 150);
        grid->setSortModifiers(Qt::ShiftModifier);
        grid->sortByHeading(grid->gridColumn(grid->dataSource()->model()->fieldIndex(QStringLiteral("a_new_name"))));
        QTRY_VERIFY(!grid->dataSource()->isRunning());
        const QList<QStringList> sorted = testsupport::shownRows(grid);
        const QString csv = f.path(QStringLiteral("search.csv"));
        QVERIFY(testsupport::exportGrid(grid, f.saveFiles, csv, QStringLiteral("exportCsv")));
        QCOMPARE(files::readCsv(csv), sorted);
        QCOMPARE(f.lastShown(), QStringLiteral("تم تصدير %1 سطرا إلى الملف %2").arg(found).arg(csv));
        for (int r = 1; r < sorted.size(); ++r)
            QVERIFY(sorted.at(r).at(0).contains(QLatin1Char('1')));
    }

    // The follow-up steps and courses of the person shown export too.
    void thePersonsOwnListsExport()
    {
        Fixture f(20);
        const QString number = f.scalar(QStringLiteral("SELECT tamrel_no FROM followUp GROUP BY tamrel_no "
                                                       "ORDER BY count(*) DESC LIMIT 1")).toString();
        f.box(QStringLiteral("txt_tamrel_no"))->setText(number);
        f.press("find");
        f.find<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(3);
        auto *steps = f.find<core::DataGrid>(QStringLiteral("DBGrid2"));
        QTRY_VERIFY(steps->rowCount() > 0);
        const QString file = f.path(QStringLiteral("steps.xlsx"));
        QVERIFY(testsupport::exportGrid(steps, f.saveFiles, file));
        QCOMPARE(files::asXlsxKeepsThem(files::readXlsx(file), steps->columnCount()),
                 files::asXlsxKeepsThem(testsupport::shownRows(steps), steps->columnCount()));
        QCOMPARE(files::readXlsx(file).value(0).value(steps->gridColumn(steps->dataSource()->model()->fieldIndex(
                     QStringLiteral("description")))),
                 QStringLiteral("النشاط"));
    }
};

VELM_TEST_MAIN(TestPersonListExport)
#include "tst_personlistexport.moc"
