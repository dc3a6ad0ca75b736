#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QWidget;

namespace core {

// Tells whether a screen's controls hold edits that are not saved yet. It
// keeps the text of each watched control as it was when the record was
// shown, written or cleared (markClean), and compares that control again
// whenever it changes; an edit undone by hand is no edit any more. A text
// of one blank counts as empty: a save writes an empty field so.
class EditWatch : public QObject {
    Q_OBJECT
public:
    explicit EditWatch(QObject *parent = nullptr);

    // Text boxes, lists, check boxes, option buttons, text areas and date
    // selectors; a control watched already is left as it is.
    void watch(QWidget *control);
    bool watches(const QWidget *control) const { return m_clean.contains(control); }

    // What the controls hold now is what is stored (or a cleared screen).
    void markClean();
    bool unsaved() const { return !m_changed.isEmpty(); }
    // The watched controls whose text differs from the clean one.
    QList<QWidget *> changedControls() const;

    // The text a control is compared by: an option button's state, else
    // the control's text (controlText), one blank as empty.
    static QString comparedText(const QWidget *control);

signals:
    void unsavedChanged(bool unsaved);

private:
    void recheck(QWidget *control);
    void forget(QObject *control);
    void announce(bool wasUnsaved);

    QHash<const QWidget *, QString> m_clean;
    QList<QWidget *> m_changed;
};

} // namespace core
