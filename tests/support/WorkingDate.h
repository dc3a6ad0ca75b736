#pragma once

#include "screens/AppContext.h"

#include <QLineEdit>
#include <QString>
#include <QWidget>

namespace testsupport {

// The working date as the logon takes it: Hijri year, month and day as
// typed ("1427", "05", "09").
struct WorkingDate {
    QString yyyy;
    QString mm;
    QString dd;

    // Sets it in the logon state, as a successful logon leaves it.
    void setIn(core::LogonState &logon) const
    {
        logon.WORK_YY = yyyy;
        logon.WORK_MM = mm;
        logon.WORK_DD = dd;
    }

    // Types it into the date boxes of a logon screen.
    void typeInto(const QWidget *logonScreen) const
    {
        for (const auto &[name, text] : {std::pair{"YY_TEXT", yyyy}, std::pair{"MM_TEXT", mm},
                                         std::pair{"DD_TEXT", dd}}) {
            auto *box = logonScreen->findChild<QLineEdit *>(QLatin1String(name));
            if (!box)
                qFatal("no control %s", name);
            box->setText(text);
        }
    }
};

} // namespace testsupport
