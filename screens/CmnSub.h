#pragma once

#include "data/ErrMsgs.h"

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QWidget>

#include <array>
#include <initializer_list>

class QCheckBox;

namespace engine {
class TableCursor;
}

namespace core {

class CursorSlot;
class DataStore;
class MessageService;

// What the common record procedures call back on the current screen.
class RecordForm {
public:
    virtual ~RecordForm() = default;
    // Clears the controls, then copies the current record into them.
    virtual void DATATOTEXT() = 0;
    // Copies the controls into the current record's fields.
    virtual void texttodata() = 0;
    // Sets the index of the screen's table cursor.
    virtual void SETINDEX() = 0;
};

// One part of the key buffer: a control, whose text at the moment of the
// seek is the value, or a plain value.
class KeyValue {
public:
    KeyValue() = default;
    KeyValue(QWidget *control) : m_control(control), m_isControl(true) {}
    KeyValue(const QVariant &value) : m_value(value) {}
    KeyValue(const QString &value) : m_value(value) {}
    KeyValue(const char *value) : m_value(QString::fromUtf8(value)) {}

    bool isControl() const { return m_isControl; }
    QWidget *control() const { return m_control; }
    // The value now: the control's current text, or the value held.
    QVariant value() const;

private:
    QPointer<QWidget> m_control;
    QVariant m_value;
    bool m_isControl = false;
};

// A text of limited length: cut to the width on assignment. Shorter texts
// stay as they are, so a message put here is shown exactly as the message
// table holds it.
class FixedText {
public:
    explicit FixedText(int width) : m_width(width) {}
    FixedText &operator=(const QString &text)
    {
        m_text = text.left(m_width);
        return *this;
    }
    operator const QString &() const { return m_text; }
    const QString &text() const { return m_text; }
    int width() const { return m_width; }

private:
    int m_width;
    QString m_text;
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

// The common record-screen module: the shared record-screen state and the
// procedures every table screen runs on its current table. One object for
// the whole program. Every message goes through the message service; engine
// errors never leave these procedures.
class CmnSub {
public:
    CmnSub(DataStore &store, MessageService &messages);
    CmnSub(const CmnSub &) = delete;
    CmnSub &operator=(const CmnSub &) = delete;

    static constexpr int kErrMsgWidth = 60;
    static inline const QString kNotAdded = QStringLiteral("RECORD NOT ADDED - TRY AGAIN");
    static inline const QString kNotUpdated = QStringLiteral("RECORD NOT UPDATED - TRY AGAIN");
    static inline const QString kConfirmTitle = QStringLiteral("CONFIRM ACTION BOX");

    ErrMsgs msgs;

    // Shared state; each screen overwrites it before use.
    CursorSlot *CURRENT_TABLE = nullptr;
    RecordForm *CURRENT_FORM = nullptr;
    int KEYCOUNT = 1;
    KeyValue KEYVAL;
    std::array<KeyValue, 6> KEYPART; // parts 1..5; element 0 is not used
    bool VALID = true;
    bool REQUIRED = false;
    bool NUMERIC = false;
    QPointer<QWidget> CHECKCTL;
    FixedText ERRMSG{kErrMsgWidth};

    // Key buffer helpers: a single-part key, or parts 1..n (n from 2 to 5).
    void setKey(const KeyValue &value);
    void setKeyParts(std::initializer_list<KeyValue> parts);
    // The values the next seek will use, in index order.
    QVariantList keyValues() const;

    // Calls SETINDEX of the current screen, then seeks "=" with the key.
    // Returns true when a record matches. Engine errors are thrown.
    bool SEEKREC();

    // Shows the record of the key; when there is none, says so and shows
    // the first record. True when the key's own record is shown.
    bool FINDREC();
    // Adds a record under the key. True when it was written.
    bool ADDREC();
    // Rewrites the record of the key. True when it was written.
    bool UPDATEREC();
    // Deletes the record of the key after confirmation. True when deleted.
    bool DELETEREC();

    // Checks CHECKCTL according to REQUIRED and NUMERIC (see VALIDATE).
    void CHECKFIELD();
    // One step of a screen's validation: when still valid, checks the
    // control with the given flags. Returns VALID.
    bool checkControl(QWidget *control, bool required, bool numeric = false);

    // Moves and shows the record; true when a record was shown.
    bool GOFIRST();
    bool GOLAST();
    bool GONEXT();
    bool GOPREV();

    // Shows a text through the message service, over the current screen.
    void message(const QString &text);

    DataStore &store() { return m_store; }
    MessageService &messages() { return m_messages; }

private:
    engine::TableCursor &table();
    RecordForm &form();
    void showRecordOrEof(engine::TableCursor &cursor);
    bool moveToEnd(bool last);
    bool moveOne(bool forward);
    void reportMoveError(int number);

    DataStore &m_store;
    MessageService &m_messages;
};

} // namespace core
