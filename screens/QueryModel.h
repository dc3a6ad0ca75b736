#pragma once

#include "data/BackgroundQuery.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>

namespace core {

// The rows of a data source's result as the views ask for them. A result
// whose rows can be named (a select from one table) is kept as the list of
// its row identities (8 bytes a row) and the rows near what is shown, read
// again when scrolled back to: memory follows the rows shown, not the
// table's size. Other results keep every row. Rows found by a run still
// going on in the background are added as they come. Read-only; null
// values show as empty text. A column of eight-character dates (by its
// field name, schema::isDateField) shows them as shownDate() writes them
// (displayText); EditRole and value() give the stored text.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kDefaultBatch = 256;
    // Blocks of batchSize() rows held at most for a result kept by identities.
    static constexpr int kCachedBlocks = 16;

    // Reads the rows of these identities (missing ones are gone meanwhile).
    using RowReader = std::function<QHash<qint64, QVariantList>(const QVector<qint64> &ids)>;

    explicit QueryModel(QObject *parent = nullptr);
    ~QueryModel() override;

    // Shows run `run` of `feed` under these columns: the rows found so far
    // and those found later. With a reader the run hands over identities.
    // With keepShown the rows shown stay until the run hands over its first
    // rows or ends without error (a sort: the same rows in a new order).
    void showRun(const QStringList &columns, BackgroundQuery *feed, int run, RowReader reader, bool keepShown);
    // No result at all (no columns, no rows).
    void clear();
    bool hasResult() const { return m_hasResult; }
    // True while the run shown still finds rows in the background.
    bool isRunning() const;

    int batchSize() const { return m_batch; }
    void setBatchSize(int rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Rows the background run has found and the views have not taken yet.
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    void fetchMore(const QModelIndex &parent = {}) override;

    // The text a stored value of a field shows in the views (DisplayRole):
    // a date field's eight-character dates as shownDate() writes them, any
    // other value as its text, null as empty. Safe on any thread.
    static QString displayText(const QString &field, const QVariant &value);

    // The rows shown, in their order, for reading them again elsewhere (an
    // export): a result kept by identities gives those, any other its rows.
    bool keptByIdentity() const { return m_keyset; }
    QVector<qint64> rowIdentities() const { return m_ids; }
    QVector<QVariantList> heldResult() const { return m_rows; }

    QStringList fieldNames() const { return m_columns; }
    QString fieldName(int column) const { return m_columns.value(column); }
    // Column of a field, letter case ignored; -1 when there is none.
    int fieldIndex(const QString &name) const;
    // The stored value (null stays null); invalid QVariant outside the rows.
    QVariant value(int row, int column) const;
    // Waits for a background run until the row exists or the run ends;
    // true when it exists. Meant for rows already shown or about to be.
    bool fetchUntil(int row);
    // First row held in memory whose column equals the text (letter case
    // folded as the engine folds it); -1 when none. Reads nothing more.
    int findLoaded(int column, const QString &text) const;
    // The same for several columns at once (a key of several parts).
    int findLoaded(const QList<int> &columns, const QVariantList &values) const;
    // The row of a row identity, for a result kept by identities; -1 when
    // the rows found so far lack it or the result keeps whole rows.
    int rowOfId(qint64 id) const;
    bool keptByIdentities() const { return m_keyset; }
    // Rows held in memory now.
    qsizetype heldRows() const;

    // An error met while the run read on ends the rows; this is its number (0 when none).
    int fetchErrorNumber() const { return m_fetchError; }

signals:
    void fetchFailed(int number, const QString &description);
    // A run's rows have replaced what was shown.
    void resultShown();
    // The background run ended: 0, 3059 when stopped, or an engine error.
    void runFinished(int errorNumber, const QString &description);

private:
    struct Block {
        QVector<QVariantList> rows;
        quint64 used = 0;
    };
    void install();
    void drain();
    void append(const QVector<qint64> &ids, const QVector<QVariantList> &rows);
    const QVariantList *row(int r) const;
    void onRowsFound(int run);
    void onFinished(int run, int error, const QString &description);

    QStringList m_columns;
    bool m_hasResult = false;
    bool m_keyset = false;
    QVector<qint64> m_ids;
    QVector<QVariantList> m_rows;
    mutable QHash<int, Block> m_blocks;
    mutable quint64 m_clock = 0;
    RowReader m_reader;

    QPointer<BackgroundQuery> m_feed;
    int m_run = 0;
    bool m_awaitingFirst = false;
    QStringList m_nextColumns;
    RowReader m_nextReader;
    QMetaObject::Connection m_found;
    QMetaObject::Connection m_finished;

    int m_fetchError = 0;
    int m_batch = kDefaultBatch;
};

} // namespace core
