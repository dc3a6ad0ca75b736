#include "support/TestMain.h"

#include "screens/DataGrid.h"
#include "support/FakeServices.h"
#include "support/TestDatabase.h"
#include "screens/GridDelegate.h"
#include "screens/LookupCombo.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFrame>
#include <QHeaderView>
#include <QProxyStyle>
#include <QStyleOptionViewItem>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>

using core::DataGrid;
using core::DataSource;
using core::QueryModel;

namespace {

// A select that takes about a second whatever the data: it goes on in the
// background and hands over `rows` rows, one at the end of each stretch.
QString slowSelect(int rows, int stretch = 400000)
{
    return QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                          "SELECT x AS n, 'r' || x AS label FROM c WHERE x % %2 = 0")
        .arg(rows * stretch)
        .arg(stretch);
}

} // namespace

class TestDataGrid : public QObject {
    Q_OBJECT

    testsupport::TempDatabase m_temp;
    engine::Database m_db;
    testsupport::RecordingMessageService m_messages;

    QStringList column(const DataGrid &grid, int col)
    {
        QStringList out;
        for (int r = 0; r < grid.rowCount(); ++r)
            out << grid.value(r, col);
        return out;
    }

    // A heading click as the user makes it, keys held or not.
    void clickHeading(DataGrid &grid, int col, Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        QHeaderView *header = grid.horizontalHeader();
        const int logical = grid.modelColumn(col);
        const QPoint at(header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, keys, at);
    }

private slots:
    void initTestCase()
    {
        // On the file or the test server: tables made the way the program makes its own.
        m_temp.open(m_db);
        using Type = engine::FieldDef::Type;
        m_db.createTable({QStringLiteral("witnesses"),
                          {{QStringLiteral("NAME"), Type::Text, 50}, {QStringLiteral("english_NAME"), Type::Text, 50},
                           {QStringLiteral("TELEPHONE"), Type::Text, 50}, {QStringLiteral("PAGER"), Type::Text, 50},
                           {QStringLiteral("ADDRESS"), Type::Text, 50}, {QStringLiteral("job"), Type::Text, 50}},
                          {QStringLiteral("NAME")}});
        const QList<QStringList> rows = {
            {QStringLiteral("Bakr"), QStringLiteral("b"), QStringLiteral("2")},
            {QStringLiteral("Ali"), QStringLiteral("a"), QStringLiteral("3")},
            {QStringLiteral("Camal"), QStringLiteral("c"), QStringLiteral("1")},
        };
        for (const QStringList &r : rows)
            m_db.execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME, TELEPHONE) VALUES (?, ?, ?)"),
                         {r.at(0), r.at(1), r.at(2)});
        m_db.createTable({QStringLiteral("numbers"),
                          {{QStringLiteral("n"), Type::Integer}, {QStringLiteral("label"), Type::Text, 20}},
                          {QStringLiteral("n")}});
        engine::Transaction tx(m_db);
        for (int i = 1; i <= 1000; ++i)
            m_db.execute(QStringLiteral("INSERT INTO numbers VALUES (?, ?)"),
                         {i, i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("n%1").arg(i))});
        tx.commit();
    }

    void init() { m_messages.clear(); }

    void modelPassesTheTester()
    {
        DataSource source(QStringLiteral("numbers_DATA"));
        source.model()->setBatchSize(100);
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from numbers where n <= ?"), {250});
        source.refresh();
        // The tester reads on by itself as soon as a reset ends, which it
        // then counts against the reset; so it watches from here on, and the
        // reset below ends with every row read.
        QAbstractItemModelTester tester(source.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        while (source.model()->canFetchMore())
            source.model()->fetchMore();
        QCOMPARE(source.model()->rowCount(), 250);
        source.setQuery(QStringLiteral("select * from numbers where n > ?"), {950});
        source.refresh();
        QCOMPARE(source.model()->rowCount(), 50);
        QVERIFY(!source.model()->canFetchMore());
    }

    // A large result keeps its row identities and only the rows near what
    // is read; rows scrolled back to are read again, a row deleted
    // meanwhile shows empty.
    // A list given only a moment on the window's thread shows its first
    // rows at once and the rest as the worker reads them, exactly once
    // each, in order; around the size of the first read too.
    void aMomentsReadShowsTheFirstRowsAndTheWorkerTheRest_data()
    {
        QTest::addColumn<int>("rows");
        for (const int rows : {1, 256, 257, 258, 1000})
            QTest::addRow("%d rows", rows) << rows;
    }
    void aMomentsReadShowsTheFirstRowsAndTheWorkerTheRest()
    {
        QFETCH(int, rows);
        DataSource source(QStringLiteral("numbers_DATA"));
        source.setInlineBudget(1);
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from numbers where n <= ? order by n"), {rows});
        source.refresh();
        if (m_temp.onServer()) // the first read there ends by itself
            QVERIFY(source.model()->rowCount() > 0);
        QTRY_VERIFY(!source.isRunning());
        while (source.model()->canFetchMore())
            source.model()->fetchMore();
        QCOMPARE(source.model()->rowCount(), rows);
        for (int r = 0; r < rows; ++r)
            QCOMPARE(source.model()->index(r, 0).data().toInt(), r + 1);
    }

    // The server's answers about a table are kept, and asked again once
    // the table has changed.
    void columnsAreReadAgainAfterTheTableChanged()
    {
        m_db.createTable({QStringLiteral("changing"), {{QStringLiteral("a"), engine::FieldDef::Type::Integer}}, {}});
        QCOMPARE(m_db.columns(QStringLiteral("changing")).size(), 1);
        QCOMPARE(m_db.tableName(QStringLiteral("CHANGING")), QStringLiteral("changing"));
        m_db.execute(QStringLiteral("ALTER TABLE changing ADD COLUMN b TEXT"));
        QCOMPARE(m_db.columns(QStringLiteral("changing")).size(), 2);
        m_db.execute(QStringLiteral("DROP TABLE changing"));
        QVERIFY(!m_db.hasTable(QStringLiteral("changing")));
        QVERIFY_THROWS_EXCEPTION(engine::EngineError, m_db.tableName(QStringLiteral("changing")));
    }

    void largeResultsKeepOnlyRowsNearTheView()
    {
        DataSource source;
        source.model()->setBatchSize(10);
        source.setDatabase(m_db);
        source.setTable(QStringLiteral("NUMBERS")); // any letter case
        source.refresh();
        QueryModel *model = source.model();
        QCOMPARE(model->rowCount(), 1000);
        QCOMPARE(model->heldRows(), 10);
        for (int r = 0; r < 1000; ++r)
            QCOMPARE(model->value(r, 0).toInt(), r + 1);
        QCOMPARE(model->heldRows(), qsizetype(QueryModel::kCachedBlocks * 10));
        // Nulls show as empty text; the stored value stays null.
        QCOMPARE(model->data(model->index(6, 1)).toString(), QString());
        QVERIFY(model->value(6, 1).isNull());
        QCOMPARE(model->value(7, 1).toString(), QStringLiteral("n8"));
        QVERIFY(model->fetchUntil(949));
        QVERIFY(!model->fetchUntil(1000));
        QVERIFY(!model->canFetchMore());

        m_db.execute(QStringLiteral("DELETE FROM numbers WHERE n = 500"));
        QVERIFY(!model->value(499, 0).isValid());
        QCOMPARE(model->value(500, 0).toInt(), 501);
        m_db.execute(QStringLiteral("INSERT INTO numbers VALUES (500, 'n500')"));
    }

    // A result still being read must not hide what was written since.
    void refreshSeesNewWrites()
    {
        engine::Database reader;
        reader.open(m_db.openSpec());
        DataSource source;
        source.model()->setBatchSize(10);
        source.setDatabase(reader);
        source.setQuery(QStringLiteral("select * from numbers order by n desc"));
        source.refresh();
        QCOMPARE(source.model()->value(0, 0).toInt(), 1000);
        m_db.execute(QStringLiteral("INSERT INTO numbers VALUES (1001, 'new')"));
        source.refresh();
        m_db.execute(QStringLiteral("DELETE FROM numbers WHERE n = 1001"));
        QCOMPARE(source.model()->value(0, 0).toInt(), 1001);
    }

    void failingQueryKeepsTheRows()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from witnesses"));
        source.refresh();
        QCOMPARE(source.model()->rowCount(), 3);
        source.setQuery(QStringLiteral("select * from nosuchtable"));
        int number = 0;
        try {
            source.refresh();
        } catch (const engine::EngineError &e) {
            number = e.number();
        }
        QVERIFY(number != 0);
        QCOMPARE(source.model()->rowCount(), 3);
        engine::EngineError error(0, {});
        QVERIFY(!source.tryRefresh(&error));
        QCOMPARE(error.number(), number);

        DataSource unconnected;
        unconnected.setQuery(QStringLiteral("select 1"));
        QVERIFY(!unconnected.tryRefresh(&error));
        QCOMPARE(error.number(), int(engine::ErrInvalidArgument));
    }

    void gridShowsColumnsAndCurrentRow()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from witnesses order by NAME"));
        DataGrid grid;
        grid.setDataSource(&source);
        QCOMPARE(grid.columnValue(0), QString()); // nothing read yet
        source.refresh();
        QCOMPARE(grid.columnCount(), 6);
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
        QCOMPARE(grid.currentRow(), 0);
        QCOMPARE(grid.columnValue(0), QStringLiteral("Ali"));
        QVERIFY(grid.setCurrentRow(2));
        QCOMPARE(grid.columnValue(2), QStringLiteral("1"));
        QVERIFY(!grid.setCurrentRow(3));

        // Chosen fields in a chosen order, with headings of the grid's own.
        grid.setColumns({QStringLiteral("telephone"), QStringLiteral("name")});
        grid.setHeading(1, QStringLiteral("الاسم"));
        QCOMPARE(grid.columnCount(), 2);
        QCOMPARE(grid.columnField(0), QStringLiteral("TELEPHONE"));
        QCOMPARE(grid.columnValue(1), QStringLiteral("Camal"));
        QCOMPARE(grid.horizontalHeader()->logicalIndex(0), 2);
        QVERIFY(grid.horizontalHeader()->isSectionHidden(1));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("الاسم"));
        // Both survive a refresh.
        source.refresh();
        QCOMPARE(grid.columnField(1), QStringLiteral("NAME"));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("الاسم"));
        QCOMPARE(grid.columnValue(1), QStringLiteral("Ali"));
    }

    // Ascending, then descending with Shift held, then ascending again.
    void headingClickSorts()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from witnesses"));
        source.refresh();
        DataGrid grid;
        grid.setMessageService(&m_messages);
        grid.setDataSource(&source);
        grid.resize(600, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy headings(&grid, &DataGrid::headingClicked);

        clickHeading(grid, 0);
        QCOMPARE(column(grid, 0), QStringList({"Ali", "Bakr", "Camal"}));
        clickHeading(grid, 0, Qt::ShiftModifier);
        QCOMPARE(column(grid, 0), QStringList({"Camal", "Bakr", "Ali"}));
        QCOMPARE(grid.sortModifiers(), Qt::NoModifier);
        clickHeading(grid, 0);
        QCOMPARE(column(grid, 0), QStringList({"Ali", "Bakr", "Camal"}));
        clickHeading(grid, 2, Qt::ControlModifier);
        QCOMPARE(column(grid, 2), QStringList({"3", "2", "1"}));
        QCOMPARE(headings.count(), 4);
        QCOMPARE(headings.last().at(0).toInt(), 2);

        // A key held at a click in the rows counts too, until it is used.
        grid.setSortModifiers(Qt::AltModifier);
        grid.sortByHeading(1);
        QCOMPARE(column(grid, 1), QStringList({"c", "b", "a"}));
        QCOMPARE(m_messages.shownCount(), 0);

        // A fresh run forgets the sort.
        source.refresh();
        QCOMPARE(column(grid, 0), QStringList({"Bakr", "Ali", "Camal"}));
    }

    void tableSourceIgnoresHeadings()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setTable(QStringLiteral("witnesses"));
        source.refresh();
        DataGrid grid;
        grid.setDataSource(&source);
        grid.sortByHeading(0);
        QCOMPARE(column(grid, 0), QStringList({"Bakr", "Ali", "Camal"}));
        QVERIFY(!source.sort(QStringLiteral("[NAME]")));
    }

    void sortFailureIsShown()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select NAME as \"a]b\", TELEPHONE from witnesses"));
        source.refresh();
        DataGrid grid;
        grid.setMessageService(&m_messages);
        grid.setDataSource(&source);
        grid.sortByHeading(0);
        QCOMPARE(m_messages.shownCount(), 1);
        QVERIFY2(m_messages.lastShown().startsWith(QStringLiteral("Error:3075 ")),
                 qPrintable(m_messages.lastShown()));
        QCOMPARE(column(grid, 0), QStringList({"Bakr", "Ali", "Camal"}));
        QVERIFY(!QApplication::overrideCursor());
    }

    // A long run goes on in the background: refresh() returns at once and
    // the rows come as they are found; a sort keeps the rows shown until
    // its own come.
    void longRunsGoOnInTheBackground()
    {
        const testsupport::ProgramInlineBudget asTheProgramRuns;
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(slowSelect(3, 1000000));
        QSignalSpy started(&source, &DataSource::workStarted);
        QSignalSpy finished(&source, &DataSource::workFinished);
        QElapsedTimer clock;
        clock.start();
        source.refresh();
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(source.isRunning());
        QCOMPARE(started.count(), 1);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.last().at(0).toInt(), 0);
        QCOMPARE(source.model()->rowCount(), 3);
        QCOMPARE(source.model()->value(2, 0).toInt(), 3000000);

        QSignalSpy refreshed(&source, &DataSource::refreshed);
        QVERIFY(source.sort(QStringLiteral("[n] desc")));
        QVERIFY(source.isRunning());
        QCOMPARE(source.model()->rowCount(), 3);
        QCOMPARE(source.model()->value(0, 0).toInt(), 1000000);
        QCOMPARE(refreshed.count(), 0);
        QVERIFY(finished.wait(30000));
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(source.model()->value(0, 0).toInt(), 3000000);
    }

    // Esc stops the grid's run: the pointer shows the work at once, a panel
    // after half a second; the rows found so far stay.
    void escStopsTheGridsRun()
    {
        const testsupport::ProgramInlineBudget asTheProgramRuns;
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(slowSelect(10000, 100000)); // minutes
        DataGrid grid;
        grid.setMessageService(&m_messages);
        grid.setDataSource(&source);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy finished(&source, &DataSource::workFinished);
        source.refresh();
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        auto *panel = grid.findChild<QFrame *>(QStringLiteral("busyPanel"));
        QVERIFY(panel);
        QVERIFY(!panel->isVisible());
        QTRY_VERIFY(panel->isVisible());
        QTRY_VERIFY(source.model()->rowCount() >= 1);
        QTest::keyClick(&grid, Qt::Key_Escape);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toInt(), int(engine::ErrOperationCanceled));
        QVERIFY(!panel->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(m_messages.shownCount(), 0);
        QVERIFY(source.model()->rowCount() >= 1);
        QCOMPARE(source.model()->value(0, 0).toInt(), 100000);
    }

    // The worker's rows follow those read inline without a seam, also when
    // it reads identities from an index and sorts them; when the data
    // changed in between, its rows replace the inline ones.
    void backgroundRunContinuesTheInlineRows_data()
    {
        QTest::addColumn<bool>("changedMeanwhile");
        QTest::newRow("same data") << false;
        QTest::newRow("a row deleted meanwhile") << true;
    }
    void backgroundRunContinuesTheInlineRows()
    {
        QFETCH(bool, changedMeanwhile);
        if (!m_db.hasTable(QStringLiteral("many"))) {
            m_db.createTable({QStringLiteral("many"), {{QStringLiteral("n"), engine::FieldDef::Type::Integer}}, {}});
            m_db.execute(QStringLiteral("INSERT INTO many (n) WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL "
                                        "SELECT n + 1 FROM c WHERE n < 50000) SELECT n FROM c"));
        }
        // Each backend names the row identity its own way.
        const QString id = m_db.backend()->rowIdColumn(QStringLiteral("many"));
        const qint64 third = m_db.scalar(QStringLiteral("SELECT %1 FROM many WHERE n = 3").arg(id)).toLongLong();
        engine::Database reader;
        reader.open(m_db.openSpec());
        if (changedMeanwhile) {
            // The inline read sees the data as it was before the delete.
            reader.execute(m_temp.onServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")
                                             : QStringLiteral("BEGIN"));
            QCOMPARE(reader.scalar(QStringLiteral("select count(*) from many")).toInt(), 50000);
            m_db.execute(QStringLiteral("DELETE FROM many WHERE n = 3"));
        }
        core::BackgroundQuery query;
        core::BackgroundQuery::Request r;
        r.sql = QStringLiteral("select many.%1 from many order by many.%1").arg(id);
        r.unorderedSql = QStringLiteral("select %1 from many").arg(id);
        r.result = core::BackgroundQuery::Result::Ids;
        r.openSpec = m_db.openSpec();
        r.inlineDb = &reader;
        r.inlineBudgetMs = 0;
        QVector<qint64> ids;
        bool restarted = false;
        auto takeAll = [&] {
            const core::BackgroundQuery::Batch b = query.take();
            if (b.restart) {
                ids.clear();
                restarted = true;
            }
            ids += b.ids;
        };
        connect(&query, &core::BackgroundQuery::rowsFound, this, takeAll);
        QSignalSpy finished(&query, &core::BackgroundQuery::finished);
        query.start(r);
        takeAll();
        QVERIFY(ids.size() >= 3); // read inline before the worker began
        QVERIFY(finished.wait(10000));
        takeAll();
        reader.rollback();
        QCOMPARE(restarted, changedMeanwhile);
        QCOMPARE(ids.size(), changedMeanwhile ? 49999 : 50000);
        QVERIFY(std::is_sorted(ids.begin(), ids.end()));
        QCOMPARE(ids.contains(third), !changedMeanwhile);
        if (changedMeanwhile)
            m_db.execute(QStringLiteral("INSERT INTO many (n) VALUES (3)"));
    }

    void lookupKeepsTextAndBindsColumns()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from witnesses order by NAME"));
        source.refresh();

        core::LookupCombo names(QStringLiteral("dbc_daeyah_1"));
        names.setRowSource(&source);
        names.setListField(QStringLiteral("NAME"));
        names.setBoundColumn(QStringLiteral("english_NAME"));
        core::LookupCombo phones(QStringLiteral("dbc_phone"));
        phones.setRowSource(&source);
        phones.setListField(QStringLiteral("TELEPHONE"));

        QCOMPARE(names.text(), QString());
        QCOMPARE(names.count(), 3);
        QCOMPARE(names.itemText(1), QStringLiteral("Bakr"));
        QCOMPARE(phones.itemText(1), QStringLiteral("2"));

        QSignalSpy chosen(&names, &core::LookupCombo::chosen);
        QSignalSpy changed(&names, &QComboBox::currentTextChanged);
        names.setCurrentIndex(2);
        emit names.activated(2);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.last().at(0).toString(), QStringLiteral("c"));
        QCOMPARE(names.boundText(), QStringLiteral("c"));

        // Re-reading the rows keeps each list's text and announces nothing.
        phones.setText(QStringLiteral("typed"));
        changed.clear();
        source.refresh();
        QCOMPARE(names.text(), QStringLiteral("Camal"));
        QCOMPARE(phones.text(), QStringLiteral("typed"));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(phones.boundText(), QStringLiteral("typed"));

        names.setBoundText(QStringLiteral("a"));
        QCOMPARE(names.text(), QStringLiteral("Ali"));
        names.setBoundText(QStringLiteral("nobody"));
        QCOMPARE(names.text(), QStringLiteral("nobody"));
        QCOMPARE(names.boundText(), QStringLiteral("nobody"));
        names.setText(QStringLiteral("bakr"));
        QCOMPARE(names.boundText(), QStringLiteral("b"));
    }

    void lookupOpensItsOwnQuery()
    {
        core::LookupCombo combo(QStringLiteral("dbc_language"));
        engine::EngineError error(0, {});
        DataSource own;
        own.setDatabase(m_db);
        own.setQuery(QStringLiteral("select NAME from witnesses where NAME <> ?"), {QStringLiteral("Ali")});
        combo.setRowSource(&own);
        QVERIFY(combo.requery(&error));
        QCOMPARE(combo.count(), 2);
        combo.setText(QStringLiteral("x"));
        own.setQuery(QStringLiteral("select * from missing"));
        QVERIFY(!combo.requery(&error));
        QVERIFY(error.number() != 0);
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.text(), QStringLiteral("x"));
    }

    // Headings: the grid's own for a column, else the provider's for the
    // field, else the field name; the tooltip names the field.
    void headingsComeFromTheProvider()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select * from witnesses"));
        DataGrid grid;
        grid.setDataSource(&source);
        source.refresh();
        grid.setHeadingProvider([](const QString &field) {
            return field == QLatin1String("NAME") ? QStringLiteral("الاسم")
                   : field == QLatin1String("job") ? QStringLiteral("الوظيفة") : QString();
        });
        QCOMPARE(grid.heading(0), QStringLiteral("الاسم"));
        QCOMPARE(grid.heading(1), QStringLiteral("english_NAME"));
        QCOMPARE(grid.heading(5), QStringLiteral("الوظيفة"));
        grid.setHeading(5, QStringLiteral("job"));
        QCOMPARE(grid.heading(5), QStringLiteral("job"));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
                 QStringLiteral("NAME"));
        QCOMPARE(grid.columnField(0), QStringLiteral("NAME")); // the field names stay
    }

    void cellsReadInTheirOwnDirection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::LayoutDirection>("direction");
        QTest::newRow("digits and a blank") << QStringLiteral("011 456") << Qt::LeftToRight;
        QTest::newRow("date text") << QStringLiteral("1427/05/09") << Qt::LeftToRight;
        QTest::newRow("Latin name") << QStringLiteral("Abdullah Al-Otaibi") << Qt::LeftToRight;
        QTest::newRow("Arabic name") << QStringLiteral("عبدالله العتيبي") << Qt::RightToLeft;
        QTest::newRow("number first, Arabic after") << QStringLiteral("12 شارع الملك") << Qt::RightToLeft;
        QTest::newRow("Latin first") << QStringLiteral("(Ali) علي") << Qt::LeftToRight;
        QTest::newRow("blank") << QStringLiteral(" ") << Qt::LeftToRight;
    }

    // Each cell keeps the grid's alignment, but reads in its own text's
    // direction.
    void cellsReadInTheirOwnDirection()
    {
        QFETCH(QString, text);
        QFETCH(Qt::LayoutDirection, direction);
        QCOMPARE(core::GridDelegate::textDirection(text), direction);

        struct Probe : core::GridDelegate {
            using core::GridDelegate::GridDelegate;
            using core::GridDelegate::initStyleOption;
        } probe;
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), text);
        QStyleOptionViewItem option;
        option.direction = Qt::RightToLeft;
        probe.initStyleOption(&option, model.index(0, 0));
        QCOMPARE(option.direction, direction);
        QCOMPARE(option.displayAlignment, Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    }

    void cutCellsKeepTheirBeginning_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("scrolledOut");
        const QString latin = QStringLiteral("Grace Fernando Wickramasinghe");
        const QString arabic = QStringLiteral("عبدالله بن عبدالرحمن العتيبي");
        QTest::newRow("Latin, narrow column") << latin << false;
        QTest::newRow("Latin, partly scrolled out") << latin << true;
        QTest::newRow("Arabic, narrow column") << arabic << false;
        QTest::newRow("Arabic, partly scrolled out") << arabic << true;
    }

    // A cell with too little room for its text, because its column is narrow
    // or it stands partly beyond the grid's edge, shows the beginning of the
    // text and an ellipsis at its own end, within the room shown.
    void cutCellsKeepTheirBeginning()
    {
        QFETCH(QString, text);
        QFETCH(bool, scrolledOut);
        struct Recorder : QProxyStyle {
            mutable QList<std::pair<QString, QRect>> cells;
            void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                             const QWidget *widget) const override
            {
                if (auto *cell = qstyleoption_cast<const QStyleOptionViewItem *>(option);
                    element == CE_ItemViewItem && cell)
                    cells.append({cell->text, cell->rect});
                QProxyStyle::drawControl(element, option, painter, widget);
            }
        } recorder;
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select ? as a, ? as b, ? as c"),
                        {QStringLiteral("1"), QStringLiteral("x"), text});
        DataGrid grid;
        grid.setLayoutDirection(Qt::RightToLeft);
        grid.setStyle(&recorder);
        grid.setDataSource(&source);
        source.refresh();
        grid.horizontalHeader()->setStretchLastSection(false);
        const int full = grid.fontMetrics().horizontalAdvance(text);
        grid.horizontalHeader()->resizeSection(0, 80);
        grid.horizontalHeader()->resizeSection(1, 80);
        grid.horizontalHeader()->resizeSection(2, scrolledOut ? full + 40 : full / 2);
        grid.resize(scrolledOut ? 160 + full / 2 + grid.verticalHeader()->width() : 500, 120);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        recorder.cells.clear();
        grid.viewport()->grab();
        const QRect shown = grid.visualRect(grid.model()->index(0, 2)) & grid.viewport()->rect();
        QVERIFY(!shown.isEmpty());
        bool drawn = false;
        for (const auto &[drawnText, rect] : std::as_const(recorder.cells)) {
            if (!rect.intersects(shown) || drawnText == QLatin1String("x") || drawnText == QLatin1String("1"))
                continue;
            drawn = true;
            QVERIFY2(drawnText.endsWith(QChar(0x2026)), qPrintable(drawnText));
            QVERIFY2(text.startsWith(drawnText.chopped(1).trimmed().left(3)), qPrintable(drawnText));
            QVERIFY(grid.fontMetrics().horizontalAdvance(drawnText) <= shown.width());
            QVERIFY(shown.adjusted(-1, -1, 1, 1).contains(rect)); // drawn in the part in view
        }
        QVERIFY(drawn);
    }

    void datesReadAsDatesAndSortAsStored()
    {
        // Date fields by name, as the tables declare them; another field of
        // eight digits stays as it is.
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select n, ? as step_start_date, ? as iqama_no from numbers where n = 1 "
                                       "union all select 2, ?, ? union all select 3, ?, ? union all select 4, ?, ?"),
                        {QStringLiteral("14270509"), QStringLiteral("12345678"), QStringLiteral("00000000"),
                         QString(), QStringLiteral("14261230"), QStringLiteral("1"), QStringLiteral(" "),
                         QStringLiteral(" ")});
        DataGrid grid;
        grid.setDataSource(&source);
        source.refresh();
        const auto shown = [&grid](int col) {
            QStringList out;
            for (int r = 0; r < grid.rowCount(); ++r)
                out << grid.shownText(r, col);
            return out;
        };
        QCOMPARE(shown(1), (QStringList{"1427/05/09", "", "1426/12/30", ""}));
        QCOMPARE(shown(2), (QStringList{"12345678", "", "1", " "}));
        QCOMPARE(grid.value(0, 1), QStringLiteral("14270509")); // what list_ok and the key take
        QCOMPARE(source.model()->data(source.model()->index(1, 1), Qt::EditRole).toString(),
                 QStringLiteral("00000000"));
        QCOMPARE(core::QueryModel::displayText(QStringLiteral("DATEOFISLAM"), QStringLiteral("14250000")),
                 QStringLiteral("1425/00/00"));
        QCOMPARE(core::QueryModel::displayText(QStringLiteral("birth"), QStringLiteral("1425-3-9")),
                 QStringLiteral("1425-3-9")); // a hand-made value shows as it is

        grid.sortByHeading(1);
        QTRY_COMPARE(shown(1), (QStringList{"", "", "1426/12/30", "1427/05/09"}));
        QCOMPARE(column(grid, 0), (QStringList{"4", "2", "3", "1"})); // " " < "00000000" < ...
    }

    // The first fill sizes the columns from the rows already read, never
    // reading on; no column grows past the bound; a later refresh keeps
    // the widths the user gave.
    void columnsFitTheirFirstRows()
    {
        DataSource source;
        source.setDatabase(m_db);
        source.setQuery(QStringLiteral("select n, ? as memo, label from numbers order by n"),
                        {QString(5000, QLatin1Char('x'))});
        DataGrid grid;
        grid.resize(600, 300);
        grid.setDataSource(&source);
        grid.show();
        source.refresh();
        QCOMPARE(grid.rowCount(), 1000);
        QHeaderView *header = grid.horizontalHeader();
        QCOMPARE(header->sectionSize(1), DataGrid::kMaxColumnWidth);
        QVERIFY(header->sectionSize(0) >= header->fontMetrics().horizontalAdvance(QStringLiteral("64")));
        QVERIFY(header->sectionSize(0) < 100);
        QVERIFY(header->stretchLastSection());

        header->resizeSection(0, 150);
        source.refresh();
        QCOMPARE(header->sectionSize(0), 150);
    }
};

VELM_TEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
