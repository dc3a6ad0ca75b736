#include "education/frmForms.h"

#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QFile>

#include <memory>

using education::frmForms;

namespace {

// Forms F1 (three files, the second typed with a leading blank) and F2
// (only its first file), the files present in the forms folder.
struct Fixture : testsupport::ScreenFixture<frmForms> {
    Fixture()
    {
        addForm(QStringLiteral("F1"), QStringLiteral("a.pdf"), QStringLiteral(" b.doc"),
                QStringLiteral("c d.xls"));
        addForm(QStringLiteral("F2"), QStringLiteral("a.pdf"), QString(), QString());
        for (const char *name : {"a.pdf", " b.doc", "c d.xls", "tool.sh"}) {
            QFile file(formsDir() + QLatin1Char('/') + QLatin1String(name));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", name);
        }
        screen = std::make_unique<frmForms>(ctx);
        screen->show();
    }
    void addForm(const QString &no, const QString &f1, const QString &f2, const QString &f3)
    {
        store.db().execute(QStringLiteral("INSERT INTO forms (form_no, description, file_1, file_2, "
                                          "file_3) VALUES (?, ?, ?, ?, ?)"),
                           {no, QStringLiteral("استمارة"), f1, f2, f3});
    }
    QString formsDir() const { return store.config().formsDir; }
    void show(const QString &no)
    {
        box("txt_form_no")->setText(no);
        press("find");
    }
};

} // namespace

class TstFrmForms : public QObject {
    Q_OBJECT

private slots:
    void eachButtonOpensItsOwnFileAsTyped()
    {
        Fixture f;
        f.show(QStringLiteral("F1"));
        QCOMPARE(f.box("txt_file_2")->text(), QStringLiteral(" b.doc"));
        const QString folder = f.formsDir() + QStringLiteral("//");
        const QStringList files = {folder + QStringLiteral("a.pdf"), folder + QStringLiteral(" b.doc"),
                                   folder + QStringLiteral("c d.xls")};
        for (const char *button : {"Command1", "Command2", "Command3"})
            f.click(button);
        QCOMPARE(f.files.paths(), files);
        f.files.clear();
        for (const char *box : {"txt_file_1", "txt_file_2", "txt_file_3"})
            QTest::mouseDClick(f.box(box), Qt::LeftButton);
        QCOMPARE(f.files.paths(), files);
        QCOMPARE(f.messages.shownCount(), 0);

        // Empty boxes hand over the folder itself, behind its two separators.
        f.show(QStringLiteral("F2"));
        f.files.clear();
        for (const char *button : {"Command1", "Command2", "Command3"})
            f.click(button);
        QCOMPARE(f.files.paths(), QStringList({files.at(0), folder, folder}));
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void refusedNamesAreReportedAndPrintIsInert()
    {
        Fixture f;
        f.show(QStringLiteral("F2"));
        const auto open = [&f](const QString &name) {
            f.box("txt_file_1")->setText(name);
            f.files.clear();
            f.press("Command1");
            QCOMPARE(f.messages.shownCount(), 1);
            QVERIFY2(f.messages.lastShown().contains(name), qPrintable(f.messages.lastShown()));
        };
        open(QStringLiteral("../data/velm.mdb"));
        QCOMPARE(f.files.openCount(), 0);
        open(QStringLiteral("tool.sh"));
        QCOMPARE(f.files.paths(), QStringList{QFileInfo(f.formsDir()).canonicalFilePath()});
        f.messages.clear();
        f.click("cmd_print");
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void refreshAndAddRequeryUpdateAndDeleteDoNot()
    {
        Fixture f;
        QCOMPARE(f.grid()->rowCount(), 2);
        f.press("clear");
        f.box("txt_form_no")->setText(QStringLiteral("F3"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.grid()->rowCount(), 3);
        QCOMPARE(f.scalar(QStringLiteral("SELECT file_1 FROM forms WHERE form_no = 'F3'")).toString(),
                 QString());

        f.show(QStringLiteral("F1"));
        f.box("txt_description")->setText(QStringLiteral("جديد"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.grid()->value(0, 1), QStringLiteral("استمارة"));

        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QCOMPARE(f.rowCount(QStringLiteral("forms")), 2);
        QCOMPARE(f.grid()->rowCount(), 3);
        f.press("list");
        QCOMPARE(f.grid()->rowCount(), 2);
        f.box("txt_form_no")->setText(QStringLiteral("F4"));
        f.press("add");
        f.store.db().execute(QStringLiteral("DELETE FROM forms WHERE form_no = 'F4'"));
        QCOMPARE(f.grid()->rowCount(), 3);
        f.press("refresh");
        QCOMPARE(f.grid()->rowCount(), 2);
    }

    void chosenFromTheListAndFieldSizes()
    {
        Fixture f;
        f.addForm(QString(), QStringLiteral("blank.pdf"), QString(), QString());
        f.press("list");
        f.press("refresh");
        const auto rowOf = [&f](const QString &no) {
            for (int r = 0; r < f.grid()->rowCount(); ++r) {
                if (f.grid()->value(r, 0) == no)
                    return r;
            }
            return -1;
        };
        QVERIFY(f.grid()->setCurrentRow(rowOf(QStringLiteral("F2"))));
        f.press("list_ok");
        QCOMPARE(f.box("txt_form_no")->text(), QStringLiteral("F2"));
        QCOMPARE(f.box("txt_file_1")->text(), QStringLiteral("a.pdf"));

        // The form without a number: not by list_ok, but by a double click.
        const int blank = rowOf(QString());
        QVERIFY(f.grid()->setCurrentRow(blank));
        f.press("list_ok");
        QCOMPARE(f.box("txt_form_no")->text(), QStringLiteral("F2"));
        testsupport::doubleClickRow(f.grid(), blank);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("txt_file_1")->text(), QStringLiteral("blank.pdf"));

        const std::pair<const char *, int> limits[] = {{"txt_form_no", 20}, {"txt_description", 50},
                                                       {"txt_file_1", 30}, {"txt_file_2", 30},
                                                       {"txt_file_3", 30}};
        for (const auto &[name, limit] : limits)
            QCOMPARE(f.box(name)->maxLength(), limit);
    }
};

VELM_TEST_MAIN(TstFrmForms)
#include "tst_frmForms.moc"
