#include "support/TestMain.h"

#include "screens/CmnSub.h"
#include "support/FakeServices.h"
#include "data/Connections.h"
#include "data/OpenDb.h"
#include "support/TempDataFolder.h"
#include "engine/TableCursor.h"

#include <tuple>

using core::CmnSub;

namespace {

// A screen without widgets over one table: the key and the fields are
// plain values; what DATATOTEXT shows (the field shownField) is recorded.
class FakeForm : public core::RecordForm {
public:
    explicit FakeForm(core::CursorSlot &slot) : m_slot(slot) {}

    void DATATOTEXT() override { shown.append(recordTable().value(shownField).toString()); }
    void texttodata() override
    {
        if (throwInTextToData)
            throw engine::EngineError(engine::ErrFieldTooSmall, QStringLiteral("too long"));
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            recordTable().setValue(it.key(), it.value());
    }
    void SETINDEX() override { recordTable().setIndex(QStringLiteral("PRIMARYKEY")); }
    engine::TableCursor &recordTable() override { return m_slot.cursor(); }

    QString shownField = QStringLiteral("NAME");
    QStringList shown;
    QVariantMap fields;
    bool throwInTextToData = false;

private:
    core::CursorSlot &m_slot;
};

using Key = core::RecordKey;

QString trimmed(const QString &s)
{
    return s.trimmed();
}

} // namespace

