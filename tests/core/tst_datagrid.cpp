#include "TestMain.h"

#include "DataGrid.h"
#include "FakeServices.h"
#include "GridDelegate.h"
#include "LookupCombo.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>

using core::DataGrid;
using core::DataSource;

class TestDataGrid : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
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
        QVERIFY(m_dir.isValid());
        m_db.create(m_dir.filePath(QStringLiteral("grid.db")), QStringLiteral("zk"));
        m_db.execute(QStringLiteral("CREATE TABLE witnesses (NAME TEXT COLLATE NOCASE PRIMARY KEY NOT NULL, "
                                    "english_NAME TEXT, TELEPHONE TEXT, PAGER TEXT, ADDRESS TEXT, job TEXT)"));
        const QList<QStringList> rows = {
            {QStringLiteral("Bakr"), QStringLiteral("b"), QStringLiteral("2")},
            {QStringLiteral("Ali"), QStringLiteral("a"), QStringLiteral("3")},
            {QStringLiteral("Camal"), QStringLiteral("c"), QStringLiteral("1")},
        };
        for (const QStringList &r : rows)
            m_db.execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME, TELEPHONE) VALUES (?, ?, ?)"),
                         {r.at(0), r.at(1), r.at(2)});
        m_db.execute(QStringLiteral("CREATE TABLE numbers (n INTEGER PRIMARY KEY, label TEXT)"));
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

    // Rows are read a batch at a time, never the whole result at once.
    void rowsArriveInBatches()
    {
        DataSource source;
        source.model()->setBatchSize(100);
        source.setDatabase(m_db);
        source.setTable(QStringLiteral("NUMBERS")); // any letter case
        source.refresh();
        QCOMPARE(source.model()->rowCount(), 100);
        QVERIFY(source.model()->canFetchMore());
        source.model()->fetchMore();
        QCOMPARE(source.model()->rowCount(), 200);
        QVERIFY(source.model()->fetchUntil(949));
        QCOMPARE(source.model()->rowCount(), 1000);
        QVERIFY(!source.model()->fetchUntil(1000));
        QVERIFY(!source.model()->canFetchMore());
        // Nulls show as empty text; the stored value stays null.
        QCOMPARE(source.model()->data(source.model()->index(6, 1)).toString(), QString());
        QVERIFY(source.model()->value(6, 1).isNull());
        QCOMPARE(source.model()->value(7, 1).toString(), QStringLiteral("n8"));
    }

    // A result still being read must not hide what was written since.
    void refreshSeesNewWrites()
    {
        engine::Database reader;
        reader.open(m_db.path(), QStringLiteral("zk"));
        DataSource source;
        source.model()->setBatchSize(10);
        source.setDatabase(reader);
        source.setQuery(QStringLiteral("select * from numbers order by n desc"));
        source.refresh();
        QVERIFY(source.model()->canFetchMore());
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

    // Each cell keeps the grid's alignment, but reads and is cut in its own
    // text's direction.
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
        QCOMPARE(option.textElideMode, Qt::ElideRight); // the text's own end
        QCOMPARE(option.displayAlignment, Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
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
        QCOMPARE(grid.rowCount(), core::QueryModel::kDefaultBatch);
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
