#pragma once

#include <QPlainTextEdit>

namespace core {

// A multi-line text box that, like a line edit, never holds more than its
// field stores: typed or pasted text beyond the limit is cut off where it
// went in. Tab moves on to the next control.
class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(const QString &objectName, QWidget *parent = nullptr);

    // 0: no limit.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);

private:
    void enforceLimit();

    int m_maxLength = 0;
    bool m_cutting = false;
};

} // namespace core
