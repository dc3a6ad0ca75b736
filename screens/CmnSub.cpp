#include "screens/CmnSub.h"

#include "screens/DateSelector.h"
#include "screens/LookupCombo.h"
#include "data/OpenDb.h"
#include "screens/Services.h"
#include "engine/EngineError.h"
#include "engine/TableCursor.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>

namespace core {

namespace {

const QString kPrimaryKeySeek = QStringLiteral("=");

// A stored check value other than 0 and 1 that the box shows unticked and
// gives back unchanged until the user ticks or clears the box.
constexpr const char *kKeptCheckValue = "velmKeptCheckValue";
constexpr const char *kCheckTracked = "velmCheckTracked";

void setCheckValue(QCheckBox *check, const QString &text)
{
    if (!check->property(kCheckTracked).toBool()) {
        check->setProperty(kCheckTracked, true);
        QObject::connect(check, &QAbstractButton::toggled, check,
                         [check] { check->setProperty(kKeptCheckValue, QVariant()); });
    }
    const QString value = text.trimmed();
    bool ok = false;
    const double n = value.toDouble(&ok);
    // Ticked for the value 1 only, as the main menu grants a permission.
    check->setChecked(ok && n == 1.0);
    const bool plain = value.isEmpty() || (ok && (n == 0.0 || n == 1.0));
    check->setProperty(kKeptCheckValue, plain ? QVariant() : QVariant(value));
}

} // namespace

QVariant checkBoxValue(const QCheckBox *check)
{
    if (!check)
        return {};
    const QVariant kept = check->property(kKeptCheckValue);
    if (kept.isValid())
        return kept;
    return check->isChecked() ? 1 : 0;
}

QVariant KeyValue::value() const
{
    if (m_isControl)
        return controlText(m_control);
    return m_value;
}

QString controlText(const QWidget *control)
{
    if (!control)
        return {};
    if (auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    if (auto *lookup = qobject_cast<const LookupCombo *>(control))
        return lookup->text();
    if (auto *combo = qobject_cast<const QComboBox *>(control))
        return combo->currentText();
    if (auto *check = qobject_cast<const QCheckBox *>(control))
        return checkBoxValue(check).toString();
    if (auto *plain = qobject_cast<const QPlainTextEdit *>(control))
        return plain->toPlainText();
    if (auto *rich = qobject_cast<const QTextEdit *>(control))
        return rich->toPlainText();
    if (auto *spin = qobject_cast<const QAbstractSpinBox *>(control))
        return spin->text();
    if (auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (auto *date = qobject_cast<const DateSelector *>(control))
        return date->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    return {};
}

void setControlText(QWidget *control, const QString &text)
{
    if (!control)
        return;
    if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        edit->setText(text);
        // A long value opens at its beginning, not scrolled to its end.
        edit->setCursorPosition(0);
    } else if (auto *lookup = qobject_cast<LookupCombo *>(control)) {
        lookup->setBoundText(text);
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        } else {
            const int i = combo->findText(text);
            if (i >= 0)
                combo->setCurrentIndex(i);
        }
    } else if (auto *check = qobject_cast<QCheckBox *>(control)) {
        setCheckValue(check, text);
    } else if (auto *plain = qobject_cast<QPlainTextEdit *>(control)) {
        plain->setPlainText(text);
    } else if (auto *rich = qobject_cast<QTextEdit *>(control)) {
        rich->setPlainText(text);
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        label->setText(text);
    } else if (auto *date = qobject_cast<DateSelector *>(control)) {
        date->setText(text);
    }
}

bool isNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[ \\t]*[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)[ \\t]*$"));
    return number.match(text).hasMatch();
}

CmnSub::CmnSub(DataStore &store, MessageService &messages)
    : m_store(store), m_messages(messages)
{
    msgs.LOADMSGS();
}

void CmnSub::setKey(const KeyValue &value)
{
    KEYCOUNT = 1;
    KEYVAL = value;
}

void CmnSub::setKeyParts(std::initializer_list<KeyValue> parts)
{
    const int n = int(parts.size());
    if (n <= 1) {
        setKey(n == 1 ? *parts.begin() : KeyValue());
        return;
    }
    KEYCOUNT = qMin(n, 5);
    int i = 1;
    for (const KeyValue &part : parts) {
        if (i > 5)
            break;
        KEYPART[i++] = part;
    }
}

QVariantList CmnSub::keyValues() const
{
    QVariantList values;
    if (KEYCOUNT >= 2 && KEYCOUNT <= 5) {
        for (int i = 1; i <= KEYCOUNT; ++i)
            values.append(KEYPART[i].value());
    } else {
        values.append(KEYVAL.value());
    }
    return values;
}

engine::TableCursor &CmnSub::table()
{
    if (!CURRENT_TABLE)
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("No current table"));
    return CURRENT_TABLE->cursor();
}

RecordForm &CmnSub::form()
{
    if (!CURRENT_FORM)
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("No current screen"));
    return *CURRENT_FORM;
}

void CmnSub::message(const QString &text)
{
    m_messages.show(text, dynamic_cast<QWidget *>(CURRENT_FORM));
}

bool CmnSub::SEEKREC()
{
    engine::TableCursor &cursor = table();
    form().SETINDEX();
    cursor.seek(kPrimaryKeySeek, keyValues());
    return !cursor.noMatch();
}

