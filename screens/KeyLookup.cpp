#include "screens/KeyLookup.h"

#include "data/OpenDb.h"
#include "engine/Database.h"
#include "engine/ResultPlan.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

namespace core {

// The keys read so far, a batch at a time: the views ask for the next batch
// (canFetchMore/fetchMore) when they are scrolled to the end of the rows.
class KeyLookup::Keys : public QAbstractListModel {
public:
    // The batch that follows a key.
    using ReadAfter = std::function<QVariantList(const QVariant &last)>;

    Keys(ReadAfter read, QObject *parent) : QAbstractListModel(parent), m_read(std::move(read)) {}

    void reset(const QVariantList &first)
    {
        beginResetModel();
        m_keys = first;
        m_atEnd = first.size() < kBatch;
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_keys.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_keys.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return m_keys.at(index.row()).toString();
    }

    bool canFetchMore(const QModelIndex &parent) const override
    {
        return !parent.isValid() && !m_atEnd;
    }

    void fetchMore(const QModelIndex &parent) override
    {
        if (!canFetchMore(parent))
            return;
        QVariantList more;
        try {
            more = m_read(m_keys.last());
        } catch (const engine::EngineError &) {
            m_atEnd = true; // the list keeps what it shows
            return;
        }
        m_atEnd = more.size() < kBatch;
        if (more.isEmpty())
            return;
        beginInsertRows({}, int(m_keys.size()), int(m_keys.size() + more.size()) - 1);
        m_keys += more;
        endInsertRows();
    }

private:
    ReadAfter m_read;
    QVariantList m_keys;
    bool m_atEnd = true;
};

KeyLookup::KeyLookup(const QString &objectName, const QString &table, const QString &keyField, RangeFor range,
                     QWidget *parent)
    : LookupCombo(objectName, parent), m_table(table), m_keyField(keyField), m_rangeFor(std::move(range)),
      m_offers(new QStringListModel(this))
{
    m_keys = new Keys([this](const QVariant &last) { return readBatch(m_rangeFor(m_offeredFor), last); }, this);
    setListModel(m_keys);
    // Keys read left to right wherever the box stands.
    lineEdit()->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);

    // The popup under the box offers the first batch of keys for the typed
    // text. It works on a copy of that batch: a completer reads its whole
    // model whenever the rows change. Set after the list's model, which
    // would otherwise become the completer's.
    auto *offer = new QCompleter(m_offers, this);
    offer->setCompletionColumn(0);
    offer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    offer->setCaseSensitivity(Qt::CaseInsensitive);
    offer->setMaxVisibleItems(12);
    setCompleter(offer);

    connect(lineEdit(), &QLineEdit::textEdited, this, &KeyLookup::onEdited);
    // Once the box shows something else (the program cleared it, showed a
    // record, or the user typed), the key announced last is no longer in
    // it: choosing that key again is a new choice.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text != m_lastCommitted)
            m_committed = false;
    });
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] { commit(false); });
    connect(this, &QComboBox::activated, this, [this] { commit(true); });
    connect(offer, qOverload<const QString &>(&QCompleter::activated), this,
            [this] { commit(true); });
}

void KeyLookup::setStore(DataStore &store)
{
    m_store = &store;
}

QVariantList KeyLookup::readKeys(engine::Database &db, const QString &table, const QString &keyField,
                                 const Range &range, const QVariant &after, int limit)
{
    if (range.from.isNull())
        return {};
    const QString key = engine::quotedIdentifier(keyField);
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %1 %3 ?").arg(key, engine::quotedIdentifier(table),
                                                                           after.isValid() ? QStringLiteral(">")
                                                                                           : QStringLiteral(">="));
    QVariantList values{after.isValid() ? after : range.from};
    if (!range.to.isNull()) {
        sql += QStringLiteral(" AND %1 < ?").arg(key);
        values << range.to;
    }
    sql += QStringLiteral(" ORDER BY %1 LIMIT ?").arg(key);
    values << limit;
    engine::Statement select(db, sql);
    select.bind(values);
    QVariantList keys;
    while (select.step())
        keys << select.value(0);
    return keys;
}

QVariantList KeyLookup::readBatch(const Range &range, const QVariant &after) const
{
    if (!m_store || !m_store->isOpen())
        throw engine::EngineError(engine::ErrInvalidArgument, QStringLiteral("The database is not open"));
    // The screens' shared view connection; nothing stays open on it between reads.
    const std::shared_ptr<engine::Database> db = m_store->sharedViewConnection();
    return readKeys(*db, m_table, m_keyField, range, after, kBatch);
}

bool KeyLookup::offerKeys(const QString &typed)
{
    const QString from = typed.trimmed();
    QVariantList first;
    try {
        first = readBatch(m_rangeFor(from), {});
    } catch (const engine::EngineError &) {
        return false;
    }
    m_offeredFor = from;
    m_offered = true;
    m_keys->reset(first);
    QStringList offers;
    for (const QVariant &k : std::as_const(first))
        offers << k.toString();
    m_offers->setStringList(offers);
    return true;
}

void KeyLookup::showPopup()
{
    // The list shows the keys that go with the text in the box.
    if (!m_offered || m_offeredFor != currentText().trimmed())
        offerKeys(currentText());
    // Opening the list starts a new choice, even of the key already shown.
    m_committed = false;
    LookupCombo::showPopup();
}

void KeyLookup::onEdited(const QString &text)
{
    m_edited = true;
    if (!offerKeys(text))
        return;
    // The new keys replace the old ones under the popup: show it again for
    // the text as it now stands.
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
// the list or the popup ends it too. One Enter can reach here up to three
// times (the box, the list's match of the text, the popup under the box):
// the key is announced once, and again only after the box changed or the
// list was opened.
void KeyLookup::commit(bool picked)
{
    QString text = currentText();
    if (!m_edited && !(picked && !(m_committed && text == m_lastCommitted)))
        return;
    m_edited = false;
    // A key is a key without the blanks typed around it.
    if (!text.trimmed().isEmpty() && text.trimmed() != text) {
        text = text.trimmed();
        setText(text);
    }
    m_lastCommitted = text;
    m_committed = true;
    emit keyChosen(text);
}

} // namespace core
