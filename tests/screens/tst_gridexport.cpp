#include "support/TestMain.h"

#include "screens/DataGrid.h"
#include "screens/ScreenKeys.h"
#include "support/ScreenWorld.h"
#include "support/SheetFiles.h"

#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSignalSpy>

using core::DataGrid;
using core::DataSource;
namespace files = testsupport::sheetfiles;

namespace {

QStringList folderFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

// A list grid written to XLSX and CSV: exactly its rows in its order, its
// headings and cell texts, read back by other programs' readers; in the
// background, stopped by Esc, waiting for a list still being read.
class TestGridExport : public QObject {
    Q_OBJECT

    struct World : testsupport::ScreenWorld {
        QWidget window;
        DataGrid *grid;
        DataSource *source;
        QTemporaryDir out;

        World()
        {
            window.setWindowTitle(QStringLiteral("الشهود"));
            window.setLayoutDirection(Qt::RightToLeft);
            window.resize(700, 400);
            source = new DataSource(QStringLiteral("witness_DATA"), &window);
            source->setDatabase(store);
            grid = new DataGrid(&window);
            grid->setObjectName(QStringLiteral("DBGrid1"));
            grid->resize(680, 380);
            grid->setMessageService(&messages);
            grid->setSaveFileChooser(&saveFiles);
            grid->setDataSource(source);
        }
        void addWitness(const QString &name, const QString &english, const QString &phone, const QString &job = QStringLiteral(" "))
        {
            store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME, TELEPHONE, PAGER, ADDRESS, job) "
                                              "VALUES (?, ?, ?, ' ', ' ', ?)"),
                               {name, english, phone, job});
        }
        QString path(const QString &name) const { return out.filePath(name); }
    };

    static void fillWitnesses(World &w)
    {
        w.addWitness(QStringLiteral("محمد الأحمد"), QStringLiteral("Mohammed"), QStringLiteral("0501234567"), QStringLiteral("معلم"));
        w.addWitness(QStringLiteral("أحمد علي"), QStringLiteral("Ahmad, \"Abu Ali\""), QStringLiteral("12"), QStringLiteral("=1+2"));
        w.addWitness(QStringLiteral("خالد"), QStringLiteral("Khalid"), QStringLiteral("7"));
        w.addWitness(QStringLiteral("بكر"), QStringLiteral("Bakr"), QStringLiteral("3.5"), QStringLiteral("مهندس"));
    }

