#pragma once

#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "support/FakeServices.h"
#include "logon/LOGON.h"
#include "support/TempDataFolder.h"
#include "support/WorkingDate.h"
#include "engine/Database.h"

#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>

// A program folder with its first database, the recording services and
// the context a logon screen is handed.
struct LogonWorld {
    testsupport::TempDataFolder folder;
    testsupport::RecordingMessageService messages;
    testsupport::RecordingInputService input;
    testsupport::RecordingFileOpener files;
    testsupport::RecordingGuideService guide;
    core::LogonState logon;
    core::DataStore &store;
    core::CmnSub cmn;
    core::AppContext ctx;

    LogonWorld()
        : store(folder.store()), cmn(store, messages), ctx{store, messages, input, files, logon, cmn, nullptr, &guide}
    {
    }

    // Places the database in the data folder, lets `fill` write into it and
    // closes the connection again, as it is when the program starts.
    void prepare(const std::function<void(engine::Database &)> &fill = {})
    {
        folder.openStore();
        if (fill)
            fill(store.db());
        store.CLOSEDATABASE();
    }

    // A loaded logon screen.
    std::unique_ptr<logon::LOGON> loadedLogon()
    {
        auto screen = std::make_unique<logon::LOGON>(ctx);
        if (!screen->load())
            return nullptr;
        return screen;
    }

    // Rows of users, read through a connection of the test's own.
    QVariant usersScalar(const QString &sql, const QVariantList &values = {}) const
    {
        return folder.openOtherConnection()->scalar(sql, values);
    }
};

template <typename T>
T *control(QWidget *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Types the identifier and password and presses "موافق".
inline void typeAndLogOn(QWidget *screen, const QString &id, const QString &password)
{
    control<QLineEdit>(screen, "USERID_TEXT")->setText(id);
    control<QLineEdit>(screen, "PASSWORD_TEXT")->setText(password);
    QTest::mouseClick(control<QWidget>(screen, "ok"), Qt::LeftButton);
}
