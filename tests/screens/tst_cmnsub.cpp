#include "support/TestMain.h"

#include "screens/CmnSub.h"
#include "support/FakeServices.h"
#include "data/OpenDb.h"
#include "support/TempDataFolder.h"
#include "engine/TableCursor.h"

#include <QLineEdit>

using core::CmnSub;

namespace {

// A screen without widgets: the key and the fields are plain values; what
// DATATOTEXT shows is recorded.
class FakeForm : public core::RecordForm {
public:
    explicit FakeForm(core::CmnSub &cmn) : m_cmn(cmn) {}

    void DATATOTEXT() override
    {
        shown.append(m_cmn.CURRENT_TABLE->cursor().value(QStringLiteral("NAME")).toString());
    }
    void texttodata() override
    {
        if (throwInTextToData)
            throw engine::EngineError(engine::ErrFieldTooSmall, QStringLiteral("too long"));
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            m_cmn.CURRENT_TABLE->cursor().setValue(it.key(), it.value());
    }
    void SETINDEX() override { m_cmn.CURRENT_TABLE->cursor().setIndex(QStringLiteral("PRIMARYKEY")); }

    QStringList shown;
    QVariantMap fields;
    bool throwInTextToData = false;

private:
    core::CmnSub &m_cmn;
};

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
        m_cmn->CURRENT_TABLE = &slot;
        m_cmn->CURRENT_FORM = m_form.get();
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
        m_form = std::make_unique<FakeForm>(*m_cmn);
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

    void errMsgHoldsSixtyCharacters()
    {
        m_cmn->ERRMSG = m_cmn->msgs.MSG_REQUIRED;
        QCOMPARE(m_cmn->ERRMSG.text(), m_cmn->msgs.MSG_REQUIRED); // as the table holds it
        m_cmn->ERRMSG = QString(80, QLatin1Char('x'));
        QCOMPARE(m_cmn->ERRMSG.text(), QString(60, QLatin1Char('x')));
    }

    // The key parts that hold a control are read at the moment of the seek.
    void keyPartsReadControlsLate()
    {
        QLineEdit person;
        QLineEdit seq;
        m_cmn->setKeyParts({&person, &seq});
        person.setText(QStringLiteral("12"));
        seq.setText(QStringLiteral("3"));
        QCOMPARE(m_cmn->KEYCOUNT, 2);
        QCOMPARE(m_cmn->keyValues(), QVariantList({QStringLiteral("12"), QStringLiteral("3")}));

        m_cmn->setKey(QStringLiteral("value"));
        QCOMPARE(m_cmn->KEYCOUNT, 1);
        QCOMPARE(m_cmn->keyValues(), QVariantList({QStringLiteral("value")}));
    }

    void checkFieldRules()
    {
        QLineEdit name;
        QLineEdit phone;
        QLineEdit number;

        // A single blank counts as empty for a required field.
        name.setText(QStringLiteral(" "));
        m_cmn->VALID = true;
        QVERIFY(!m_cmn->checkControl(&name, true));
        QCOMPARE(m_cmn->ERRMSG.text().trimmed(), m_cmn->msgs.MSG_REQUIRED.trimmed());
        QVERIFY(!m_cmn->REQUIRED);
        // Once invalid, later controls are not checked (nor padded).
        QVERIFY(!m_cmn->checkControl(&phone, false));
        QCOMPARE(phone.text(), QString());

        // A non-required empty field becomes one blank.
        m_cmn->VALID = true;
        QVERIFY(m_cmn->checkControl(&phone, false));
        QCOMPARE(phone.text(), QStringLiteral(" "));

        // Numbers: an empty text is not a number, and the flag does not
        // stay set for the next control.
        m_cmn->ERRMSG = QString();
        QVERIFY(!m_cmn->checkControl(&number, false, true));
        QCOMPARE(m_cmn->ERRMSG.text().trimmed(), m_cmn->msgs.MSG_INVALID.trimmed());
        QVERIFY(!m_cmn->NUMERIC);
        m_cmn->VALID = true;
        number.setText(QStringLiteral(" 42 "));
        QVERIFY(m_cmn->checkControl(&number, true, true));
        name.setText(QStringLiteral("x"));
        QVERIFY(m_cmn->checkControl(&name, false));
    }

    void findShowsTheRecordOrTheFirst()
    {
        addWitness(QStringLiteral("Bashir"));
        addWitness(QStringLiteral("ahmad"));
        addWitness(QStringLiteral("Camal"));
        openWitnesses();

        m_cmn->setKey(QStringLiteral("BASHIR")); // letter case is ignored
        QVERIFY(m_cmn->FINDREC());
        QCOMPARE(m_form->shown, QStringList{QStringLiteral("Bashir")});
        QCOMPARE(m_messages.shownCount(), 0);

        m_cmn->setKey(QStringLiteral("Zaid"));
        QVERIFY(!m_cmn->FINDREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_form->shown.last(), QStringLiteral("ahmad")); // first in key order
    }

    void emptyTableIsEndOfFile()
    {
        openWitnesses();
        m_cmn->setKey(QStringLiteral("x"));
        QVERIFY(!m_cmn->FINDREC());
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        m_messages.clear();
        QVERIFY(!m_cmn->GOFIRST());
        QVERIFY(!m_cmn->GOLAST());
        QCOMPARE(shownTrimmed(), QStringList(2, m_cmn->msgs.MSG_EOF.trimmed()));
        QVERIFY(m_form->shown.isEmpty());
        // Nothing to move from: no further message.
        m_messages.clear();
        QVERIFY(!m_cmn->GONEXT());
        QCOMPARE(m_messages.shownCount(), 0);
    }

