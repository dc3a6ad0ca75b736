#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractButton;
class QWidget;

namespace core {

class GuideService;

// The keys every screen shares. None of them is a text-editing key of a
// text box (Ctrl+Z/X/C/V/A, Ctrl+Delete, Home/End, Ctrl+Home/End), so typing
// is never taken over; Page Up/Down mean previous/next whatever the
// direction the screen reads in.
namespace keys {
inline const QKeySequence kFind{Qt::CTRL | Qt::Key_F};
inline const QKeySequence kUpdate{Qt::CTRL | Qt::Key_S};
inline const QKeySequence kAdd{Qt::CTRL | Qt::Key_N};
inline const QKeySequence kDelete{Qt::CTRL | Qt::SHIFT | Qt::Key_Delete};
inline const QKeySequence kClear{Qt::CTRL | Qt::Key_E};
inline const QKeySequence kFirst{Qt::ALT | Qt::Key_Home};
inline const QKeySequence kLast{Qt::ALT | Qt::Key_End};
inline const QKeySequence kPrevious{Qt::CTRL | Qt::Key_PageUp};
inline const QKeySequence kNext{Qt::CTRL | Qt::Key_PageDown};
inline const QKeySequence kList{Qt::CTRL | Qt::Key_L};
inline const QKeySequence kRefresh{Qt::Key_F5};
inline const QKeySequence kClose{Qt::Key_Escape};
inline const QKeySequence kHelp{Qt::Key_F1};
// In a list grid: export the list (Excel or CSV).
inline const QKeySequence kExportList{Qt::CTRL | Qt::SHIFT | Qt::Key_X};
} // namespace keys

// The keyboard of one screen: keys that press the screen's own buttons
// while the focus is anywhere in the screen, the first field focused when
// the screen opens, and F1 for a small window listing the keys, with a
// link to the screen's part of the user guide.
//
//     auto *keys = new core::ScreenKeys(this);   // owned by the screen
//     keys->bind(core::keys::kUpdate, m_update);
//     keys->bind(core::keys::kClose, m_close);
//     keys->setFocusArea(fieldsWidget);           // or setFirstFocus(control)
//
// A key acts exactly as a click on its button, so a disabled or hidden
// button (update on a view-only screen, list_ok while the list is hidden)
// does nothing.
class ScreenKeys : public QObject {
    Q_OBJECT
public:
    static inline const QString kHelpName = QStringLiteral("keyboardHelp");
    static inline const QString kHelpTableName = QStringLiteral("keyboardHelpTable");
    static inline const QString kGuideLinkName = QStringLiteral("guideLink");

    explicit ScreenKeys(QWidget *screen);

    QWidget *screen() const { return m_screen; }

    // The key clicks the button. description: the action in the keyboard
    // help; the button's tooltip (or caption) when empty.
    void bind(const QKeySequence &key, QAbstractButton *button, const QString &description = {});
    // A help line for a key handled elsewhere (Enter on the list).
    void describe(const QString &keys, const QString &description);
    // The user guide the keyboard help links to, at the section named as
    // the screen (its object name) unless told otherwise. Without one the
    // help has no link.
    void setGuide(GuideService *guide, const QString &section = {});

    // Clicks the button as its key would: only when it is enabled and not
    // hidden. True when it was clicked.
    static bool press(QAbstractButton *button, const QWidget *screen);

    // Where the focus starts: this control, or else the first data field
    // (text box, list, check box...) of the focus area in tab order.
    void setFirstFocus(QWidget *control) { m_firstFocus = control; }
    void setFocusArea(QWidget *area) { m_focusArea = area; }
    QWidget *firstFocus() const;
    // Puts the focus on firstFocus(); done by itself when the screen is
    // first shown.
    void focusFirst();

    // One line of the keyboard help.
    struct Entry {
        QString keys; // as the user reads them, "Ctrl+S"
        QString description;
    };
    QList<Entry> entries() const { return m_entries; }

    // F1: the keyboard help, a small window of the screen that stays open
    // beside it (shown again, not duplicated, on the next F1).
    QDialog *showHelp();
    QDialog *helpWindow() const { return m_help; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_screen;
    QPointer<QWidget> m_firstFocus;
    QPointer<QWidget> m_focusArea;
    QPointer<QDialog> m_help;
    GuideService *m_guide = nullptr;
    QString m_guideSection;
    QList<Entry> m_entries;
    bool m_shown = false;
};

// True for a control that holds data (not a push or tool button, nor a
// read-only text box): where the focus may start.
bool isDataControl(const QWidget *control);

} // namespace core
