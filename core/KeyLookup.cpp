#include "KeyLookup.h"

#include "OpenDb.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

namespace core {

KeyLookup::KeyLookup(const QString &objectName, const QString &keyField, const QString &sql,
                     Bounds bounds, QWidget *parent)
    : LookupCombo(objectName, parent),
      m_keys(new DataSource(objectName + QStringLiteral("_data"), this)),
      m_offers(new QStringListModel(this)), m_sql(sql), m_bounds(std::move(bounds))
{
    m_keys->model()->setBatchSize(kBatch);
    m_keys->setQuery(m_sql, m_bounds(QString()));
    setListField(keyField);
    setRowSource(m_keys);
    // Keys read left to right wherever the box stands.
    lineEdit()->setAlignment(Qt::AlignRight | Qt::AlignAbsolute);

    // The popup under the box offers the first batch of keys for the typed
    // text. It works on a copy of that batch: a completer reads its whole
    // model whenever the rows change, which on the table itself would mean
    // every key that goes with the text.
    auto *offer = new QCompleter(m_offers, this);
    offer->setCompletionColumn(0);
    offer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    offer->setCaseSensitivity(Qt::CaseInsensitive);
    offer->setMaxVisibleItems(12);
    setCompleter(offer);

    connect(lineEdit(), &QLineEdit::textEdited, this, &KeyLookup::onEdited);
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] { commit(false); });
    connect(this, &QComboBox::activated, this, [this] { commit(true); });
    connect(offer, qOverload<const QString &>(&QCompleter::activated), this,
            [this] { commit(true); });
}

void KeyLookup::setStore(DataStore &store)
{
    m_keys->setDatabase(store);
}

bool KeyLookup::offerKeys(const QString &typed)
{
    const QString from = typed.trimmed();
    m_keys->setQuery(m_sql, m_bounds(from));
    if (!m_keys->tryRefresh())
        return false;
    QStringList first;
    const QueryModel *keys = m_keys->model();
    for (int row = 0; row < qMin(keys->rowCount(), kBatch); ++row)
        first << keys->value(row, 0).toString();
    m_offers->setStringList(first);
    m_offeredFor = from;
    m_offered = true;
    return true;
}

void KeyLookup::showPopup()
{
    // The list shows the keys that go with the text in the box.
    if (!m_offered || m_offeredFor != currentText().trimmed())
        offerKeys(currentText());
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
// the list or the popup ends it too; the key is announced once.
void KeyLookup::commit(bool picked)
{
    QString text = currentText();
    if (!m_edited && !(picked && text != m_lastCommitted))
        return;
    m_edited = false;
    // A key is a key without the blanks typed around it.
    if (!text.trimmed().isEmpty() && text.trimmed() != text) {
        text = text.trimmed();
        setText(text);
    }
    m_lastCommitted = text;
    emit keyChosen(text);
}

} // namespace core
