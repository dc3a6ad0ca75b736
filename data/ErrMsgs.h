#pragma once

#include <QString>

namespace core {

// The numbered messages with which the record operations and the screens
// report an outcome. Each text is kept padded with blanks to its fixed
// width (30 characters, 35 for MSG_NOTALLOWED) and is shown as it stands.
struct ErrMsgs {
    static constexpr int kCount = 11;
    static constexpr int kWidth = 30;
    static constexpr int kNotAllowedWidth = 35;

    QString MSG_INVALID;    // 1
    QString MSG_NOTFOUND;   // 2
    QString MSG_DUPLICATE;  // 3
    QString MSG_REQUIRED;   // 4
    QString MSG_EOF;        // 5
    QString MSG_DATAERROR;  // 6
    QString MSG_CONTINUE;   // 7
    QString MSG_ADDED;      // 8
    QString MSG_DELETED;    // 9
    QString MSG_UPDATED;    // 10
    QString MSG_NOTALLOWED; // 11

    // Sets all eleven texts; calling it again sets the same values.
    void LOADMSGS();

    // Message 1..11 as currently loaded; empty for any other number.
    QString text(int number) const;
};

} // namespace core
