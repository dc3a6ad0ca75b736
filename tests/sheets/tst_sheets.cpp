#include "support/TestMain.h"

#include "sheets/SheetWriter.h"
#include "support/SheetFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(sheets::Format)

using namespace sheets;
namespace files = testsupport::sheetfiles;

// The spreadsheet files themselves, read back with other programs' readers.
class TestSheets : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // The files of a folder besides those expected there.
    static QStringList leftovers(const QString &folder, const QStringList &expected = {})
    {
        QStringList found = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : expected)
            found.removeAll(name);
        return found;
    }

private slots:
    void numbersAreThoseThatReadBackAsWritten_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        QTest::newRow("whole") << "12" << true;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("negative") << "-7" << true;
        QTest::newRow("decimal") << "3.25" << true;
        QTest::newRow("15 digits") << "123456789012345" << true;
        QTest::newRow("16 digits") << "1234567890123456" << false;
        QTest::newRow("12 digits with a fraction") << "12345678901.5" << false;
        QTest::newRow("leading zero (a phone)") << "0501234567" << false;
        QTest::newRow("trailing zero of a fraction") << "1.50" << false;
        QTest::newRow("minus zero") << "-0" << false;
        QTest::newRow("plus sign") << "+5" << false;
        QTest::newRow("exponent") << "1e3" << false;
        QTest::newRow("blank around") << " 12" << false;
        QTest::newRow("a date as shown") << "1427/05/09" << false;
        QTest::newRow("Arabic-Indic digits") << "١٢" << false;
        QTest::newRow("dot alone") << "5." << false;
        QTest::newRow("empty") << "" << false;
    }
    void numbersAreThoseThatReadBackAsWritten()
    {
        QFETCH(QString, text);
        QFETCH(bool, number);
        double value = -1;
        QCOMPARE(readsAsNumber(text, &value), number);
        if (number)
            QCOMPARE(value, text.toDouble());
    }

    void formulasAreRecognised_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("formula");
        QTest::newRow("equals") << "=1+2" << true;
        QTest::newRow("at") << "@SUM(A1)" << true;
        QTest::newRow("plus text") << "+cmd|' /C calc'!A0" << true;
        QTest::newRow("minus text") << "-2+3" << true;
        QTest::newRow("tab") << "\tx" << true;
        QTest::newRow("negative number") << "-12" << false;
        QTest::newRow("Arabic") << "خالد" << false;
        QTest::newRow("equals later") << "a=b" << false;
    }
    void formulasAreRecognised()
    {
        QFETCH(QString, text);
        QFETCH(bool, formula);
        QCOMPARE(looksLikeFormula(text), formula);
    }

    // Arabic headings and texts, numbers as numbers, right to left, widths.
    void xlsxReadsBackWithArabicRightToLeftAndNumbers()
    {
        const QString file = path(QStringLiteral("list.xlsx"));
        auto out = createWriter(Format::Xlsx, file);
        out->beginSheet(QStringLiteral("المهتدون"), {{QStringLiteral("رقم Tamrel"), 90},
                                                    {QStringLiteral("الاسم الجديد"), 210},
                                                    {QStringLiteral("الهاتف"), 0}});
        out->addRow({QStringLiteral("12"), QStringLiteral("خالد عبد الله"), QStringLiteral("0501234567")});
        out->addRow({QStringLiteral("112"), QStringLiteral(" "), QStringLiteral("123456789012345")});
        out->addRow({QStringLiteral("0012"), QStringLiteral("Émile, \"the\" <first>\nline two"), QString()});
        out->addRow({QStringLiteral("7"), QStringLiteral("a_x0041_b") + QChar(1)});
        QVERIFY2(out->finish(), qPrintable(out->errorText()));
        QCOMPARE(out->rowsWritten(), 4);
        QCOMPARE(leftovers(m_dir.path(), {QStringLiteral("list.xlsx")}), QStringList());

        const QList<QStringList> rows = files::readXlsx(file);
        QVERIFY2(files::errorText().isEmpty(), qPrintable(files::errorText()));
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(0), (QStringList{QStringLiteral("رقم Tamrel"), QStringLiteral("الاسم الجديد"), QStringLiteral("الهاتف")}));
        QCOMPARE(rows.at(1), (QStringList{QStringLiteral("12"), QStringLiteral("خالد عبد الله"), QStringLiteral("0501234567")}));
        QCOMPARE(rows.at(2).value(0), QStringLiteral("112"));
        QCOMPARE(rows.at(2).value(1), QString()); // the office's one blank is an empty cell
        QCOMPARE(rows.at(2).value(2), QStringLiteral("123456789012345"));
        QCOMPARE(rows.at(3).value(0), QStringLiteral("0012"));
        QCOMPARE(rows.at(3).value(1), QStringLiteral("Émile, \"the\" <first>\nline two"));

        QCOMPARE(files::sheetNames(file), QStringList{QStringLiteral("المهتدون")});
        const QString xml = files::xlsxPart(file, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(xml.contains(QLatin1String("rightToLeft=\"1\"")));
        // Numbers carry no text type; the phone and the padded number do.
        QVERIFY(xml.contains(QRegularExpression(QStringLiteral("<c r=\"A2\"[^>]*><v>12</v>"))));
        QVERIFY(!xml.contains(QRegularExpression(QStringLiteral("<c r=\"A2\"[^>]*t=\"inlineStr\""))));
        QVERIFY(xml.contains(QRegularExpression(QStringLiteral("<c r=\"C2\"[^>]*t=\"inlineStr\""))));
        QVERIFY(xml.contains(QRegularExpression(QStringLiteral("<c r=\"A4\"[^>]*t=\"inlineStr\""))));
        // Widths: the second column given more room than the first.
        const QRegularExpression col(QStringLiteral("<col min=\"(\\d+)\" max=\"\\d+\" width=\"([0-9.]+)\""));
        QMap<int, double> widths;
        for (auto it = col.globalMatch(xml); it.hasNext();) {
            const auto m = it.next();
            widths[m.captured(1).toInt()] = m.captured(2).toDouble();
        }
        QCOMPARE(widths.size(), 3);
        QVERIFY(widths.value(2) > 2 * widths.value(1));
        QVERIFY(xml.contains(QLatin1String("<autoFilter ref=\"A1:C5\"")));
        // What XML cannot hold, and what would read as such an escape, in Excel's own escapes.
        QVERIFY(xml.contains(QLatin1String("<t>a_x005F_x0041_b_x0001_</t>")));
        QVERIFY(files::zipIsWhole(file));
    }

    // More rows than a sheet holds go on in a second sheet with the same
    // headings; a cell longer than a sheet's cell is cut and counted.
    void xlsxSheetsGoOnAndLongCellsAreCut_data()
    {
        QTest::addColumn<bool>("threaded");
        QTest::newRow("direct") << false;
        QTest::newRow("on a thread of its own, large") << true;
    }
    void xlsxSheetsGoOnAndLongCellsAreCut()
    {
        QFETCH(bool, threaded);
        const QString file = path(QStringLiteral("rows.xlsx"));
        Options options;
        options.rowsPerSheet = 3;
        options.expectedCells = threaded ? 100'000'000 : 0; // the 64-bit zip records too
        auto out = createWriter(Format::Xlsx, file, options);
        if (threaded)
            out = onThreadOfItsOwn(std::move(out));
        out->beginSheet(QStringLiteral("a/b:c?[long name of more than thirty-one characters]"), {{QStringLiteral("n"), 0}});
        for (int i = 1; i <= 7; ++i)
            out->addRow({QString::number(i)});
        out->addRow({QString(kXlsxCellChars + 10, QLatin1Char('x'))});
        QVERIFY2(out->finish(), qPrintable(out->errorText()));
        QCOMPARE(out->cutCells(), 1);
        const QStringList names = files::sheetNames(file);
        QCOMPARE(names.size(), 3);
        for (const QString &name : names) {
            QVERIFY2(name.size() <= 31, qPrintable(name));
            QVERIFY(!name.contains(QRegularExpression(QStringLiteral("[\\[\\]:*?/\\\\]"))));
        }
        QVERIFY(names.at(1).endsWith(QLatin1String(" (2)")));
        QStringList numbers;
        for (int sheet = 1; sheet <= 3; ++sheet) {
            const QList<QStringList> rows = files::readXlsx(file, sheet);
            QCOMPARE(rows.value(0), QStringList{QStringLiteral("n")});
            for (int r = 1; r < rows.size(); ++r)
                numbers << rows.at(r).value(0);
        }
        QCOMPARE(numbers.size(), 8);
        QCOMPARE(numbers.mid(0, 7), (QStringList{"1", "2", "3", "4", "5", "6", "7"}));
        // xlsx2csv gives only the end of a long text: the XML tells its length.
        const QString xml = files::xlsxPart(file, QStringLiteral("xl/worksheets/sheet3.xml"));
        const QRegularExpressionMatch cut = QRegularExpression(QStringLiteral("<t>(x+)</t>")).match(xml);
        QVERIFY(cut.hasMatch());
        QCOMPARE(cut.capturedLength(1), kXlsxCellChars);
        QVERIFY(files::zipIsWhole(file));
        QCOMPARE(out->rowsWritten(), 8);
    }

    void csvHasByteOrderMarkQuotesAndGuardedFormulas()
    {
        const QString file = path(QStringLiteral("list.csv"));
        auto out = createWriter(Format::Csv, file);
        out->beginSheet(QStringLiteral("ignored"), {{QStringLiteral("رقم Tamrel"), 0}, {QStringLiteral("ملاحظات"), 0}});
        out->addRow({QStringLiteral("12"), QStringLiteral("خالد, \"أبو محمد\"\nسطر ثان")});
        out->addRow({QStringLiteral("-5"), QStringLiteral("=HYPERLINK(\"x\")")});
        out->beginSheet(QString(), {{QStringLiteral("second"), 0}});
        out->addRow({QStringLiteral(" ")});
        QVERIFY2(out->finish(), qPrintable(out->errorText()));

        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains("\r\n"));
        bool bom = false;
        const QList<QStringList> rows = files::readCsv(file, &bom);
        QVERIFY(bom);
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows.at(0), (QStringList{QStringLiteral("رقم Tamrel"), QStringLiteral("ملاحظات")}));
        QCOMPARE(rows.at(1), (QStringList{QStringLiteral("12"), QStringLiteral("خالد, \"أبو محمد\"\nسطر ثان")}));
        QCOMPARE(rows.at(2), (QStringList{QStringLiteral("-5"), QStringLiteral("'=HYPERLINK(\"x\")")}));
        QCOMPARE(rows.at(3), QStringList());
        QCOMPARE(rows.at(4), QStringList{QStringLiteral("second")});
        QCOMPARE(rows.at(5), QStringList{QStringLiteral(" ")});

        // A data dump keeps every value as it is.
        Options exact;
        exact.guardFormulas = false;
        auto dump = createWriter(Format::Csv, file, exact);
        dump->beginSheet(QString(), {{QStringLiteral("v"), 0}});
        dump->addRow({QStringLiteral("=1+2")});
        QVERIFY(dump->finish());
        QCOMPARE(files::readCsv(file).value(1), QStringList{QStringLiteral("=1+2")});
    }

    // A file that cannot be written, or an export given up, leaves what was
    // under the name as it was and nothing beside it.
    void failedOrDiscardedFilesLeaveNothing_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<bool>("threaded");
        QTest::newRow("xlsx") << Format::Xlsx << false;
        QTest::newRow("csv") << Format::Csv << false;
        QTest::newRow("xlsx on a thread") << Format::Xlsx << true;
        QTest::newRow("csv on a thread") << Format::Csv << true;
    }
    void failedOrDiscardedFilesLeaveNothing()
    {
        QFETCH(Format, format);
        QFETCH(bool, threaded);
        const auto writer = [threaded](Format f, const QString &p) {
            auto w = createWriter(f, p);
            return threaded ? onThreadOfItsOwn(std::move(w)) : std::move(w);
        };
        const QString missing = path(QStringLiteral("no-such-folder/list.") + suffixOf(format));
        auto out = writer(format, missing);
        out->beginSheet(QStringLiteral("x"), {{QStringLiteral("a"), 0}});
        out->addRow({QStringLiteral("1")});
        QVERIFY(!out->finish());
        QVERIFY(!out->errorText().isEmpty());
        QVERIFY(!QFile::exists(missing));

        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("kept.") + suffixOf(format));
        {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the office's own file");
        }
        {
            auto given = writer(format, file);
            given->beginSheet(QStringLiteral("x"), {{QStringLiteral("a"), 0}});
            for (int i = 0; i < 1000; ++i)
                given->addRow({QString::number(i)});
            given->discard();
        }
        QFile old(file);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the office's own file"));
        QCOMPARE(leftovers(folder.path(), {QFileInfo(file).fileName()}), QStringList());
        QCOMPARE(formatOfPath(file), std::optional<Format>(format));
    }
};

VELM_TEST_MAIN(TestSheets)
#include "tst_sheets.moc"
