#include "screens/DigitsOnly.h"

#include "data/HijraDate.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QToolTip>
#include <QValidator>

namespace core {

namespace {

bool isLatinDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString nonDigits(const QString &text)
{
    QString out;
    for (const QChar c : text)
        if (!isLatinDigit(c))
            out += c;
    return out;
}

// True when the characters of `part` stand in `whole` in the same order
// (what is left of a text after some of its characters went).
bool isLeftOf(const QString &part, const QString &whole)
{
    qsizetype at = 0;
    for (const QChar c : part) {
        at = whole.indexOf(c, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

// Judges only what the user does to the box. QLineEdit asks the validator
// about every change, the program's own setText() too, without saying
// which is which: the user's edits are known by the events that make them
// (a key with text, a deleting or pasting key, input method text, a drop,
// a middle-button paste, an entry of the context menu), each judged against
// the text the box held when the event came.
class DigitsValidator : public QValidator {
public:
    explicit DigitsValidator(QLineEdit *box) : QValidator(box), m_box(box)
    {
        m_reset.setSingleShot(true);
        m_reset.setInterval(0);
        connect(&m_reset, &QTimer::timeout, this, [this] { m_userEdit = false; });
        box->installEventFilter(this);
    }

    State validate(QString &input, int &pos) const override
    {
        if (!m_userEdit && !m_inMenu)
            return Acceptable; // the program's text: shown and kept as it is
        m_userEdit = false;    // one change per event
        QString typed = latinDigits(input);
        if (!m_before.isEmpty() && m_before.trimmed().isEmpty()) {
            // A box of blanks (an empty field as stored): the blanks go.
            pos -= int(typed.left(pos).count(QLatin1Char(' ')));
            typed.remove(QLatin1Char(' '));
        }
        if (!isLeftOf(nonDigits(typed), nonDigits(m_before))) {
            QToolTip::showText(m_box->mapToGlobal(QPoint(0, m_box->height())), kDigitsOnlyHint, m_box);
            return Invalid;
        }
        input = typed;
        pos = qBound(0, pos, int(input.size()));
        return Acceptable;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_box)
            return false;
        if (event->type() == QEvent::ContextMenu && !m_inMenu) {
            // The menu runs its own loop; what its entries do is the user's.
            m_before = m_box->text();
            m_inMenu = true;
            static_cast<QObject *>(m_box)->event(event);
            m_inMenu = false;
            return true;
        }
        if (isUserEdit(event)) {
            m_before = m_box->text();
            m_userEdit = true;
            m_reset.start(); // an event that changed nothing leaves no mark
        }
        return false;
    }

private:
    static bool isUserEdit(QEvent *event)
    {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto *key = static_cast<QKeyEvent *>(event);
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Escape:
                return false;
            case Qt::Key_Backspace:
            case Qt::Key_Delete:
                return true;
            default:
                break;
            }
            if (!key->text().isEmpty() && key->text().at(0).isPrint())
                return true;
            for (const QKeySequence::StandardKey k : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo,
                                                      QKeySequence::Redo, QKeySequence::DeleteEndOfWord,
                                                      QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfLine,
                                                      QKeySequence::DeleteCompleteLine})
                if (key->matches(k))
                    return true;
            return false;
        }
        case QEvent::InputMethod:
            return !static_cast<QInputMethodEvent *>(event)->commitString().isEmpty();
        case QEvent::Drop:
            return true;
        case QEvent::MouseButtonRelease:
            return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton;
        default:
            return false;
        }
    }

    QLineEdit *m_box;
    QString m_before;
    mutable bool m_userEdit = false;
    bool m_inMenu = false;
    QTimer m_reset;
};

} // namespace

void acceptDigitsOnly(QLineEdit *box)
{
    if (box && !acceptsDigitsOnly(box))
        box->setValidator(new DigitsValidator(box));
}

bool acceptsDigitsOnly(const QLineEdit *box)
{
    return box && dynamic_cast<const DigitsValidator *>(box->validator());
}

} // namespace core
