#pragma once

#include "shell/MAINMENU.h"
#include "shell/frmMain.h"
#include "support/LogonWorld.h"

#include <QSize>
#include <QTest>

#include <memory>

// A LogonWorld with the frame window over it, as the program starts: the
// logon screen first, the main menu after a logon.
struct FrameWorld : LogonWorld {
    std::unique_ptr<shell::frmMain> frame;

    // Makes the frame with these screens (in this size when one is given),
    // shows it and starts it up. False when the window did not become
    // active or the start failed. Call prepare() first.
    bool startFrame(const core::MenuScreens &screens, QSize size = {})
    {
        frame = std::make_unique<shell::frmMain>(ctx, screens);
        if (size.isValid())
            frame->resize(size);
        frame->show();
        return QTest::qWaitForWindowActive(frame.get()) && frame->startUp();
    }

    // Types the identifier and password into the logon screen and presses
    // "موافق"; true when the main menu is up.
    bool logOnAs(const QString &id, const QString &password)
    {
        typeAndLogOn(frame->logonScreen(), id, password);
        return frame->mainMenu() != nullptr;
    }

    // A database with this one user (every permission unless told), the
    // frame started and the user logged on: the main menu is up.
    bool reachMenu(const core::MenuScreens &screens, const QString &id, const QString &password,
                   const QList<int> &granted = testsupport::TempDataFolder::allPermissions(),
                   QSize size = {})
    {
        prepare([&](engine::Database &db) {
            testsupport::TempDataFolder::addUser(db, id, password, QStringLiteral("مستخدم"), granted);
        });
        return startFrame(screens, size) && logOnAs(id, password);
    }
};
