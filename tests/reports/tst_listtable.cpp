#include "reports/ListTable.h"
#include "reports/TableDirection.h"
#include "ReportWorld.h"
#include "support/TestMain.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <functional>

using namespace reports;

namespace {

QString table(const QString &rows, const QString &head = QStringLiteral("<thead><tr><th class=\"num\">N</th><th>Name</th></tr></thead>"),
              const QString &attributes = QStringLiteral("class=\"grid\" width=\"100%\""))
{
    return QStringLiteral("<table %1>%2\n%3</table>").arg(attributes, head, rows);
}

// Lines of the PDF text that hold `word`.
int linesWith(const QString &text, const QString &word)
{
    int n = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        n += line.contains(word);
    return n;
}

// Every table of the HTML as the rich text lays it out, in document order:
// "row ; row // next table", each row its cells from the left, "^" where a
// cell spanning rows or columns covers the place.
QString tablesAsLaidOut(const QString &html)
{
    QTextDocument doc;
    doc.setHtml(html);
    QStringList tables;
    std::function<void(QTextFrame *)> visit = [&](QTextFrame *frame) {
        for (QTextFrame *child : frame->childFrames()) {
            if (auto *t = qobject_cast<QTextTable *>(child)) {
                QStringList rows;
                for (int r = 0; r < t->rows(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < t->columns(); ++c) {
                        const QTextTableCell cell = t->cellAt(r, c);
                        cells << (cell.row() != r || cell.column() != c
                                      ? QStringLiteral("^")
                                      : doc.findBlock(cell.firstPosition()).text().trimmed());
                    }
                    rows << cells.join(QLatin1Char('|'));
                }
                tables << rows.join(QStringLiteral(" ; "));
            }
            visit(child);
        }
    };
    visit(doc.rootFrame());
    return tables.join(QStringLiteral(" // "));
}

} // namespace

