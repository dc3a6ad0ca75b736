#include "PersonLookup.h"

#include "OpenDb.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

namespace core {

namespace {

// Above every character a person number can hold, in any collation that
// orders by the text: the end of the range of numbers with a prefix.
const QChar kAfterPrefix(0xFFFF);

} // namespace

PersonLookup::PersonLookup(const QString &objectName, QWidget *parent)
    : LookupCombo(objectName, parent),
      m_numbers(new DataSource(objectName + QStringLiteral("_data"), this)),
      m_offers(new QStringListModel(this))
{
    m_numbers->model()->setBatchSize(kBatch);
    m_numbers->setQuery(kNumbersSql);
    setListField(QStringLiteral("tamrel_no"));
    setRowSource(m_numbers);
    // Numbers read left to right wherever the box stands.
    lineEdit()->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);

    // The popup under the box offers the first batch of numbers beginning
    // with the typed text. It works on a copy of that batch: a completer
    // reads its whole model whenever the rows change, which on the person
    // table itself would mean every number with that prefix.
    auto *offer = new QCompleter(m_offers, this);
    offer->setCompletionColumn(0);
    offer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    offer->setCaseSensitivity(Qt::CaseInsensitive);
    offer->setMaxVisibleItems(12);
    setCompleter(offer);

    connect(lineEdit(), &QLineEdit::textEdited, this, &PersonLookup::onEdited);
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] { commit(false); });
    connect(this, &QComboBox::activated, this, [this] { commit(true); });
    connect(offer, qOverload<const QString &>(&QCompleter::activated), this,
            [this] { commit(true); });
}

void PersonLookup::setStore(DataStore &store)
{
    m_numbers->setDatabase(store);
}

bool PersonLookup::offerNumbers(const QString &prefix)
{
    const QString from = prefix.trimmed();
    m_numbers->setQuery(kNumbersSql, {from, from + kAfterPrefix});
    if (!m_numbers->tryRefresh())
        return false;
    QStringList first;
    const QueryModel *numbers = m_numbers->model();
    for (int row = 0; row < qMin(numbers->rowCount(), kBatch); ++row)
        first << numbers->value(row, 0).toString();
    m_offers->setStringList(first);
    m_prefix = from;
    m_offered = true;
    return true;
}

void PersonLookup::showPopup()
{
    // The list shows the numbers that begin with the text in the box.
    if (!m_offered || m_prefix != currentText().trimmed())
        offerNumbers(currentText());
    LookupCombo::showPopup();
}

void PersonLookup::onEdited(const QString &text)
{
    m_edited = true;
    if (!offerNumbers(text))
        return;
    // The new numbers replace the old ones under the popup: show it again
    // for the text as it now stands.
    if (QCompleter *offer = completer(); offer && lineEdit()->hasFocus()) {
        if (text.trimmed().isEmpty() || m_offers->rowCount() == 0) {
            offer->popup()->hide();
        } else {
            offer->setCompletionPrefix(text);
            offer->complete();
        }
    }
}

// Typing ends on Enter and when the box loses the focus, and a pick from
// the list or the popup ends it too; the number is announced once.
void PersonLookup::commit(bool picked)
{
    QString text = currentText();
    if (!m_edited && !(picked && text != m_lastCommitted))
        return;
    m_edited = false;
    // A number is a number without the blanks typed around it.
    if (isPersonChosen(text) && text.trimmed() != text) {
        text = text.trimmed();
        setText(text);
    }
    m_lastCommitted = text;
    emit personChanged(text);
}

bool isPersonChosen(const QString &number)
{
    return !number.trimmed().isEmpty();
}

std::optional<PersonNames> findPersonNames(engine::Database &db, const QString &number)
{
    engine::QueryCursor person(
        db, QStringLiteral("SELECT a_new_name, e_new_name FROM tamrel WHERE tamrel_no = ?"),
        {QVariant(number)});
    if (!person.next())
        return std::nullopt;
    return PersonNames{person.value(0).toString(), person.value(1).toString()};
}

qint64 nextSeqNo(engine::Database &db, const QString &table, const QString &number)
{
    const QVariant highest = db.scalar(
        QStringLiteral("SELECT max(seq_no) FROM %1 WHERE tamrel_no = ?").arg(table),
        {QVariant(number)});
    bool ok = false;
    const qint64 n = highest.toLongLong(&ok);
    return ok ? n + 1 : 1;
}

} // namespace core