class TestCmnSub : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDataFolder> m_folder;
    core::DataStore *m_store = nullptr;
    testsupport::RecordingMessageService m_messages;
    std::unique_ptr<CmnSub> m_cmn;
    std::unique_ptr<FakeForm> m_form;

    engine::Database &db() { return m_store->db(); }

    void addWitness(const QString &name, const QString &phone = QStringLiteral(" "))
    {
        db().execute(QStringLiteral("INSERT INTO witnesses (NAME, TELEPHONE) VALUES (?, ?)"),
                     {name, phone});
    }
    qint64 witnessCount() { return db().scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(); }
    QVariant phoneOf(const QString &name)
    {
        return db().scalar(QStringLiteral("SELECT TELEPHONE FROM witnesses WHERE NAME = ?"), {name});
    }

    // Opens the witnesses cursor as a screen button does.
    core::CursorSlot &openWitnesses()
    {
        core::CursorSlot &slot = m_store->slot(QStringLiteral("witnesses"));
        slot.open();
        return slot;
    }

    QStringList shownTrimmed() const
    {
        QStringList out;
        for (const QString &s : m_messages.shown())
            out << s.trimmed();
        return out;
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<testsupport::TempDataFolder>();
        m_store = &m_folder->openStore();
        m_messages.clear();
        m_messages.clearAnswers();
        m_messages.setDefaultAnswer(false);
        m_cmn = std::make_unique<CmnSub>(*m_store, m_messages);
        m_form = std::make_unique<FakeForm>(m_store->slot(QStringLiteral("witnesses")));
    }

    void cleanup()
    {
        m_form.reset();
        m_cmn.reset();
        m_store = nullptr;
        m_folder.reset();
    }

    void isNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        QTest::newRow("digits") << "12" << true;
        QTest::newRow("blanks around") << "  12 " << true;
        QTest::newRow("signed decimal") << "-3.5" << true;
        QTest::newRow("leading point") << ".5" << true;
        QTest::newRow("plus") << "+7" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("one blank") << " " << false;
        QTest::newRow("letters") << "12a" << false;
        QTest::newRow("two points") << "1.2.3" << false;
        QTest::newRow("inner blank") << "1 2" << false;
        QTest::newRow("sign only") << "-" << false;
        QTest::newRow("arabic digits") << QStringLiteral("١٢") << false;
    }
    void isNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, number);
        QCOMPARE(core::isNumber(text), number);
    }

    void checkMessageHoldsSixtyCharacters()
    {
        const core::CheckResult required = core::CheckResult::failed(m_cmn->msgs.MSG_REQUIRED);
        QVERIFY(!required.valid);
        QCOMPARE(required.message, m_cmn->msgs.MSG_REQUIRED); // as the table holds it
        QCOMPARE(core::CheckResult::failed(QString(80, QLatin1Char('x'))).message, QString(60, QLatin1Char('x')));
        QVERIFY(core::CheckResult().valid);
    }

    void checkField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("required");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<int>("failure"); // 0 valid, 1 MSG_REQUIRED, 2 MSG_INVALID
        QTest::newRow("free empty") << "" << false << false << 0;
        QTest::newRow("free blank") << " " << false << false << 0;
        QTest::newRow("free text") << "x" << false << false << 0;
        QTest::newRow("required empty") << "" << true << false << 1;
        QTest::newRow("required one blank") << " " << true << false << 1;
        QTest::newRow("required two blanks") << "  " << true << false << 0;
        QTest::newRow("required text") << "Ali" << true << false << 0;
        QTest::newRow("numeric empty") << "" << false << true << 2;
        QTest::newRow("numeric blank") << " " << false << true << 2;
        QTest::newRow("numeric letters") << "12a" << false << true << 2;
        QTest::newRow("numeric with blanks") << " 42 " << false << true << 0;
        QTest::newRow("both, empty: required first") << "" << true << true << 1;
        QTest::newRow("both, blank: required first") << " " << true << true << 1;
        QTest::newRow("both, letters") << "abc" << true << true << 2;
        QTest::newRow("both, number") << "-3.5" << true << true << 0;
    }
    void checkField()
    {
        QFETCH(QString, text);
        QFETCH(bool, required);
        QFETCH(bool, numeric);
        QFETCH(int, failure);
        const core::CheckResult result = m_cmn->CHECKFIELD(text, required, numeric);
        QCOMPARE(result.valid, failure == 0);
        const QString expected[] = {QString(), m_cmn->msgs.MSG_REQUIRED, m_cmn->msgs.MSG_INVALID};
        QCOMPARE(result.message, expected[failure]);
        QCOMPARE(m_messages.shownCount(), 0); // the caller decides what to show
    }

    // A key of two parts handed as values finds its record: no control and
    // no state of the procedures holds the key.
    void keyOfValuesFindsTheRecord_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("shown");
        QTest::newRow("second of a language") << Key{"English", "2"} << true << "Prayer";
        QTest::newRow("other language") << Key{"Urdu", "1"} << true << "Basics";
        QTest::newRow("number missing") << Key{"English", "3"} << false << "Intro";
        QTest::newRow("parts swapped") << Key{"1", "English"} << false << "Intro";
    }
    void keyOfValuesFindsTheRecord()
    {
        QFETCH(Key, key);
        QFETCH(bool, found);
        QFETCH(QString, shown);
        for (const auto &[language, number, description] :
             {std::tuple{"Urdu", "1", "Basics"}, std::tuple{"English", "2", "Prayer"}, std::tuple{"English", "1", "Intro"}})
            db().execute(QStringLiteral("INSERT INTO CourseMaterial (language, course_no, description) VALUES (?, ?, ?)"),
                         {language, number, description});
        core::CursorSlot &slot = m_store->slot(QStringLiteral("CourseMaterial"));
        slot.open();
        FakeForm catalogue(slot);
        catalogue.shownField = QStringLiteral("description");

        QCOMPARE(m_cmn->FINDREC(catalogue, key), found);
        QCOMPARE(catalogue.shown, QStringList{shown});
        QCOMPARE(shownTrimmed(), found ? QStringList() : QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        // The same values again, for the next and previous moves.
        QVERIFY(m_cmn->SEEKREC(catalogue, key) == found);
        slot.close();
    }

    void findShowsTheRecordOrTheFirst()
    {
        addWitness(QStringLiteral("Bashir"));
        addWitness(QStringLiteral("ahmad"));
        addWitness(QStringLiteral("Camal"));
        openWitnesses();

        QVERIFY(m_cmn->FINDREC(*m_form, {QStringLiteral("BASHIR")})); // letter case is ignored
        QCOMPARE(m_form->shown, QStringList{QStringLiteral("Bashir")});
        QCOMPARE(m_messages.shownCount(), 0);

        QVERIFY(!m_cmn->FINDREC(*m_form, {QStringLiteral("Zaid")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_form->shown.last(), QStringLiteral("ahmad")); // first in key order
    }

    void emptyTableIsEndOfFile()
    {
        openWitnesses();
        QVERIFY(!m_cmn->FINDREC(*m_form, {QStringLiteral("x")}));
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        m_messages.clear();
        QVERIFY(!m_cmn->GOFIRST(*m_form));
        QVERIFY(!m_cmn->GOLAST(*m_form));
        QCOMPARE(shownTrimmed(), QStringList(2, m_cmn->msgs.MSG_EOF.trimmed()));
        QVERIFY(m_form->shown.isEmpty());
        // Nothing to move from: no further message.
        m_messages.clear();
        QVERIFY(!m_cmn->GONEXT(*m_form));
        QCOMPARE(m_messages.shownCount(), 0);
    }

    void movesStopAtBothEnds()
    {
        for (const char *n : {"a", "b", "c"})
            addWitness(QString::fromLatin1(n));
        openWitnesses();

        QVERIFY(m_cmn->GOLAST(*m_form));
        QCOMPARE(m_form->shown.last(), QStringLiteral("c"));
        QVERIFY(!m_cmn->GONEXT(*m_form));
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        QCOMPARE(m_form->shown.last(), QStringLiteral("c"));

        m_messages.clear();
        QVERIFY(m_cmn->GOFIRST(*m_form));
        QVERIFY(!m_cmn->GOPREV(*m_form));
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        QCOMPARE(m_form->shown.last(), QStringLiteral("a"));
        QVERIFY(m_cmn->GONEXT(*m_form));
        QCOMPARE(m_form->shown.last(), QStringLiteral("b"));
        QVERIFY(m_cmn->GOPREV(*m_form));
        QCOMPARE(m_form->shown.last(), QStringLiteral("a"));
    }

    // As the next button does it: find the key again, then move on.
    void nextFromAMissingKeyShowsTheSecondRecord()
    {
        for (const char *n : {"a", "b", "c"})
            addWitness(QString::fromLatin1(n));
        openWitnesses();
        m_cmn->FINDREC(*m_form, {QStringLiteral("zz")});
        m_cmn->GONEXT(*m_form);
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_form->shown, QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    }

    void addWritesOnlyNewKeys()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        openWitnesses();

        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("ALI")},
                          {QStringLiteral("TELEPHONE"), QStringLiteral("999")}};
        QVERIFY(!m_cmn->ADDREC(*m_form, {QStringLiteral("ALI")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_DUPLICATE.trimmed()});
        QCOMPARE(witnessCount(), 1);
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("111"));

        m_messages.clear();
        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("Omar")},
                          {QStringLiteral("TELEPHONE"), QStringLiteral("222")}};
        QVERIFY(m_cmn->ADDREC(*m_form, {QStringLiteral("Omar")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_ADDED.trimmed()});
        QCOMPARE(phoneOf(QStringLiteral("Omar")).toString(), QStringLiteral("222"));
    }

    // A write the table refuses, or a failure while the fields are copied,
    // is reported and leaves the table as it was.
    void failedWritesChangeNothing()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        core::CursorSlot &slot = openWitnesses();

        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("Omar")},
                          {QStringLiteral("TELEPHONE"), QString(300, QLatin1Char('9'))}};
        QVERIFY(!m_cmn->ADDREC(*m_form, {QStringLiteral("Omar")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotAdded);
        QCOMPARE(witnessCount(), 1);
        QVERIFY(!slot.cursor().editing());

        m_form->fields.clear();
        m_form->throwInTextToData = true;
        QVERIFY(!m_cmn->ADDREC(*m_form, {QStringLiteral("Omar")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotAdded);
        QCOMPARE(witnessCount(), 1);

        QVERIFY(!m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotUpdated);
        m_form->throwInTextToData = false;
        m_form->fields = {{QStringLiteral("TELEPHONE"), QString(300, QLatin1Char('9'))}};
        QVERIFY(!m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotUpdated);
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("111"));
        QVERIFY(!slot.cursor().editing());
    }

    void updateNeedsAnExistingKey()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        openWitnesses();
        m_form->fields = {{QStringLiteral("TELEPHONE"), QStringLiteral("555")}};

        QVERIFY(!m_cmn->UPDATEREC(*m_form, {QStringLiteral("Alia")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});

        m_messages.clear();
        QVERIFY(m_cmn->UPDATEREC(*m_form, {QStringLiteral("ali")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_UPDATED.trimmed()});
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("555"));
    }

    // Two workstations: B saves the record A shows; A's save is refused
    // and leaves B's change, find shows it, and A's next save goes through.
    void updateNeverWritesOverAColleaguesChange()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        const auto other = m_folder->openOtherConnection();
        openWitnesses();
        m_form->shownField = QStringLiteral("TELEPHONE");
        QVERIFY(m_cmn->FINDREC(*m_form, {QStringLiteral("Ali")}));
        other->execute(QStringLiteral("UPDATE witnesses SET TELEPHONE = '222' WHERE NAME = 'Ali'"));

        m_form->fields = {{QStringLiteral("ADDRESS"), QStringLiteral("remark")}};
        QVERIFY(!m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotUpdated);
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("222"));
        QVERIFY(db().scalar(QStringLiteral("SELECT ADDRESS FROM witnesses")).isNull());
        QVERIFY(!m_form->recordTable().editing());

        QVERIFY(m_cmn->FINDREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(m_form->shown.last(), QStringLiteral("222"));
        m_messages.clear();
        QVERIFY(m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}));
        // What was written is now what the screen shows: saving again works.
        m_form->fields = {{QStringLiteral("job"), QStringLiteral("clerk")}};
        QVERIFY(m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(shownTrimmed(), QStringList(2, m_cmn->msgs.MSG_UPDATED.trimmed()));
        QCOMPARE(other->scalar(QStringLiteral("SELECT TELEPHONE || ADDRESS || job FROM witnesses")).toString(),
                 QStringLiteral("222remarkclerk"));
    }

    // What another workstation did between A's read and A's save.
    void updateAfterOthersWork_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<bool>("cleared"); // A cleared the screen and typed the key
        QTest::addColumn<QString>("message"); // updated, notFound or notUpdated
        QTest::addColumn<QString>("address"); // Ali's ADDRESS afterwards ("-": no record)
        const QString updated = QStringLiteral("updated");
        const QString notFound = QStringLiteral("notFound");
        const QString otherPhone = QStringLiteral("UPDATE witnesses SET TELEPHONE = '9' WHERE NAME = 'Ali'");
        QTest::newRow("nobody") << QString() << false << updated << "mine";
        QTest::newRow("another record") << QStringLiteral("UPDATE witnesses SET TELEPHONE = '9' WHERE NAME = 'Omar'")
                                        << false << updated << "mine";
        QTest::newRow("deleted") << QStringLiteral("DELETE FROM witnesses WHERE NAME = 'Ali'") << false << notFound
                                 << "-";
        QTest::newRow("deleted and added again")
            << QStringLiteral("DELETE FROM witnesses WHERE NAME = 'Ali'; INSERT INTO witnesses (NAME) VALUES ('Ali')")
            << false << "notUpdated" << "";
        QTest::newRow("changed, screen cleared") << otherPhone << true << updated << "mine";
    }
    void updateAfterOthersWork()
    {
        QFETCH(QString, theirs);
        QFETCH(bool, cleared);
        QFETCH(QString, message);
        QFETCH(QString, address);
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        addWitness(QStringLiteral("Omar"), QStringLiteral("333"));
        const auto other = m_folder->openOtherConnection();
        openWitnesses();
        QVERIFY(m_cmn->FINDREC(*m_form, {QStringLiteral("Ali")}));
        for (const QString &sql : theirs.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            other->execute(sql);
        if (cleared)
            m_form->shownRecord().clear();
        m_messages.clear();
        m_form->fields = {{QStringLiteral("ADDRESS"), QStringLiteral("mine")}};
        const QMap<QString, QString> texts{{QStringLiteral("updated"), m_cmn->msgs.MSG_UPDATED.trimmed()},
                                          {QStringLiteral("notFound"), m_cmn->msgs.MSG_NOTFOUND.trimmed()},
                                          {QStringLiteral("notUpdated"), CmnSub::kNotUpdated}};
        QCOMPARE(m_cmn->UPDATEREC(*m_form, {QStringLiteral("Ali")}), message == QLatin1String("updated"));
        QCOMPARE(shownTrimmed(), QStringList{texts.value(message)});
        const QVariant stored = db().scalar(QStringLiteral("SELECT coalesce(ADDRESS, '') FROM witnesses WHERE NAME = 'Ali'"));
        QCOMPARE(stored.isValid() ? stored.toString() : QStringLiteral("-"), address);
    }

    void deleteAsksFirst()
    {
        addWitness(QStringLiteral("Ali"));
        openWitnesses();

        QVERIFY(!m_cmn->DELETEREC(*m_form, {QStringLiteral("Nobody")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_messages.confirmCount(), 0);

        m_messages.clear();
        m_messages.queueAnswer(false);
        QVERIFY(!m_cmn->DELETEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(m_messages.confirmCount(), 1);
        const auto question = m_messages.lastConfirmation();
        QCOMPARE(question.text, m_cmn->msgs.MSG_CONTINUE);
        QCOMPARE(question.title, QStringLiteral("CONFIRM ACTION BOX"));
        QVERIFY(question.defaultNo);
        QCOMPARE(question.icon, core::MessageService::Icon::Critical);
        QCOMPARE(m_messages.shownCount(), 0);
        QCOMPARE(witnessCount(), 1);

        m_messages.queueAnswer(true);
        QVERIFY(m_cmn->DELETEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_DELETED.trimmed()});
        QCOMPARE(witnessCount(), 0);
    }

    // A screen whose table is not open: the procedures report an error
    // instead of failing, and write nothing.
    void closedTableIsADataError()
    {
        addWitness(QStringLiteral("Ali"));
        const QString dataError = m_cmn->msgs.MSG_DATAERROR.trimmed();
        QVERIFY(!m_cmn->GOFIRST(*m_form));
        QVERIFY(!m_cmn->GONEXT(*m_form));
        QVERIFY(!m_cmn->FINDREC(*m_form, {QStringLiteral("Ali")}));
        QVERIFY(!m_cmn->DELETEREC(*m_form, {QStringLiteral("Ali")}));
        QCOMPARE(shownTrimmed(), QStringList(4, dataError));
        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("Omar")}};
        QVERIFY(!m_cmn->ADDREC(*m_form, {QStringLiteral("Omar")}));
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotAdded);
        QCOMPARE(m_messages.confirmCount(), 0);
        QCOMPARE(witnessCount(), 1);
        QVERIFY(m_form->shown.isEmpty());
    }
};

VELM_TEST_MAIN(TestCmnSub)
#include "tst_cmnsub.moc"
