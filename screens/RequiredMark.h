#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace core {

// How a screen shows that a field must be filled before a save: a red
// star at the end of the field's caption (in its reading direction) and a
// tooltip saying so on the caption and on the control. A control without a
// caption carries the star inside its box. Captions keep their texts.
inline const QString kRequiredTip = QStringLiteral("حقل مطلوب: لا يحفظ السجل بدونه");
inline constexpr const char *kRequiredMarkName = "requiredMark";

// The caption of a control: the label whose buddy is the control, lies
// inside it or holds it (a date selector's row); null when there is none.
QLabel *captionOf(const QWidget *screen, const QWidget *control);
// A caption's text as the clerk reads it: trimmed, blanks run together.
QString captionText(const QLabel *caption);
// The caption of the tab page that holds a control; empty outside tabs.
QString tabCaptionOf(const QWidget *control);
// Shows a hidden control's tab page, so that it can have the focus.
void showTabOf(QWidget *control);

// Marks a control as required (its caption, or the box itself). Marking
// twice changes nothing.
void markRequired(const QWidget *screen, QWidget *control);
// True when the control carries the mark (on its caption or its box).
bool isMarkedRequired(const QWidget *screen, const QWidget *control);

} // namespace core