private slots:
    // A sorted grid with a heading of its own and a cell text of its own:
    // the file has its headings, texts and order; numbers are numbers, the
    // sheet reads right to left, the columns are as wide as the grid's.
    void xlsxAndCsvHoldTheGridsRowsInItsOrder()
    {
        World w;
        w.window.show();
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        fillWitnesses(w);
        w.source->setQuery(QStringLiteral("select * from witnesses"));
        w.source->refresh();
        w.grid->setHeading(0, QStringLiteral("الاسم"));
        w.grid->setCellText(QStringLiteral("job"), [](const QVariant &v) {
            return v.toString() == QStringLiteral("معلم") ? QStringLiteral("معلم قرآن") : v.toString();
        });
        w.grid->setSortModifiers(Qt::ShiftModifier);
        w.grid->sortByHeading(2); // TELEPHONE, descending as text
        QTRY_VERIFY(!w.source->isRunning());
        w.grid->horizontalHeader()->resizeSection(1, 260);
        const QList<QStringList> shown = testsupport::shownRows(w.grid);
        QCOMPARE(shown.size(), 5);
        QCOMPARE(shown.at(0).at(0), QStringLiteral("الاسم"));
        QCOMPARE(shown.at(1).at(2), QStringLiteral("7"));
        QVERIFY(shown.contains(QStringList{QStringLiteral("محمد الأحمد"), QStringLiteral("Mohammed"), QStringLiteral("0501234567"),
                                           QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("معلم قرآن")}));

        const QString xlsx = w.path(QStringLiteral("list.xlsx"));
        QVERIFY(testsupport::exportGrid(w.grid, w.saveFiles, xlsx));
        QCOMPARE(w.saveFiles.lastQuestion().types, (QStringList{QStringLiteral("Excel (*.xlsx)"), QStringLiteral("CSV (*.csv)")}));
        QVERIFY(w.saveFiles.lastQuestion().suggestedPath.endsWith(QStringLiteral("الشهود.xlsx")));
        QCOMPARE(w.lastShown(), QStringLiteral("تم تصدير 4 سطرا إلى الملف %1").arg(QDir::toNativeSeparators(xlsx)));
        const QList<QStringList> back = files::readXlsx(xlsx);
        QVERIFY2(files::errorText().isEmpty(), qPrintable(files::errorText()));
        QCOMPARE(files::asXlsxKeepsThem(back, 6), files::asXlsxKeepsThem(shown, 6));
        const QString sheet = files::xlsxPart(xlsx, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(sheet.contains(QLatin1String("rightToLeft=\"1\"")));
        QVERIFY(sheet.contains(QRegularExpression(QStringLiteral("<c r=\"C2\"[^>]*><v>7</v>"))));      // a number
        QVERIFY(sheet.contains(QRegularExpression(QStringLiteral("<c r=\"C\\d\"[^>]*t=\"inlineStr\"><is><t>0501234567")))); // a phone stays text
        const QRegularExpressionMatch width = QRegularExpression(QStringLiteral("<col min=\"2\" max=\"2\" width=\"([0-9.]+)\"")).match(sheet);
        QVERIFY(width.hasMatch());
        QVERIFY2(qAbs(width.captured(1).toDouble() - 255.0 / 7) < 1, qPrintable(width.captured(1))); // 260 px
        QCOMPARE(files::sheetNames(xlsx), QStringList{QStringLiteral("الشهود")});

        // CSV through the key, the dialog's file type chosen by the name typed.
        const QString csv = w.path(QStringLiteral("list.csv"));
        QSignalSpy finished(&w.grid->exporter(), &core::GridExport::finished);
        w.saveFiles.queueAnswer(csv);
        w.window.activateWindow(); // the menu had the keyboard
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.grid->setFocus();
        QTest::keySequence(w.grid, core::keys::kExportList);
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.first().first().toBool());
        bool bom = false;
        QList<QStringList> rows = files::readCsv(csv, &bom);
        QVERIFY(bom);
        QCOMPARE(rows.size(), 5);
        for (int r = 1; r < rows.size(); ++r) // a formula is written so that it stays a text
            rows[r].replace(5, rows.at(r).at(5) == QLatin1String("'=1+2") ? QStringLiteral("=1+2") : rows.at(r).at(5));
        QCOMPARE(rows, shown);
        QCOMPARE(folderFiles(w.out.path()), (QStringList{QStringLiteral("list.csv"), QStringLiteral("list.xlsx")}));
    }

    // A search's result exports as it is; a row deleted since it was listed
    // is left out; a select read whole (a join) exports as well.
    void theResultHeldIsWhatIsWritten()
    {
        World w;
        fillWitnesses(w);
        w.source->setQuery(QStringLiteral("select * from witnesses where TELEPHONE like ? order by TELEPHONE"),
                           {QStringLiteral("%5%")});
        w.source->refresh();
        QCOMPARE(w.grid->rowCount(), 2);
        w.store.db().execute(QStringLiteral("DELETE FROM witnesses WHERE NAME = ?"), {QStringLiteral("بكر")});
        const QString first = w.path(QStringLiteral("search.csv"));
        QVERIFY(testsupport::exportGrid(w.grid, w.saveFiles, first, QStringLiteral("exportCsv")));
        QList<QStringList> rows = files::readCsv(first);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).at(0), QStringLiteral("محمد الأحمد"));

        w.source->setQuery(QStringLiteral("select w.NAME, count(*) AS n from witnesses w, witnesses v "
                                          "group by w.NAME order by w.NAME desc"));
        w.source->refresh();
        QVERIFY(!w.source->rowsInOrder().byIdentity);
        const QString second = w.path(QStringLiteral("join.xlsx"));
        QVERIFY(testsupport::exportGrid(w.grid, w.saveFiles, second));
        QCOMPARE(files::readXlsx(second), testsupport::shownRows(w.grid));
    }

    // A long export goes on in the background with the busy panel; Esc
    // stops it and leaves no file; a folder that cannot be written says so.
    void escStopsAndFailuresLeaveNothing()
    {
        World w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        {
            engine::Transaction tx(w.store.db());
            for (int i = 0; i < 20000; ++i)
                w.addWitness(QStringLiteral("شاهد %1").arg(i, 6, 10, QLatin1Char('0')), QStringLiteral("Witness %1").arg(i),
                             QString::number(500000000 + i), QStringLiteral("وظيفة طويلة بعض الشيء %1").arg(i));
            tx.commit();
        }
        w.source->setQuery(QStringLiteral("select * from witnesses"));
        w.source->refresh();
        QTRY_VERIFY(!w.source->isRunning());
        QVERIFY(w.source->rowsInOrder().byIdentity);

        const QString path = w.path(QStringLiteral("stopped.xlsx"));
        QSignalSpy finished(&w.grid->exporter(), &core::GridExport::finished);
        w.grid->exporter().start(path, sheets::Format::Xlsx);
        QVERIFY(w.grid->exporter().isRunning());
        QVERIFY(!w.grid->canExport()); // one export at a time
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QTest::keyClick(w.grid, Qt::Key_Escape);
        QVERIFY(finished.wait(60000));
        QVERIFY(!finished.first().first().toBool());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(w.messages.shownCount(), 0);
        QCOMPARE(folderFiles(w.out.path()), QStringList());

        const QString nowhere = w.path(QStringLiteral("missing/list.csv"));
        QVERIFY(!testsupport::exportGrid(w.grid, w.saveFiles, nowhere, QStringLiteral("exportCsv")));
        QVERIFY(w.lastShown().startsWith(QStringLiteral("تعذر تصدير القائمة إلى الملف %1").arg(QDir::toNativeSeparators(nowhere))));

        // Cancelled in the dialog: nothing happens.
        w.messages.clear();
        w.saveFiles.queueAnswer(std::nullopt);
        testsupport::contextMenu(w.grid, QStringLiteral("exportXlsx"));
        QCOMPARE(w.messages.shownCount(), 0);
        QVERIFY(!w.grid->exporter().isRunning());

        // Left to run, the whole list arrives; its panel showed the rows written.
        const QString whole = w.path(QStringLiteral("whole.csv"));
        finished.clear();
        w.grid->exporter().start(whole, sheets::Format::Csv);
        auto *panel = w.grid->findChild<QFrame *>(QStringLiteral("busyPanel"));
        QVERIFY(panel);
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.first().first().toBool());
        QCOMPARE(files::readCsv(whole).size(), 20001);
    }

    // Export asked for while the list is still being read: it waits for the
    // list and writes all of it.
    void aListStillBeingReadIsWrittenWhole()
    {
        const testsupport::ProgramInlineBudget asTheProgramRuns;
        World w;
        w.source->setQuery(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000) "
                                          "SELECT x AS n, 'r' || x AS label FROM c WHERE x % 10000 = 0"));
        w.source->refresh();
        QVERIFY(w.source->isRunning());
        QSignalSpy finished(&w.grid->exporter(), &core::GridExport::finished);
        w.grid->exporter().start(w.path(QStringLiteral("later.xlsx")), sheets::Format::Xlsx);
        QVERIFY(w.grid->exporter().isRunning());
        QVERIFY(finished.wait(120000));
        QVERIFY(finished.first().first().toBool());
        const QList<QStringList> rows = files::readXlsx(w.path(QStringLiteral("later.xlsx")));
        QCOMPARE(rows.size(), 301);
        QCOMPARE(rows.at(300), (QStringList{QStringLiteral("3000000"), QStringLiteral("r3000000")}));
    }

    // Without a file chooser, or without a list, the menu offers nothing to do.
    void theMenuOffersTheExportOnlyWhenItCanRun()
    {
        World w;
        auto actions = testsupport::contextMenu(w.grid);
        QCOMPARE(actions, (QList<QPair<QString, bool>>{{QStringLiteral("exportXlsx"), false}, {QStringLiteral("exportCsv"), false}}));
        w.source->setQuery(QStringLiteral("select * from witnesses"));
        w.source->refresh();
        actions = testsupport::contextMenu(w.grid);
        QCOMPARE(actions.value(0), (QPair<QString, bool>{QStringLiteral("exportXlsx"), true}));
        w.grid->setSaveFileChooser(nullptr);
        QVERIFY(!w.grid->canExport());
        QCOMPARE(testsupport::contextMenu(w.grid).value(1), (QPair<QString, bool>{QStringLiteral("exportCsv"), false}));
    }
};

VELM_TEST_MAIN(TestGridExport)
#include "tst_gridexport.moc"
