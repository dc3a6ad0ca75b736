#pragma once

#include "data/OpenDb.h"
#include "screens/Services.h"

#include <QString>
#include <QVariant>
#include <array>

namespace core {

class CmnSub;

inline constexpr const char *kProductTitle = "نظام متابعة المهتدين الجدد";
inline constexpr int kPermissionCount = 14;

// The logon state: the Hijri working date and the fourteen permission flags.
struct LogonState {
    QString WORK_YY; // 4 digits
    QString WORK_MM; // 2 digits
    QString WORK_DD; // 2 digits
    std::array<QVariant, kPermissionCount> PERMISSION{}; // values of check1..check14
    QString userId;

    // Permission n (1..14) grants exactly when its value is the number 1.
    bool granted(int n) const;
};

// Everything a screen is handed: the data store, the services, the logon
// state, the shared record-screen state and the reports.
struct AppContext {
    DataStore &store;
    MessageService &messages;
    InputService &input;
    FileOpener &files;
    LogonState &logon;
    CmnSub &cmn;
    // Set once the report viewer exists (the program's start, the tests).
    ReportService *reports = nullptr;
    // The user guide; none in tests that do not look at it.
    GuideService *guide = nullptr;
    // Where lists and reports are exported to; without it they cannot be.
    SaveFileChooser *saveFiles = nullptr;
};

} // namespace core
