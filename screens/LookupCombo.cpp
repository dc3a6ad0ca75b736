#include "screens/LookupCombo.h"

#include "data/OpenDb.h"
#include "engine/TextRules.h"

#include <QCompleter>
#include <QLineEdit>
#include <QSortFilterProxyModel>


namespace core {

// The rows whose list field holds the folded text typed.
class LookupCombo::FoldedRows : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setTyped(const QString &typed)
    {
        m_typed = engine::searchFold(typed.trimmed());
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        const QModelIndex cell = sourceModel()->index(row, filterKeyColumn(), parent);
        return engine::searchFold(cell.data().toString()).contains(m_typed);
    }

private:
    QString m_typed;
};

LookupCombo::LookupCombo(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    // Typing never adds rows: the list is the query's result.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(12);
    connect(this, &QComboBox::activated, this, [this](int) { emit chosen(boundText()); });
}

LookupCombo::LookupCombo(const QString &objectName, QWidget *parent) : LookupCombo(parent)
{
    setObjectName(objectName);
}

LookupCombo::~LookupCombo()
{
    disconnect(m_aboutToReset);
    disconnect(m_reset);
}

void LookupCombo::setRowSource(DataSource *source)
{
    if (source == m_source)
        return;
    disconnect(m_aboutToReset);
    disconnect(m_reset);
    m_source = source;
    attachModel(source ? source->model() : nullptr);
}

void LookupCombo::setListModel(QAbstractItemModel *model)
{
    disconnect(m_aboutToReset);
    disconnect(m_reset);
    m_source = nullptr;
    attachModel(model);
}

void LookupCombo::attachModel(QAbstractItemModel *model)
{
    const QString text = currentText();
    const bool wasBlocked = blockSignals(true);
    if (model) {
        setModel(model);
        m_aboutToReset = connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
                                 &LookupCombo::beforeReset);
        m_reset = connect(model, &QAbstractItemModel::modelReset, this, &LookupCombo::afterReset);
        setModelColumn(listColumn());
    } else {
        clear();
    }
    setCurrentIndex(-1);
    setEditText(text);
    blockSignals(wasBlocked);
    if (m_folded) {
        // setModel() gave the completer the rows themselves: the folded ones again.
        m_folded->setSourceModel(this->model());
        completer()->setModel(m_folded);
        followListField();
    }
}

void LookupCombo::followListField()
{
    m_folded->setFilterKeyColumn(listColumn());
    completer()->setCompletionColumn(listColumn());
}

void LookupCombo::offerFoldedMatches()
{
    if (m_folded)
        return;
    m_folded = new FoldedRows(this);
    m_folded->setSourceModel(model());
    auto *offers = new QCompleter(m_folded, this);
    // The rows are filtered here: the completer shows them as they are.
    offers->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    setCompleter(offers);
    followListField();
    connect(lineEdit(), &QLineEdit::textEdited, m_folded, &FoldedRows::setTyped);
}

bool LookupCombo::open(DataStore &store, const QString &sql, const QVariantList &values,
                       engine::EngineError *error)
{
    if (!m_ownSource) {
        m_ownSource = new DataSource(objectName().isEmpty() ? QString()
                                                            : objectName() + QStringLiteral("_data"),
                                     this);
    }
    m_ownSource->setDatabase(store);
    m_ownSource->setQuery(sql, values);
    setRowSource(m_ownSource);
    return requery(error);
}

bool LookupCombo::requery(engine::EngineError *error)
{
    if (!m_source)
        return false;
    return m_source->tryRefresh(error);
}

void LookupCombo::setListField(const QString &field)
{
    m_listField = field;
    if (m_folded)
        followListField();
    if (m_source) {
        const QString text = currentText();
        const bool wasBlocked = blockSignals(true);
        setModelColumn(listColumn());
        setCurrentIndex(-1);
        setEditText(text);
        blockSignals(wasBlocked);
    }
}

int LookupCombo::listColumn() const
{
    if (!m_source || m_listField.isEmpty())
        return 0;
    const int col = m_source->model()->fieldIndex(m_listField);
    return col < 0 ? 0 : col;
}

int LookupCombo::boundIndex() const
{
    if (!m_source)
        return -1;
    const QString bound = boundColumn();
    return bound.isEmpty() ? listColumn() : m_source->model()->fieldIndex(bound);
}

// The rows are about to be read again: the combo would pick the first new
// row as its text, so the text is kept and no change is announced.
void LookupCombo::beforeReset()
{
    m_savedText = currentText();
    m_savedCursor = lineEdit() ? lineEdit()->cursorPosition() : -1;
    m_wasBlocked = blockSignals(true);
}

void LookupCombo::afterReset()
{
    setModelColumn(listColumn());
    setCurrentIndex(-1);
    setEditText(m_savedText);
    // Rows read again while the user types leave the cursor where it was.
    if (lineEdit() && m_savedCursor >= 0)
        lineEdit()->setCursorPosition(m_savedCursor);
    blockSignals(m_wasBlocked);
}

void LookupCombo::setTextQuietly(const QString &text)
{
    // Drop the chosen row without announcing the passing empty text (nor
    // anything at all when the text stays the same).
    const QString old = currentText();
    if (currentIndex() != -1) {
        const bool wasBlocked = blockSignals(true);
        setCurrentIndex(-1);
        if (old == text)
            setEditText(text);
        blockSignals(wasBlocked);
        if (old == text)
            return;
    }
    setEditText(text);
}

void LookupCombo::setText(const QString &text)
{
    setTextQuietly(text);
}

QString LookupCombo::boundText() const
{
    const QString text = currentText();
    if (!m_source)
        return text;
    const QueryModel *model = m_source->model();
    const int bound = boundIndex();
    if (bound < 0)
        return text;
    int row = currentIndex();
    if (row < 0 || itemText(row) != text)
        row = model->findLoaded(listColumn(), text);
    if (row < 0)
        return text;
    const QVariant v = model->value(row, bound);
    return v.isNull() ? QString() : v.toString();
}

void LookupCombo::setBoundText(const QString &value)
{
    const int bound = boundIndex();
    const int list = listColumn();
    if (m_source && bound >= 0 && bound != list) {
        const int row = m_source->model()->findLoaded(bound, value);
        if (row >= 0) {
            setCurrentIndex(row);
            return;
        }
    }
    // The list field is the value itself (or no row holds it): show the
    // value exactly as stored.
    setTextQuietly(value);
}

} // namespace core
