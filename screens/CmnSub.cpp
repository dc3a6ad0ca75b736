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

void CmnSub::message(const QString &text, RecordForm &form)
{
    m_messages.show(text, dynamic_cast<QWidget *>(&form));
}

bool CmnSub::SEEKREC(RecordForm &form, const RecordKey &key)
{
    engine::TableCursor &cursor = form.recordTable();
    form.SETINDEX();
    cursor.seek(kPrimaryKeySeek, key);
    return !cursor.noMatch();
}

void CmnSub::reportMoveError(RecordForm &form, int number)
{
    message(number == engine::ErrNoCurrentRecord ? msgs.MSG_EOF : msgs.MSG_DATAERROR, form);
}

// Shows the record the cursor stands on; an empty table has none, which is
// reported as "no current record" whether or not the move itself said so.
void CmnSub::showRecordOrEof(RecordForm &form, engine::TableCursor &cursor)
{
    if (!cursor.hasCurrent())
        throw engine::EngineError(engine::ErrNoCurrentRecord, QStringLiteral("No current record"));
    form.DATATOTEXT();
    form.shownRecord().take(cursor);
    form.recordInControls();
}

void CmnSub::keepAdded(RecordForm &form, const RecordKey &key)
{
    try {
        if (SEEKREC(form, key)) {
            form.shownRecord().take(form.recordTable());
            form.recordInControls();
            return;
        }
    } catch (const engine::EngineError &) {
        // The record is written; only the snapshot is missing.
    }
    form.shownRecord().clear();
}

bool CmnSub::FINDREC(RecordForm &form, const RecordKey &key)
{
    try {
        const bool found = SEEKREC(form, key);
        engine::TableCursor &cursor = form.recordTable();
        if (!found) {
            message(msgs.MSG_NOTFOUND, form);
            cursor.moveFirst();
        }
        showRecordOrEof(form, cursor);
        return found;
    } catch (const engine::EngineError &e) {
        reportMoveError(form, e.number());
        return false;
    }
}

bool CmnSub::ADDREC(RecordForm &form, const RecordKey &key)
{
    engine::TableCursor *cursor = nullptr;
    try {
        const bool exists = SEEKREC(form, key);
        cursor = &form.recordTable();
        if (exists) {
            message(msgs.MSG_DUPLICATE, form);
            return false;
        }
        cursor->addNew();
        form.texttodata();
        cursor->update();
    } catch (const engine::EngineError &) {
        // The engine writes in a transaction: a failed write leaves nothing.
        if (cursor && cursor->editing())
            cursor->cancelUpdate();
        message(kNotAdded, form);
        return false;
    }
    keepAdded(form, key);
    message(msgs.MSG_ADDED, form);
    return true;
}

bool CmnSub::UPDATEREC(RecordForm &form, const RecordKey &key)
{
    engine::TableCursor *cursor = nullptr;
    try {
        const bool exists = SEEKREC(form, key);
        cursor = &form.recordTable();
        if (!exists) {
            message(msgs.MSG_NOTFOUND, form);
            return false;
        }
        if (form.shownRecord().changedSince(*cursor)) {
            // Another workstation saved this record after the screen read
            // it; find shows that change so the clerk can redo the edit.
            message(kNotUpdated, form);
            return false;
        }
        cursor->edit();
        form.texttodata();
        cursor->update();
        if (cursor->hasCurrent()) {
            form.shownRecord().take(*cursor);
            form.recordInControls();
        } else {
            form.shownRecord().clear();
        }
    } catch (const engine::EngineError &) {
        if (cursor && cursor->editing())
            cursor->cancelUpdate();
        message(kNotUpdated, form);
        return false;
    }
    message(msgs.MSG_UPDATED, form);
    return true;
}

bool CmnSub::DELETEREC(RecordForm &form, const RecordKey &key)
{
    try {
        if (!SEEKREC(form, key)) {
            message(msgs.MSG_NOTFOUND, form);
            return false;
        }
        if (!m_messages.confirm(msgs.MSG_CONTINUE, kConfirmTitle, true,
                                MessageService::Icon::Critical, dynamic_cast<QWidget *>(&form)))
            return false;
        form.recordTable().deleteRecord();
        form.shownRecord().clear();
    } catch (const engine::EngineError &) {
        message(msgs.MSG_DATAERROR, form);
        return false;
    }
    message(msgs.MSG_DELETED, form);
    return true;
}

CheckResult CmnSub::CHECKFIELD(const QString &text, bool required, bool numeric) const
{
    if (required && (text.isEmpty() || text == QLatin1String(" ")))
        return CheckResult::failed(msgs.MSG_REQUIRED);
    if (numeric && !isNumber(text))
        return CheckResult::failed(msgs.MSG_INVALID);
    return {};
}

// GOFIRST and GOLAST: the first or last record in index order.
bool CmnSub::moveToEnd(RecordForm &form, bool last)
{
    try {
        engine::TableCursor &cursor = form.recordTable();
        form.SETINDEX();
        if (last)
            cursor.moveLast();
        else
            cursor.moveFirst();
        showRecordOrEof(form, cursor);
        return true;
    } catch (const engine::EngineError &e) {
        reportMoveError(form, e.number());
        return false;
    }
}

// GONEXT and GOPREV: one record on from where the cursor stands. Passing
// the end (start) says so and shows the last (first) record again; a cursor
// already past it does nothing.
bool CmnSub::moveOne(RecordForm &form, bool forward)
{
    try {
        engine::TableCursor &cursor = form.recordTable();
        const auto beyond = [&] { return forward ? cursor.eof() : cursor.bof(); };
        if (beyond())
            return false;
        if (forward)
            cursor.moveNext();
        else
            cursor.movePrevious();
        if (beyond()) {
            message(msgs.MSG_EOF, form);
            if (forward)
                cursor.moveLast();
            else
                cursor.moveFirst();
            showRecordOrEof(form, cursor);
            return false;
        }
        showRecordOrEof(form, cursor);
        return true;
    } catch (const engine::EngineError &e) {
        reportMoveError(form, e.number());
        return false;
    }
}

bool CmnSub::GOFIRST(RecordForm &form)
{
    return moveToEnd(form, false);
}

bool CmnSub::GOLAST(RecordForm &form)
{
    return moveToEnd(form, true);
}

bool CmnSub::GONEXT(RecordForm &form)
{
    return moveOne(form, true);
}

bool CmnSub::GOPREV(RecordForm &form)
{
    return moveOne(form, false);
}

} // namespace core
