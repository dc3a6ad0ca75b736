#pragma once

#include "data/ErrMsgs.h"
#include "screens/RecordSnapshot.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QWidget>

class QCheckBox;

namespace engine {
class TableCursor;
}

namespace core {

class DataStore;
class MessageService;

// What the common record procedures work on: a screen, which they call back
// by name, and the open cursor of its table.
class RecordForm {
public:
    virtual ~RecordForm() = default;
    // Clears the controls, then copies the current record into them.
    virtual void DATATOTEXT() = 0;
    // Copies the controls into the current record's fields.
    virtual void texttodata() = 0;
    // Sets the index of the screen's table cursor.
    virtual void SETINDEX() = 0;
    // The open cursor the procedures move, read and write (throws
    // EngineError when the screen's table is not open).
    virtual engine::TableCursor &recordTable() = 0;

    // The record the common procedures last showed (or wrote), as read;
    // update refuses to write over a change made to it since.
    RecordSnapshot &shownRecord() { return m_shown; }

    // Called by the procedures once the controls hold the record under the
    // cursor: after DATATOTEXT showed it, or after it was written from
    // them. The cursor is still open and on that record.
    virtual void recordInControls() {}

private:
    RecordSnapshot m_shown;
};

// The values of a record's key in index order: one for a single-part key,
// two to five for a key of several parts.
using RecordKey = QVariantList;

// The outcome of a check: valid, or the message that says why not, cut to
// the width of a check message.
struct CheckResult {
    static constexpr int kMessageWidth = 60;

    bool valid = true;
    QString message;

    static CheckResult failed(const QString &message) { return {false, message.left(kMessageWidth)}; }
};

// The text a control shows (line edit, combo, look-up list, text area,
// spin box, label, button caption, date selector); checkBoxValue() for a
// check box; empty for anything else or no control.
QString controlText(const QWidget *control);
// Puts a text into a control the same way; a look-up list receives it as
// its bound text. A check box is ticked for the value 1 only; any value
// other than 0 and 1 is kept on the box (shown unticked) until the user
// ticks or clears it.
void setControlText(QWidget *control, const QString &text);
// The value a check box stands for: 1 ticked, 0 cleared, or the stored
// value it was given (other than 0 and 1) while nobody has touched it. So
// saving a record never turns a value nobody changed into another one.
QVariant checkBoxValue(const QCheckBox *check);

// What a user would call a number: optional sign, digits with at most one
// decimal point, blanks around it allowed. An empty text is not a number.
bool isNumber(const QString &text);

// The common record procedures every table screen runs on its table. One
// object for the whole program; it holds no screen and no key: each
// procedure is handed the screen and the key values it works with. Every
// message goes through the message service, over the screen; engine errors
// never leave these procedures (SEEKREC excepted).
class CmnSub {
public:
    CmnSub(DataStore &store, MessageService &messages);
    CmnSub(const CmnSub &) = delete;
    CmnSub &operator=(const CmnSub &) = delete;

    static inline const QString kNotAdded = QStringLiteral("RECORD NOT ADDED - TRY AGAIN");
    static inline const QString kNotUpdated = QStringLiteral("RECORD NOT UPDATED - TRY AGAIN");
    static inline const QString kConfirmTitle = QStringLiteral("CONFIRM ACTION BOX");

    ErrMsgs msgs;

    // Calls SETINDEX of the screen, then seeks "=" with the key on its
    // table. Returns true when a record matches. Engine errors are thrown.
    bool SEEKREC(RecordForm &form, const RecordKey &key);

    // Shows the record of the key; when there is none, says so and shows
    // the first record. True when the key's own record is shown.
    bool FINDREC(RecordForm &form, const RecordKey &key);
    // Adds a record under the key. True when it was written.
    bool ADDREC(RecordForm &form, const RecordKey &key);
    // Rewrites the record of the key. True when it was written. When the
    // screen showed that record and it has changed since (another
    // workstation), nothing is written and kNotUpdated says so.
    bool UPDATEREC(RecordForm &form, const RecordKey &key);
    // Deletes the record of the key after confirmation. True when deleted.
    bool DELETEREC(RecordForm &form, const RecordKey &key);

    // Checks a field's text: a required field must not be empty nor a
    // single blank (MSG_REQUIRED); a numeric one must hold a number
    // (MSG_INVALID). The required check comes first.
    CheckResult CHECKFIELD(const QString &text, bool required, bool numeric = false) const;

    // Moves and shows the record; true when a record was shown.
    bool GOFIRST(RecordForm &form);
    bool GOLAST(RecordForm &form);
    bool GONEXT(RecordForm &form);
    bool GOPREV(RecordForm &form);

    DataStore &store() { return m_store; }
    MessageService &messages() { return m_messages; }

private:
    // Shows a text through the message service, over the screen.
    void message(const QString &text, RecordForm &form);
    void showRecordOrEof(RecordForm &form, engine::TableCursor &cursor);
    // After an add: the record of the key as written becomes the shown one.
    void keepAdded(RecordForm &form, const RecordKey &key);
    bool moveToEnd(RecordForm &form, bool last);
    bool moveOne(RecordForm &form, bool forward);
    void reportMoveError(RecordForm &form, int number);

    DataStore &m_store;
    MessageService &m_messages;
};

} // namespace core
