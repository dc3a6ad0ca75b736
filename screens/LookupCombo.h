#pragma once

#include "screens/DataSource.h"
#include "engine/EngineError.h"

#include <QComboBox>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

namespace core {

class DataStore;

// A data-bound look-up list: an editable drop-down fed by a data source.
// The list shows the list field of each row; the bound column is the value
// the list stands for (the list field itself unless set). The text is
// whatever the user typed or chose and is kept when the rows are re-read.
class LookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit LookupCombo(QWidget *parent = nullptr);
    explicit LookupCombo(const QString &objectName, QWidget *parent = nullptr);
    ~LookupCombo() override;

    // Rows from a data source that other lists may share (not owned)...
    void setRowSource(DataSource *source);
    DataSource *rowSource() const { return m_source; }
    // ... or from the list's own source, opened on a select. Failures are
    // returned (and given in *error), never thrown: a look-up that cannot
    // be read just stays empty.
    bool open(DataStore &store, const QString &sql, const QVariantList &values = {},
              engine::EngineError *error = nullptr);
    // Re-reads the rows of the current source, keeping the text.
    bool requery(engine::EngineError *error = nullptr);

    void setListField(const QString &field);
    const QString &listField() const { return m_listField; }
    void setBoundColumn(const QString &field) { m_boundColumn = field; }
    QString boundColumn() const { return m_boundColumn.isEmpty() ? m_listField : m_boundColumn; }

    QString text() const { return currentText(); }
    void setText(const QString &text);
    // The bound column of the row the text stands for; the text itself
    // when it matches no row read so far.
    QString boundText() const;
    // Shows the row whose bound column holds the value (by its list
    // field); a value of no row read so far is shown as it stands.
    void setBoundText(const QString &value);

    // For lists of names: while the user types, a list under the box
    // offers the rows whose list field holds the typed text under the
    // search rule (engine::searchFold: "احمد" offers "أحمد"); choosing one
    // is choosing from the list. The text typed is never changed otherwise.
    void offerFoldedMatches();

signals:
    // The user chose an entry of the list (not emitted for typing).
    void chosen(const QString &boundText);

protected:
    // Shows the rows of a model of the list's own (no data source): the
    // text is kept when the model's rows are read again, as for a source.
    void setListModel(QAbstractItemModel *model);

private:
    void attachModel(QAbstractItemModel *model);
    void beforeReset();
    void afterReset();
    int listColumn() const;
    int boundIndex() const;
    void setTextQuietly(const QString &text);
    void followListField();

    class FoldedRows;
    FoldedRows *m_folded = nullptr; // the completer's rows, with offerFoldedMatches()

    QPointer<DataSource> m_source;
    DataSource *m_ownSource = nullptr;
    QString m_listField;
    QString m_boundColumn;
    QString m_savedText;
    int m_savedCursor = -1;
    bool m_wasBlocked = false;
    QMetaObject::Connection m_aboutToReset;
    QMetaObject::Connection m_reset;
};

} // namespace core
