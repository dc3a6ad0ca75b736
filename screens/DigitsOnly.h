#pragma once

#include <QString>

class QLineEdit;

namespace core {

// Makes a text box a number box for the user: a character typed, pasted or
// dropped into it that is no digit is refused (a hint under the box says
// why), and Arabic-Indic (U+0660..) and Eastern Arabic-Indic (U+06F0..)
// digits go in as Latin ones. A blank left in a box that held only blanks
// goes, so the one blank an empty field is stored as never sticks to a number.
//
// What the program puts into the box (a stored value, also one that is not
// a number) is shown and kept as it stands. Editing such a value the user
// may delete any of its characters and add digits, never add a character of
// another kind.
void acceptDigitsOnly(QLineEdit *box);
bool acceptsDigitsOnly(const QLineEdit *box);

// The hint shown when a character is refused.
inline const QString kDigitsOnlyHint = QStringLiteral("هذا الحقل يقبل الأرقام فقط");

} // namespace core
