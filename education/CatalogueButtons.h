#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace education {

// The "فتح" button that opens a catalogue entry's file.
QPushButton *makeOpenButton(const QString &name, QWidget *parent);

// cmd_print "طباعة الملف" of the catalogue screens: it is there and does
// nothing; an opened file is printed from its own application.
QPushButton *makeInertPrintButton();

} // namespace education
