#include "education/frmCourseMaterial.h"

#include "screens/DocumentFiles.h"
#include "screens/LookupCombo.h"
#include "data/Schema.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"
#include "screens/TextArea.h"

#include <QDir>
#include <QFile>
#include <QFrame>

#include <memory>

using education::frmCourseMaterial;

namespace {

struct Fixture : testsupport::ScreenFixture<frmCourseMaterial> {
    void open()
    {
        screen = std::make_unique<frmCourseMaterial>(ctx);
        screen->show();
    }
    void addMaterial(const QString &language, const QString &course, const QString &file = {},
                     const QString &description = QStringLiteral("درس"))
    {
        store.db().execute(QStringLiteral("INSERT INTO CourseMaterial (language, course_no, "
                                          "description, file_1, unit) VALUES (?, ?, ?, ?, ?)"),
                           {language, course, description, file, QStringLiteral("1")});
    }
    QString materialDir() const { return store.config().materialDir; }
    core::LookupCombo *language() const { return find<core::LookupCombo>(QStringLiteral("dbc_language")); }
    void choose(const QString &text) const { language()->setText(text); }
    // Column col of every row the grid lists.
    QStringList listed(int col) const
    {
        QStringList values;
        for (int r = 0; r < grid()->rowCount(); ++r)
            values << grid()->value(r, col);
        return values;
    }
    int rowOf(const QString &language, const QString &course) const
    {
        for (int r = 0; r < grid()->rowCount(); ++r) {
            if (grid()->value(r, 0) == language && grid()->value(r, 1) == course)
                return r;
        }
        return -1;
    }
};

const QString kEnglish = QStringLiteral("English");
const QString kFrench = QStringLiteral("Français");
const QString kQuoted = QStringLiteral("Eng\"lish");

} // namespace

