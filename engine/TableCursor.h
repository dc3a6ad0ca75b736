#pragma once

#include "engine/Database.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

namespace engine {

enum class WriteAction { Add, Update, Delete };

// What a cursor wrote, as its observer sees it: records in field order.
// oldRecord is empty for an add, newRecord for a delete. The new record is
// read back after the write, so it holds what was stored (an auto-increment
// number, a default, a number field's conversion).
struct WriteEvent {
    QString table;
    WriteAction action = WriteAction::Add;
    QStringList fieldNames;
    QStringList keyFieldNames;
    QVariantList oldRecord;
    QVariantList newRecord;
};

// Called inside the write's transaction, after the row was written and
// before the commit; throwing rolls the write back.
using WriteObserver = std::function<void(const WriteEvent &)>;

// An updatable cursor on one table, in the manner of a table-type recordset:
// an index (only "PRIMARYKEY"), seek "=", moves, add/edit/update/delete and
// fields by name. The table is never loaded: every seek and move is one
// indexed query from the current key (keyset navigation), prepared once per
// cursor and run again with new values. Where the backend hears of every
// change to the table (a server), a move reads the next few records with
// the one it shows and the following moves take them, for as long as the
// table is unchanged since they were read. Records are locked only while a
// write runs (optimistic locking); a rewrite or delete touches the record
// only while it still holds the key that was read (a rewrite: only while
// every field still holds what was read).
class TableCursor {
public:
    // Opens a cursor on the table (name compared without regard to case).
    // Throws 3011 when the table does not exist.
    TableCursor(Database &db, const QString &table);
    ~TableCursor();
    TableCursor(const TableCursor &) = delete;
    TableCursor &operator=(const TableCursor &) = delete;

    const QString &tableName() const { return m_table; }
    QStringList fieldNames() const { return m_fieldNames; }

    // Only "PRIMARYKEY" exists; an empty name means stored (table) order.
    void setIndex(const QString &name);
    QString index() const { return m_index; }

    // Seek with comparison "=" and one to five key values in index order.
    // Positions on the match, or sets noMatch() (the position is then undefined).
    void seek(const QString &comparison, const QVariantList &keyValues);
    bool noMatch() const { return m_noMatch; }

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    bool eof() const { return m_state == State::AfterLast || m_state == State::Empty; }
    bool bof() const { return m_state == State::BeforeFirst || m_state == State::Empty; }
    bool hasCurrent() const { return m_state == State::OnRecord; }

    // Number of records in the table.
    qint64 recordCount();

    // Field access. value() of a null field is a null QVariant.
    // Throws 3021 without a current record, 3265 for an unknown field.
    QVariant value(const QString &field) const;
    QVariant value(int index) const;
    // The current record's fields as read, in field order (not the edit
    // buffer). Throws 3021 without a current record.
    QVariantList record() const;
    QStringList keyFieldNames() const { return m_pkColumns; }
    void setValue(const QString &field, const QVariant &value);
    void setValue(int index, const QVariant &value);

    void addNew();
    void edit();
    // Writes the buffer in a transaction. After an add the cursor stays where
    // it was; after an edit it shows the rewritten record. An edit of a
    // record that another user deleted or changed since it was read, or whose
    // row now holds another record, is refused with 3197 and nothing is written.
    void update();
    void cancelUpdate();
    // Deletes the current record; a record already deleted by another user
    // stays deleted, and a row that now holds another record is left alone.
    void deleteRecord();
    bool editing() const { return m_edit != EditMode::None; }

    // Auto-increment value given by the last add (0 when none).
    qint64 lastAutoValue() const { return m_lastAuto; }

    // Sees every add, rewrite and delete of this cursor that changed a row
    // (an empty one removes it).
    void setWriteObserver(WriteObserver observer) { m_observer = std::move(observer); }

private:
    enum class State { Empty, BeforeFirst, OnRecord, AfterLast, Deleted };
    enum class EditMode { None, Adding, Editing };

    // The statements a cursor runs, each prepared on first use.
    enum class Query { First, Last, Next, Previous, SeekEqual, SeekAfter, SeekFrom, SeekBefore, SeekUpTo, ByRowId };

    int fieldIndex(const QString &field) const;
    QStringList orderColumns() const;
    QString orderBy(bool descending) const;
    QString selectSql(Query query, int keyParts, int limit = 1) const;
    Statement &selectStatement(Query query, int keyParts, int limit = 1);
    Statement &writeStatement(const QString &sql);
    bool fetchOne(Query query, const QVariantList &binds, int keyParts = 0);
    // A move to the next or previous record (Query::Next or Previous) from
    // the current one: false when there is none.
    bool step(Query direction);
    // The move from the rows read ahead; false when they do not hold it.
    bool takeReadAhead(Query direction);
    void loadRow(const Statement &statement);
    // The fields of the statement's row (after the row identity), in field order.
    QVariantList fieldsOf(const Statement &statement) const;
    QVariantList currentOrderKey() const;
    // WHERE text and values that find the current row only while it holds
    // the key that was read.
    QString sameRecordCondition(QVariantList &values) const;
    // The same, and only while every field still holds what was read.
    QString unchangedRecordCondition(QVariantList &values) const;
    void requireCurrent() const;
    // The row with this row number as stored now, without moving the cursor
    // (empty when there is none).
    QVariantList storedRow(qint64 rowId);
    void tellObserver(WriteAction action, QVariantList oldRecord, QVariantList newRecord) const;

    Database &m_db;
    QString m_table;
    QStringList m_fieldNames;
    QList<bool> m_integer; // declared INTEGER: takes whole numbers only
    QString m_selectSql;
    QHash<QString, int> m_fieldByLower;
    QStringList m_pkColumns;
    QString m_index;
    int m_autoColumn = -1;
    QString m_rowIdName;  // the backend's row identity, as SQL text
    QString m_sameValue;  // " IS ?" or the backend's null-safe equal

    QHash<int, Statement *> m_selects;     // by query and key parts, owned
    QHash<QString, Statement *> m_writes;  // by SQL text, owned

    State m_state = State::BeforeFirst;
    bool m_noMatch = false;
    qint64 m_rowId = 0;
    QVariantList m_row;     // current record
    QVariantList m_buffer;  // edit / add buffer
    QList<bool> m_dirty;
    EditMode m_edit = EditMode::None;
    qint64 m_lastAuto = 0;

    // The records after (or before) the current one in the last move's
    // direction and order, as read with it, and the backend's change stamp
    // they were read under.
    struct ReadAhead {
        Query direction = Query::Next;
        QString index;
        quint64 stamp = 0;
        QList<std::pair<qint64, QVariantList>> rows;
        bool reachedEnd = false; // nothing lies beyond them
    };
    int m_readAhead = 1; // records one move reads (the backend's choice)
    std::optional<ReadAhead> m_ahead;
    WriteObserver m_observer;
};

} // namespace engine
