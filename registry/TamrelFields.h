#pragma once

#include <span>

namespace registry {

// How a field of the person record is shown and kept on the person screen.
enum class FieldKind {
    Line,       // text box (QLineEdit): the field's text
    Number,     // text box taking digits only (core::acceptDigitsOnly): a number text
    Area,       // text box of several lines (core::TextArea)
    DateText,   // text box holding a date text: kept with Latin digits
    Date,       // read-only text box composed by a date selector (yyyymmdd)
    ShownDate,  // a date selector only: shows the field, never writes it
    Lookup,     // look-up list (core::LookupCombo) fed by a small table
    List,       // drop-down list the user may also type into
    FixedList,  // drop-down list of fixed entries only
    Check,      // check box: its value (0, 1, or a stored other value kept)
    Option,     // option pair: yes = button 0, no = button 1
    Prayer,     // one button of the prayer options: yes when it is on
};

// The calendar and years a date selector offers.
enum class DateRange {
    None,
    Hijri,       // WORK_YY - 20 .. WORK_YY, days 01-30
    HijriExpiry, // WORK_YY - 17 .. WORK_YY + 3, days 01-30
    Gregorian,   // this year - 60 .. this year, days 01-31
};

// One field of table tamrel on the screen.
struct TamrelField {
    const char *field;
    // The control's object name: the text box, list or check box; the
    // option group (its buttons are <group>_<n>); empty for ShownDate.
    const char *control;
    FieldKind kind;
    // The heading of the field's column in the person list.
    const char *heading;
    // Prayer: the index of its button in the group.
    int option = 0;
    // Date, ShownDate: the selector's range and its three lists.
    DateRange range = DateRange::None;
    const char *year = nullptr;
    const char *month = nullptr;
    const char *day = nullptr;
};

// The 97 fields of the person record in the order the screen shows them
// (and stores them): table order, except that sex and m_status follow
// shahada_place.
std::span<const TamrelField> tamrelFields();

// The entry of a field (name compared without letter case); null when none.
const TamrelField *tamrelField(const char *field);

} // namespace registry