// The report's own list tables: which tables it takes from the rich-text
// layout, and that long lists keep every row over their pages.
class TstListTable : public QObject {
    Q_OBJECT

private slots:
    void whichTablesAreLists_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<int>("rows"); // -1: left to the rich-text layout
        const QString row = QStringLiteral("<tr><td class=\"num\">1</td><td>a</td></tr>");
        QTest::newRow("list") << table(row + row) << 2;
        QTest::newRow("empty list") << table(QString()) << 0;
        QTest::newRow("tbody and upper case") << QStringLiteral("<TABLE class='x grid'><THEAD><TR><TH>N</TH><TH>Name</TH></TR></THEAD><TBODY>")
                                                     + row + QStringLiteral("</TBODY></TABLE>")
                                              << 1;
        QTest::newRow("no heading") << QStringLiteral("<table class=\"grid\">") + row + QStringLiteral("</table>") << -1;
        QTest::newRow("not a grid") << table(row, QStringLiteral("<thead><tr><th>N</th><th>Name</th></tr></thead>"), QStringLiteral("width=\"100%\"")) << -1;
        QTest::newRow("spanned cell") << table(QStringLiteral("<tr><td colspan=\"2\">a</td></tr>")) << -1;
        QTest::newRow("short row") << table(QStringLiteral("<tr><td>a</td></tr>")) << -1;
        QTest::newRow("picture") << table(QStringLiteral("<tr><td>1</td><td><img src=\"x\"></td></tr>")) << -1;
        QTest::newRow("nested table") << table(QStringLiteral("<tr><td>1</td><td><table><tr><td>x</td></tr></table></td></tr>")) << -1;
        QTest::newRow("text between rows") << table(row + QStringLiteral("stray") + row) << -1;
        QTest::newRow("unclosed") << table(row).chopped(8) << -1;
    }
    void whichTablesAreLists()
    {
        QFETCH(QString, html);
        QFETCH(int, rows);
        const std::optional<ListTable> t = ListTable::parse(html);
        QCOMPARE(t ? t->rowCount() : -1, rows);
    }

    // The other tables read right to left as on a right-to-left page in a
    // browser: a label written before its value stands to its right.
    void richTablesReadRightToLeft_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("laidOut");
        const auto t = [](const QString &rows) { return QStringLiteral("<table>%1</table>").arg(rows); };
        QTest::newRow("label and value") << t("<tr><th>L</th><td>V</td></tr>") << "V|L";
        QTest::newRow("two pairs") << t("<tr><th>L1</th><td>V1</td><th>L2</th><td>V2</td></tr>") << "V2|L2|V1|L1";
        QTest::newRow("column span") << t("<tr><th>A</th><td colspan=\"3\">B</td></tr><tr><td>1</td><td>2</td><td>3</td><td>4</td></tr>")
                                     << "B|^|^|A ; 4|3|2|1";
        QTest::newRow("row span") << t("<tr><td rowspan=\"2\">A</td><td>B</td><td>C</td></tr><tr><td>D</td><td>E</td></tr>")
                                  << "C|B|A ; E|D|^";
        QTest::newRow("row span in the middle") << t("<tr><td>A</td><td rowspan=2>B</td><td>C</td></tr><tr><td>D</td><td>E</td></tr>")
                                                << "C|B|A ; E|^|D";
        QTest::newRow("short row") << t("<tr><td>a</td><td>b</td><td>c</td></tr><tr><td>d</td></tr>") << "c|b|a ; ||d";
        QTest::newRow("end tags left out") << QStringLiteral("<TABLE><TR><TD>a<TD>b<TR><TH>c<TD>d</TABLE>") << "b|a ; d|c";
        QTest::newRow("sections") << t("<thead><tr><th>H1</th><th>H2</th></tr></thead><tbody><tr><td>a</td><td>b</td></tr></tbody>")
                                  << "H2|H1 ; b|a";
        QTest::newRow("comment and quoted >") << t("<tr><td title=\"x>y\">a</td><!-- <td>z</td> --><td>b</td></tr>") << "b|a";
        QTest::newRow("nested") << t("<tr><td>X<table><tr><td>i1</td><td>i2</td></tr></table></td><td>Y</td></tr>")
                                << "Y|X // i2|i1";
        QTest::newRow("table marked ltr") << QStringLiteral("<table dir=\"ltr\"><tr><td>a</td><td>b</td></tr></table>") << "a|b";
        QTest::newRow("ltr inherited, rtl again") << QStringLiteral("<table dir='ltr'><tr><td>a<table><tr><td>1</td><td>2</td></tr></table>"
                                                                    "<table dir=rtl><tr><td>3</td><td>4</td></tr></table></td><td>b</td></tr></table>")
                                                  << "a|b // 1|2 // 4|3";
        QTest::newRow("body marked ltr") << QStringLiteral("<html><body dir=\"ltr\"><table><tr><td>a</td><td>b</td></tr></table></body></html>")
                                         << "a|b";
        QTest::newRow("text around kept") << QStringLiteral("<p>x < y</p><table><tr><td>a</td><td>b</td></tr></table><p>after</p>") << "b|a";
    }
    void richTablesReadRightToLeft()
    {
        QFETCH(QString, html);
        QFETCH(QString, laidOut);
        const QString turned = rightToLeftTables(html);
        QCOMPARE(tablesAsLaidOut(turned), laidOut);
        // Nothing of the text is lost or added, only moved.
        const auto letters = [](const QString &html) {
            QTextDocument doc;
            doc.setHtml(html);
            QString text = doc.toPlainText().remove(QRegularExpression(QStringLiteral("\\s")));
            std::sort(text.begin(), text.end());
            return text;
        };
        QCOMPARE(letters(turned), letters(html));
    }

    void cellsReadAsThePageShowsThem()
    {
        const std::optional<ListTable> t = ListTable::parse(table(
            QStringLiteral("<tr><td class=\"num\">1</td><td>  A &amp; B &lt;b&gt;&#1593;&#x628;\n  C<br>second  line </td></tr>"
                           "<tr class=\"total\"><td align=\"left\"></td><td><b>sum</b> <span>x</span></td></tr>"),
            QStringLiteral("<thead><tr><th class=\"num\" width=\"10%\">N</th><th align=\"right\">Name</th></tr></thead>")));
        QVERIFY(t);
        QCOMPARE(t->heading().cells.at(0).width, QStringLiteral("10%"));
        QVERIFY(t->heading().cells.at(1).bold);
        QCOMPARE(t->heading().cells.at(1).align, Qt::AlignRight);
        const ListTable::Row &first = t->row(0);
        QCOMPARE(first.cells.at(0).align, Qt::AlignHCenter);
        QCOMPARE(first.cells.at(1).align, Qt::AlignRight);
        QCOMPARE(first.cells.at(1).text, QStringLiteral("A & B <b>عب C\nsecond line"));
        QVERIFY(!first.cells.at(1).bold && !first.total);
        const ListTable::Row &total = t->row(1);
        QVERIFY(total.total);
        QCOMPARE(total.cells.at(0).align, Qt::AlignLeft);
        QVERIFY(total.cells.at(1).bold);
        QCOMPARE(total.cells.at(1).text, QStringLiteral("sum x"));
    }

    // A list of many pages: every row once, in order, the heading at the
    // top of each page, a row longer than a page cut between its lines,
    // and the text around the tables where it belongs.
    void longListsKeepEveryRowOverTheirPages()
    {
        QString rows;
        for (int i = 1; i <= 150; ++i) {
            rows += QStringLiteral("<tr><td class=\"num\">%1</td><td>Row%2</td></tr>").arg(i).arg(i, 4, 10, QLatin1Char('0'));
            if (i == 60) {
                QString words;
                for (int w = 1; w <= 700; ++w)
                    words += QStringLiteral("w%1 ").arg(w);
                rows += QStringLiteral("<tr><td class=\"num\">long</td><td>%1</td></tr>").arg(words);
            }
        }
        const QString html = QStringLiteral("<html><body dir=\"rtl\"><h1>Before</h1>")
                             + table(rows, QStringLiteral("<thead><tr><th class=\"num\">N</th><th>Heading</th></tr></thead>"))
                             + QStringLiteral("<h2>Between</h2>")
                             + table(QStringLiteral("<tr><td>x</td><td>Second</td></tr>"))
                             + QStringLiteral("<p>After</p></body></html>");
        const ReportDocument doc(html, {}, false);
        QVERIFY(doc.pageCount() > 5);

        const QString path = QDir::temp().filePath(QStringLiteral("velm-listtable.pdf"));
        {
            QPdfWriter writer(path);
            writer.setResolution(300);
            doc.prepareDevice(writer);
            QVERIFY(doc.print(writer));
        }
        const QString text = ReportWorld::pdfToText(path);
        QFile::remove(path);
        QCOMPARE(linesWith(text, QStringLiteral("Heading")), doc.pageCount());
        int at = text.indexOf(QStringLiteral("Before"));
        QVERIFY(at >= 0);
        for (int i = 1; i <= 150; ++i) {
            const int next = text.indexOf(QStringLiteral("Row%1").arg(i, 4, 10, QLatin1Char('0')), at);
            QVERIFY2(next > at, qPrintable(QString::number(i)));
            at = next;
        }
        QSet<int> words;
        for (const QRegularExpressionMatch &m : QRegularExpression(QStringLiteral("w(\\d+)")).globalMatch(text))
            words.insert(m.captured(1).toInt());
        for (int w = 1; w <= 700; ++w)
            QVERIFY2(words.contains(w), qPrintable(QString::number(w)));
        QVERIFY(text.indexOf(QStringLiteral("Between")) > at);
        QVERIFY(text.indexOf(QStringLiteral("Second")) > text.indexOf(QStringLiteral("Between")));
        QVERIFY(text.indexOf(QStringLiteral("After")) > text.indexOf(QStringLiteral("Second")));
    }
};

VELM_TEST_MAIN(TstListTable)
#include "tst_listtable.moc"
