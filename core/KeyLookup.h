#pragma once

#include "LookupCombo.h"

#include <QString>
#include <QVariantList>

#include <functional>

class QStringListModel;

namespace core {

class DataStore;

// A look-up list over the key column of a large table (persons, problems):
// an editable list that never reads the table whole. It offers the keys that
// go with what has been typed, read through one indexed query on a
// connection of its own, a batch at a time as the list is scrolled. The
// query is a select of the key column whose bound values come from the typed
// text (blanks around it dropped); what "goes with" the text is the query's
// business: numbers beginning with it, codes from it on, ... The keys are
// read again as the user types; nothing at all is read before the list is
// first opened or typed into, so a screen with this list opens without
// touching the table.
//
// The text is the key, read and written like any look-up list
// (controlText/setControlText). keyChosen() is emitted once when the user
// has typed a key and ends the typing (Enter, leaving the box) or chooses a
// key from the list; blanks typed around a key are dropped then. A key put
// in by the program (showing a record, clearing) emits nothing: the screen
// runs its look-up itself.
class KeyLookup : public LookupCombo {
    Q_OBJECT
public:
    static constexpr int kBatch = 50;

    // The bound values of the query for the typed text (already trimmed).
    using Bounds = std::function<QVariantList(const QString &typed)>;

    // sql: a select of keyField ordered for display, with the placeholders
    // that bounds() fills.
    KeyLookup(const QString &objectName, const QString &keyField, const QString &sql,
              Bounds bounds, QWidget *parent = nullptr);

    // The data store whose table the list reads.
    void setStore(DataStore &store);

    // Reads the keys that go with `typed` into the list. False when they
    // cannot be read; the list then stays as it was.
    bool offerKeys(const QString &typed);
    // The typed text the list's keys were read for; empty before the first read.
    const QString &offeredText() const { return m_offeredFor; }
    bool hasOffered() const { return m_offered; }

    void showPopup() override;

signals:
    // The user settled on a key (see above).
    void keyChosen(const QString &key);

private:
    void onEdited(const QString &text);
    void commit(bool picked);

    DataSource *m_keys;            // the list's rows, read a batch at a time
    QStringListModel *m_offers;    // the first batch, offered while typing
    QString m_sql;
    Bounds m_bounds;
    QString m_offeredFor;
    QString m_lastCommitted;
    bool m_offered = false;
    bool m_edited = false;
};

} // namespace core