void CmnSub::reportMoveError(int number)
{
    message(number == engine::ErrNoCurrentRecord ? msgs.MSG_EOF : msgs.MSG_DATAERROR);
}

// Shows the record the cursor stands on; an empty table has none, which is
// reported as "no current record" whether or not the move itself said so.
void CmnSub::showRecordOrEof(engine::TableCursor &cursor)
{
    if (!cursor.hasCurrent())
        throw engine::EngineError(engine::ErrNoCurrentRecord, QStringLiteral("No current record"));
    form().DATATOTEXT();
}

bool CmnSub::FINDREC()
{
    try {
        const bool found = SEEKREC();
        engine::TableCursor &cursor = table();
        if (!found) {
            message(msgs.MSG_NOTFOUND);
            cursor.moveFirst();
        }
        showRecordOrEof(cursor);
        return found;
    } catch (const engine::EngineError &e) {
        reportMoveError(e.number());
        return false;
    }
}

bool CmnSub::ADDREC()
{
    engine::TableCursor *cursor = nullptr;
    try {
        const bool exists = SEEKREC();
        cursor = &table();
        if (exists) {
            message(msgs.MSG_DUPLICATE);
            return false;
        }
        cursor->addNew();
        form().texttodata();
        cursor->update();
    } catch (const engine::EngineError &) {
        // The engine writes in a transaction: a failed write leaves nothing.
        if (cursor && cursor->editing())
            cursor->cancelUpdate();
        message(kNotAdded);
        return false;
    }
    message(msgs.MSG_ADDED);
    return true;
}

bool CmnSub::UPDATEREC()
{
    engine::TableCursor *cursor = nullptr;
    try {
        const bool exists = SEEKREC();
        cursor = &table();
        if (!exists) {
            message(msgs.MSG_NOTFOUND);
            return false;
        }
        cursor->edit();
        form().texttodata();
        cursor->update();
    } catch (const engine::EngineError &) {
        if (cursor && cursor->editing())
            cursor->cancelUpdate();
        message(kNotUpdated);
        return false;
    }
    message(msgs.MSG_UPDATED);
    return true;
}

bool CmnSub::DELETEREC()
{
    try {
        if (!SEEKREC()) {
            message(msgs.MSG_NOTFOUND);
            return false;
        }
        if (!m_messages.confirm(msgs.MSG_CONTINUE, kConfirmTitle, true,
                                MessageService::Icon::Critical,
                                dynamic_cast<QWidget *>(CURRENT_FORM)))
            return false;
        table().deleteRecord();
    } catch (const engine::EngineError &) {
        message(msgs.MSG_DATAERROR);
        return false;
    }
    message(msgs.MSG_DELETED);
    return true;
}

void CmnSub::CHECKFIELD()
{
    const QString text = controlText(CHECKCTL);
    if (VALID && REQUIRED) {
        if (text.isEmpty() || text == QLatin1String(" ")) {
            ERRMSG = msgs.MSG_REQUIRED;
            if (CHECKCTL)
                CHECKCTL->setFocus();
            VALID = false;
        }
        REQUIRED = false;
    }
    if (VALID && NUMERIC) {
        if (!isNumber(text)) {
            ERRMSG = msgs.MSG_INVALID;
            if (CHECKCTL)
                CHECKCTL->setFocus();
            VALID = false;
        }
        NUMERIC = false;
    }
    if (VALID && !REQUIRED) {
        if (text.isEmpty() && CHECKCTL)
            setControlText(CHECKCTL, QStringLiteral(" "));
    }
    // The flags describe one call only; never let them carry over to the
    // next control (for instance after a call made while not valid).
    REQUIRED = false;
    NUMERIC = false;
}

bool CmnSub::checkControl(QWidget *control, bool required, bool numeric)
{
    CHECKCTL = control;
    if (VALID) {
        REQUIRED = required;
        NUMERIC = numeric;
        CHECKFIELD();
    }
    return VALID;
}

// GOFIRST and GOLAST: the first or last record in index order.
bool CmnSub::moveToEnd(bool last)
{
    try {
        engine::TableCursor &cursor = table();
        form().SETINDEX();
        if (last)
            cursor.moveLast();
        else
            cursor.moveFirst();
        showRecordOrEof(cursor);
        return true;
    } catch (const engine::EngineError &e) {
        reportMoveError(e.number());
        return false;
    }
}

// GONEXT and GOPREV: one record on from where the cursor stands. Passing
// the end (start) says so and shows the last (first) record again; a cursor
// already past it does nothing.
bool CmnSub::moveOne(bool forward)
{
    try {
        engine::TableCursor &cursor = table();
        const auto beyond = [&] { return forward ? cursor.eof() : cursor.bof(); };
        if (beyond())
            return false;
        if (forward)
            cursor.moveNext();
        else
            cursor.movePrevious();
        if (beyond()) {
            message(msgs.MSG_EOF);
            if (forward)
                cursor.moveLast();
            else
                cursor.moveFirst();
            showRecordOrEof(cursor);
            return false;
        }
        showRecordOrEof(cursor);
        return true;
    } catch (const engine::EngineError &e) {
        reportMoveError(e.number());
        return false;
    }
}

bool CmnSub::GOFIRST()
{
    return moveToEnd(false);
}

bool CmnSub::GOLAST()
{
    return moveToEnd(true);
}

bool CmnSub::GONEXT()
{
    return moveOne(true);
}

bool CmnSub::GOPREV()
{
    return moveOne(false);
}

} // namespace core
