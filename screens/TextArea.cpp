#include "screens/TextArea.h"

#include <QTextCursor>

namespace core {

TextArea::TextArea(const QString &objectName, QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(objectName);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &TextArea::enforceLimit);
}

void TextArea::setMaxLength(int length)
{
    m_maxLength = qMax(0, length);
    enforceLimit();
}

void TextArea::enforceLimit()
{
    if (m_maxLength <= 0 || m_cutting)
        return;
    const int excess = toPlainText().size() - m_maxLength;
    if (excess <= 0)
        return;
    m_cutting = true;
    // The characters just before the cursor are the ones that went in last;
    // a text put in whole leaves the cursor at its start, so its end goes.
    QTextCursor cursor = textCursor();
    const int at = cursor.position();
    const int from = at >= excess ? at - excess : m_maxLength;
    cursor.setPosition(from);
    cursor.setPosition(from + excess, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
    m_cutting = false;
}

} // namespace core