class TstFrmCourseMaterial : public QObject {
    Q_OBJECT

private slots:
    void languageFoldersAreMadeOnceAndKept()
    {
        Fixture f;
        const QStringList languages = core::schema::starterCodes(1);
        QVERIFY(languages.size() >= 2);
        // An entry that names a place outside the material folder makes nothing there.
        f.store.db().execute(QStringLiteral("INSERT INTO category1 (description) VALUES (?)"),
                             {QStringLiteral("../خارج")});
        // A plain file where a folder would go cannot become one; it stays.
        QFile blocker(f.materialDir() + QLatin1Char('/') + languages.at(1));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        f.open();
        QCOMPARE(f.messages.shownCount(), 0);
        QVERIFY(QFileInfo(f.materialDir() + QLatin1Char('/') + languages.at(0)).isDir());
        QVERIFY(QFileInfo(blocker.fileName()).isFile());
        for (const QString &entry : languages.mid(2))
            QVERIFY2(QFileInfo(f.materialDir() + QLatin1Char('/') + entry).isDir(), qPrintable(entry));
        QVERIFY(!QFileInfo::exists(f.folder.path(QStringLiteral("خارج"))));

        const QString kept = f.materialDir() + QLatin1Char('/') + languages.at(0) + QStringLiteral("/kept.pdf");
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QStringList before = QDir(f.materialDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        f.screen.reset();
        f.open();
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(QDir(f.materialDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(QFileInfo::exists(kept));
        QCOMPARE(f.language()->count(), int(languages.size()) + 1);
    }

    void theListFollowsTheChosenLanguage()
    {
        Fixture f;
        f.addMaterial(kEnglish, QStringLiteral("1"));
        f.addMaterial(kEnglish, QStringLiteral("2"));
        f.addMaterial(kFrench, QStringLiteral("1"));
        f.addMaterial(kQuoted, QStringLiteral("1"));
        f.addMaterial(QString(), QStringLiteral("بلا لغة"));
        f.open();
        // Nothing is chosen yet: only material without a language is listed.
        QCOMPARE(f.listed(1), QStringList{QStringLiteral("بلا لغة")});

        f.choose(kEnglish);
        QCOMPARE(f.listed(0), QStringList({kEnglish, kEnglish}));
        // A heading click sorts the chosen language's rows, still of that language.
        f.grid()->setSortModifiers(Qt::ShiftModifier);
        f.grid()->sortByHeading(1);
        QCOMPARE(f.listed(1), QStringList({QStringLiteral("2"), QStringLiteral("1")}));
        f.choose(kQuoted);
        QCOMPARE(f.listed(0), QStringList{kQuoted});
        f.choose(kFrench);
        QCOMPARE(f.listed(0), QStringList{kFrench});
        QCOMPARE(f.messages.shownCount(), 0);

        f.press("list");
        QVERIFY(f.find<QFrame>(QStringLiteral("Frame1"))->isVisible());
        QCOMPARE(f.grid()->rowCount(), 5);
        QCOMPARE(f.grid()->columnField(0), QStringLiteral("language"));
        QCOMPARE(f.grid()->columnField(1), QStringLiteral("course_no"));
        f.press("refresh");
        QCOMPARE(f.listed(0), QStringList{kFrench});
    }

    void addRequeriesButUpdateAndDeleteDoNot()
    {
        Fixture f;
        f.addMaterial(kEnglish, QStringLiteral("1"), QStringLiteral("a.pdf"), QStringLiteral("قديم"));
        f.open();
        f.choose(kEnglish);
        f.box("txt_course_no")->setText(QStringLiteral("Level 2"));
        f.find<core::TextArea>(QStringLiteral("txt_description"))->setPlainText(QStringLiteral("سطر\nسطر ثان"));
        f.box("txt_unit")->setText(QStringLiteral("3"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.listed(1), QStringList({QStringLiteral("1"), QStringLiteral("Level 2")}));
        QCOMPARE(f.scalar(QStringLiteral("SELECT description FROM CourseMaterial WHERE course_no = ?"),
                          {QStringLiteral("Level 2")}).toString(), QStringLiteral("سطر\nسطر ثان"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DUPLICATE});

        f.box("txt_course_no")->setText(QStringLiteral("1"));
        f.press("find");
        f.find<core::TextArea>(QStringLiteral("txt_description"))->setPlainText(QStringLiteral("جديد"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.grid()->value(f.rowOf(kEnglish, QStringLiteral("1")), 2), QStringLiteral("قديم"));

        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QCOMPARE(f.rowCount(QStringLiteral("CourseMaterial")), 1);
        QCOMPARE(f.grid()->rowCount(), 2);
        f.press("refresh");
        QCOMPARE(f.listed(1), QStringList{QStringLiteral("Level 2")});
    }

    void chosenFromTheList()
    {
        Fixture f;
        f.addMaterial(kEnglish, QStringLiteral("1"), QStringLiteral("e.pdf"));
        f.addMaterial(kFrench, QStringLiteral("1"), QStringLiteral("f.pdf"));
        f.addMaterial(QString(), QStringLiteral("x"), QStringLiteral("none.pdf"));
        f.open();
        f.press("list");
        QVERIFY(f.grid()->setCurrentRow(f.rowOf(kFrench, QStringLiteral("1"))));
        f.press("list_ok");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.language()->text(), kFrench);
        QCOMPARE(f.box("txt_course_no")->text(), QStringLiteral("1"));
        QCOMPARE(f.box("txt_file_1")->text(), QStringLiteral("f.pdf"));

        // A row without a language is not taken by list_ok, but by a double click.
        f.press("list");
        QVERIFY(f.grid()->setCurrentRow(f.rowOf(QString(), QStringLiteral("x"))));
        f.press("list_ok");
        QCOMPARE(f.language()->text(), kFrench);
        testsupport::doubleClickRow(f.grid(), f.rowOf(QString(), QStringLiteral("x")));
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("txt_course_no")->text(), QStringLiteral("x"));
        QCOMPARE(f.box("txt_file_1")->text(), QStringLiteral("none.pdf"));
    }

    void openingTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("opened"); // under the language folder; empty: nothing
        QTest::addColumn<QString>("message"); // first line of the message; empty: none
        const auto firstLine = [](const QString &text) { return text.section('\n', 0, 0); };
        QTest::newRow("trimmed") << QStringLiteral("  lesson 1.pdf  ") << QStringLiteral("/lesson 1.pdf")
                                 << QString();
        QTest::newRow("outside") << QStringLiteral("../../db_path") << QString()
                                 << firstLine(core::kDocOutsideFolder);
        QTest::newRow("script") << QStringLiteral("setup.sh") << QStringLiteral("(folder)")
                                << firstLine(core::kDocProgram);
    }
    void openingTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        Fixture f;
        f.addMaterial(kEnglish, QStringLiteral("1"), name);
        f.open();
        const QString folder = f.materialDir() + QLatin1Char('/') + kEnglish;
        QVERIFY(QDir().mkpath(folder));
        for (const char *file : {"lesson 1.pdf", "setup.sh"}) {
            QFile doc(folder + QLatin1Char('/') + QLatin1String(file));
            QVERIFY(doc.open(QIODevice::WriteOnly));
        }
        f.choose(kEnglish);
        f.box("txt_course_no")->setText(QStringLiteral("1"));
        f.press("find");
        QCOMPARE(f.box("txt_file_1")->text(), name);
        QCOMPARE(f.messages.shownCount(), 0);

        const QString expected = opened == QStringLiteral("(folder)") ? QFileInfo(folder).canonicalFilePath()
                                 : opened.isEmpty()                   ? QString()
                                                                      : folder + opened;
        f.press("open_file");
        QTest::mouseDClick(f.box("txt_file_1"), Qt::LeftButton);
        QCOMPARE(f.files.paths(), expected.isEmpty() ? QStringList() : QStringList({expected, expected}));
        if (message.isEmpty()) {
            QCOMPARE(f.messages.shownCount(), 0);
        } else {
            QCOMPARE(f.messages.shownCount(), 2);
            QVERIFY(f.messages.lastShown().startsWith(message));
            QVERIFY(f.messages.lastShown().contains(name.trimmed()));
        }
        QCOMPARE(f.rowCount(QStringLiteral("CourseMaterial")), 1);
    }

    void printDoesNothingAndBoxesHonourTheFieldSizes()
    {
        Fixture f;
        f.open();
        f.box("txt_file_1")->setText(QStringLiteral("a.pdf"));
        f.press("cmd_print");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.files.openCount(), 0);
        QCOMPARE(f.box("txt_file_1")->text(), QStringLiteral("a.pdf"));

        QCOMPARE(f.language()->lineEdit()->maxLength(), 50);
        QCOMPARE(f.box("txt_course_no")->maxLength(), 20);
        QCOMPARE(f.box("txt_file_1")->maxLength(), 30);
        QCOMPARE(f.box("txt_unit")->maxLength(), 10);
        auto *description = f.find<core::TextArea>(QStringLiteral("txt_description"));
        description->setPlainText(QString(300, QLatin1Char('a')));
        QCOMPARE(description->toPlainText().size(), 255);
        // Typing at the start beyond the limit takes nothing of what stood there.
        description->moveCursor(QTextCursor::Start);
        QTest::keyClicks(description, QStringLiteral("bb"));
        QCOMPARE(description->toPlainText(), QString(255, QLatin1Char('a')));
        description->setPlainText(QStringLiteral("abc"));
        description->moveCursor(QTextCursor::Start);
        description->insertPlainText(QString(260, QLatin1Char('x')));
        QCOMPARE(description->toPlainText(), QString(252, QLatin1Char('x')) + QStringLiteral("abc"));
    }
};

VELM_TEST_MAIN(TstFrmCourseMaterial)
#include "tst_frmCourseMaterial.moc"
