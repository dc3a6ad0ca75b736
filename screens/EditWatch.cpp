#include "screens/EditWatch.h"

#include "screens/CmnSub.h"
#include "screens/DateSelector.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace core {

EditWatch::EditWatch(QObject *parent) : QObject(parent) {}

QString EditWatch::comparedText(const QWidget *control)
{
    // An option button stands for its state, not its caption.
    if (auto *button = qobject_cast<const QAbstractButton *>(control);
        button && button->isCheckable() && !qobject_cast<const QCheckBox *>(control))
        return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    const QString text = controlText(control);
    return text == QLatin1String(" ") ? QString() : text;
}

void EditWatch::watch(QWidget *control)
{
    if (!control || m_clean.contains(control))
        return;
    m_clean.insert(control, comparedText(control));
    const auto changed = [this, control] { recheck(control); };
    if (auto *box = qobject_cast<QLineEdit *>(control)) {
        connect(box, &QLineEdit::textChanged, this, changed);
    } else if (auto *list = qobject_cast<QComboBox *>(control)) {
        connect(list, &QComboBox::currentTextChanged, this, changed);
        connect(list, &QComboBox::editTextChanged, this, changed);
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        connect(button, &QAbstractButton::toggled, this, changed);
    } else if (auto *area = qobject_cast<QPlainTextEdit *>(control)) {
        connect(area, &QPlainTextEdit::textChanged, this, changed);
    } else if (auto *date = qobject_cast<DateSelector *>(control)) {
        connect(date, &DateSelector::picked, this, changed);
        for (QComboBox *part : {date->yearList(), date->monthList(), date->dayList()})
            connect(part, &QComboBox::currentIndexChanged, this, changed);
    }
    connect(control, &QObject::destroyed, this, &EditWatch::forget);
}

void EditWatch::recheck(QWidget *control)
{
    const auto clean = m_clean.constFind(control);
    if (clean == m_clean.constEnd())
        return;
    const bool wasUnsaved = unsaved();
    const bool differs = comparedText(control) != *clean;
    const qsizetype at = m_changed.indexOf(control);
    if (differs && at < 0)
        m_changed.append(control);
    else if (!differs && at >= 0)
        m_changed.removeAt(at);
    announce(wasUnsaved);
}

void EditWatch::markClean()
{
    const bool wasUnsaved = unsaved();
    for (auto it = m_clean.begin(); it != m_clean.end(); ++it)
        it.value() = comparedText(it.key());
    m_changed.clear();
    announce(wasUnsaved);
}

QList<QWidget *> EditWatch::changedControls() const
{
    return m_changed;
}

// A control going away with its screen: nothing is announced any more.
void EditWatch::forget(QObject *control)
{
    // Only the address is used: the control is being destroyed.
    for (auto it = m_clean.begin(); it != m_clean.end();) {
        if (static_cast<const QObject *>(it.key()) == control)
            it = m_clean.erase(it);
        else
            ++it;
    }
    m_changed.removeIf([control](QWidget *w) { return static_cast<QObject *>(w) == control; });
}

void EditWatch::announce(bool wasUnsaved)
{
    if (unsaved() != wasUnsaved)
        emit unsavedChanged(unsaved());
}

} // namespace core
