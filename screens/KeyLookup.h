#pragma once

#include "screens/LookupCombo.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>

class QStringListModel;

namespace engine {
class Database;
}

namespace core {

class DataStore;

// A look-up list over the key column of a large table (persons, problems):
// an editable list that never reads the table whole. It offers the keys that
// go with what has been typed, in key order, a small batch at a time: the
// first batch when the text changes or the list is opened, the next one
// (the keys after the last one shown) as the list is scrolled to its end.
// Each batch is one indexed range read with a limit, so typing, pasting and
// opening the list cost the same on a table of ten rows or of a million.
// What "goes with" the text is a range of keys (numbers beginning with it,
// codes from it on, ...); nothing at all is read before the list is first
// opened or typed into, so a screen with this list opens without touching
// the table.
//
// The text is the key, read and written like any look-up list
// (controlText/setControlText). keyChosen() is emitted once when the user
// has typed a key and ends the typing (Enter, leaving the box) or chooses a
// key from the list; blanks typed around a key are dropped then. A key put
// in by the program (showing a record, clearing) emits nothing: the screen
// runs its look-up itself. Choosing from the list always announces the
// key, even the one the box held before the program changed it.
class KeyLookup : public LookupCombo {
    Q_OBJECT
public:
    static constexpr int kBatch = 50;

    // The keys that go with a typed text: from `from` on, below `to` (a
    // null `to`: no end). A null `from` offers nothing.
    struct Range {
        QVariant from;
        QVariant to;
    };
    // The range for the typed text (already trimmed).
    using RangeFor = std::function<Range(const QString &typed)>;

    // table and keyField: the program's own names (never typed text); the
    // key field is the table's key, unique and indexed.
    KeyLookup(const QString &objectName, const QString &table, const QString &keyField, RangeFor range,
              QWidget *parent = nullptr);

    // The data store whose table the list reads.
    void setStore(DataStore &store);

    // Reads the first batch of keys that go with `typed` into the list.
    // False when they cannot be read; the list then stays as it was.
    bool offerKeys(const QString &typed);
    // The typed text the list's keys were read for; empty before the first read.
    const QString &offeredText() const { return m_offeredFor; }
    bool hasOffered() const { return m_offered; }

    void showPopup() override;

    // Up to `limit` keys of the range in key order; with `after`, only the
    // keys that follow it. Throws engine::EngineError.
    static QVariantList readKeys(engine::Database &db, const QString &table, const QString &keyField,
                                 const Range &range, const QVariant &after, int limit);

signals:
    // The user settled on a key (see above).
    void keyChosen(const QString &key);

private:
    class Keys;
    QVariantList readBatch(const Range &range, const QVariant &after) const;
    void onEdited(const QString &text);
    void commit(bool picked);

    DataStore *m_store = nullptr;
    QString m_table;
    QString m_keyField;
    RangeFor m_rangeFor;
    Keys *m_keys;                  // the list's rows: the batches read so far
    QStringListModel *m_offers;    // the first batch, offered while typing
    QString m_offeredFor;
    QString m_lastCommitted;
    bool m_committed = false;      // m_lastCommitted is still what the box shows
    bool m_offered = false;
    bool m_edited = false;
};

} // namespace core