    void movesStopAtBothEnds()
    {
        for (const char *n : {"a", "b", "c"})
            addWitness(QString::fromLatin1(n));
        openWitnesses();

        QVERIFY(m_cmn->GOLAST());
        QCOMPARE(m_form->shown.last(), QStringLiteral("c"));
        QVERIFY(!m_cmn->GONEXT());
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        QCOMPARE(m_form->shown.last(), QStringLiteral("c"));

        m_messages.clear();
        QVERIFY(m_cmn->GOFIRST());
        QVERIFY(!m_cmn->GOPREV());
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_EOF.trimmed());
        QCOMPARE(m_form->shown.last(), QStringLiteral("a"));
        QVERIFY(m_cmn->GONEXT());
        QCOMPARE(m_form->shown.last(), QStringLiteral("b"));
        QVERIFY(m_cmn->GOPREV());
        QCOMPARE(m_form->shown.last(), QStringLiteral("a"));
    }

    // As the next button does it: find the key again, then move on.
    void nextFromAMissingKeyShowsTheSecondRecord()
    {
        for (const char *n : {"a", "b", "c"})
            addWitness(QString::fromLatin1(n));
        openWitnesses();
        m_cmn->setKey(QStringLiteral("zz"));
        m_cmn->FINDREC();
        m_cmn->GONEXT();
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_form->shown, QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    }

    void addWritesOnlyNewKeys()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        openWitnesses();

        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("ALI")},
                          {QStringLiteral("TELEPHONE"), QStringLiteral("999")}};
        m_cmn->setKey(QStringLiteral("ALI"));
        QVERIFY(!m_cmn->ADDREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_DUPLICATE.trimmed()});
        QCOMPARE(witnessCount(), 1);
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("111"));

        m_messages.clear();
        m_form->fields = {{QStringLiteral("NAME"), QStringLiteral("Omar")},
                          {QStringLiteral("TELEPHONE"), QStringLiteral("222")}};
        m_cmn->setKey(QStringLiteral("Omar"));
        QVERIFY(m_cmn->ADDREC());
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
        m_cmn->setKey(QStringLiteral("Omar"));
        QVERIFY(!m_cmn->ADDREC());
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotAdded);
        QCOMPARE(witnessCount(), 1);
        QVERIFY(!slot.cursor().editing());

        m_form->fields.clear();
        m_form->throwInTextToData = true;
        QVERIFY(!m_cmn->ADDREC());
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotAdded);
        QCOMPARE(witnessCount(), 1);

        m_cmn->setKey(QStringLiteral("Ali"));
        QVERIFY(!m_cmn->UPDATEREC());
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotUpdated);
        m_form->throwInTextToData = false;
        m_form->fields = {{QStringLiteral("TELEPHONE"), QString(300, QLatin1Char('9'))}};
        QVERIFY(!m_cmn->UPDATEREC());
        QCOMPARE(m_messages.lastShown(), CmnSub::kNotUpdated);
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("111"));
        QVERIFY(!slot.cursor().editing());
    }

    void updateNeedsAnExistingKey()
    {
        addWitness(QStringLiteral("Ali"), QStringLiteral("111"));
        openWitnesses();
        m_form->fields = {{QStringLiteral("TELEPHONE"), QStringLiteral("555")}};

        m_cmn->setKey(QStringLiteral("Alia"));
        QVERIFY(!m_cmn->UPDATEREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});

        m_messages.clear();
        m_cmn->setKey(QStringLiteral("ali"));
        QVERIFY(m_cmn->UPDATEREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_UPDATED.trimmed()});
        QCOMPARE(phoneOf(QStringLiteral("Ali")).toString(), QStringLiteral("555"));
    }

    void deleteAsksFirst()
    {
        addWitness(QStringLiteral("Ali"));
        openWitnesses();

        m_cmn->setKey(QStringLiteral("Nobody"));
        QVERIFY(!m_cmn->DELETEREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_NOTFOUND.trimmed()});
        QCOMPARE(m_messages.confirmCount(), 0);

        m_messages.clear();
        m_messages.queueAnswer(false);
        m_cmn->setKey(QStringLiteral("Ali"));
        QVERIFY(!m_cmn->DELETEREC());
        QCOMPARE(m_messages.confirmCount(), 1);
        const auto question = m_messages.lastConfirmation();
        QCOMPARE(question.text, m_cmn->msgs.MSG_CONTINUE);
        QCOMPARE(question.title, QStringLiteral("CONFIRM ACTION BOX"));
        QVERIFY(question.defaultNo);
        QCOMPARE(question.icon, core::MessageService::Icon::Critical);
        QCOMPARE(m_messages.shownCount(), 0);
        QCOMPARE(witnessCount(), 1);

        m_messages.queueAnswer(true);
        QVERIFY(m_cmn->DELETEREC());
        QCOMPARE(shownTrimmed(), QStringList{m_cmn->msgs.MSG_DELETED.trimmed()});
        QCOMPARE(witnessCount(), 0);
    }

    // Without a current table or screen the procedures report an error
    // instead of failing.
    void missingStateIsADataError()
    {
        m_cmn->CURRENT_TABLE = nullptr;
        m_cmn->CURRENT_FORM = m_form.get();
        QVERIFY(!m_cmn->GOFIRST());
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_DATAERROR.trimmed());
        openWitnesses();
        m_cmn->CURRENT_FORM = nullptr;
        m_cmn->setKey(QStringLiteral("x"));
        QVERIFY(!m_cmn->FINDREC());
        QCOMPARE(trimmed(m_messages.lastShown()), m_cmn->msgs.MSG_DATAERROR.trimmed());
    }
};

VELM_TEST_MAIN(TestCmnSub)
#include "tst_cmnsub.moc"
