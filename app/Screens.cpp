#include "app/Screens.h"

#include "screens/AppContext.h"
#include "logon/SECURITY.h"
#include "logon/frmAudit.h"
#include "logon/frmRestore.h"
#include "shell/MAINMENU.h"
#include "education/frmCourseMaterial.h"
#include "education/frmForms.h"
#include "education/frmCourses.h"
#include "followup/frmEvaluation.h"
#include "followup/frmFollowup.h"
#include "followup/frmQuest.h"
#include "reports/frmRpts.h"
#include "registry/frmTamrel.h"
#include "registry/frmWitnesses.h"
#include "reference/frmcodes.h"
#include "followup/frmfollowupGroup.h"
#include "reference/frminfo.h"

namespace app {

namespace {

template <typename Screen>
core::ScreenFactory factory()
{
    return [](core::AppContext &ctx, QWidget *parent) -> QWidget * { return new Screen(ctx, parent); };
}

} // namespace

core::MenuScreens menuScreens()
{
    // Main-menu button number -> its screen. Buttons without a screen here
    // stay disabled whatever the permission.
    core::MenuScreens screens;
    // The person screen, with every button or for viewing only.
    for (auto [number, access] : {std::pair{1, registry::frmTamrel::Access::Full},
                                  std::pair{13, registry::frmTamrel::Access::ViewOnly}}) {
        screens.insert(number, [access](core::AppContext &ctx, QWidget *parent) -> QWidget * {
            return new registry::frmTamrel(ctx, access, parent);
        });
    }
    screens.insert(5, factory<education::frmCourseMaterial>());
    screens.insert(7, factory<education::frmForms>());
    screens.insert(2, factory<followup::frmFollowup>());
    screens.insert(3, factory<education::frmCourses>());
    screens.insert(4, factory<followup::frmQuest>());
    screens.insert(6, factory<followup::frmEvaluation>());
    screens.insert(8, factory<logon::SECURITY>());
    // The audit trail's viewer opens only for those the users screen admits.
    screens.insert(shell::kAuditButton.number, [](core::AppContext &ctx, QWidget *parent) -> QWidget * {
        return logon::frmAudit::open(ctx, parent);
    });
    screens.insert(shell::kRestoreButton.number, [](core::AppContext &ctx, QWidget *parent) -> QWidget * {
        return logon::frmRestore::open(ctx, parent);
    });
    screens.insert(9, factory<reference::frmcodes>());
    screens.insert(10, factory<reports::frmRpts>());
    screens.insert(11, factory<registry::frmWitnesses>());
    screens.insert(12, factory<followup::frmfollowupGroup>());
    screens.insert(14, factory<reference::frminfo>());
    return screens;
}

} // namespace app
