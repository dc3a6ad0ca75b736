#pragma once

#include "screens/AppContext.h"
#include "screens/ScreenHost.h"

#include <QWidget>

#include <array>

class QToolButton;

namespace shell {

// One main-menu button: its permission number, control name and caption.
struct MenuButton {
    int number;
    const char *name;
    const char *caption;
};

inline constexpr std::array<MenuButton, core::kPermissionCount> kMenuButtons{{
    {1, "Tamrelx", "ملف Tamrel"},
    {2, "frmFollowupx", "متابعة الأنشطة"},
    {3, "frmCoursesx", "متابعة الدورات"},
    {4, "frmQestx", "استبيان"},
    {5, "frmCourseMaterialx", "المادة العلمية"},
    {6, "frmEvaluationx", "التقويم الميداني"},
    {7, "frmFormsx", "النماذج"},
    {8, "securityx", "المستخدمين"},
    {9, "cmnd_codes", "الرموز"},
    {10, "reportsx", " التقارير العامة"},
    {11, "frmWitnessesx", "الشهود"},
    {12, "frmFollowupGroupx", "مجموعة المتابعة"},
    {13, "showdata", "عرض البيانات"},
    {14, "Command1", "بيانات المؤسسة"},
}};

// The audit trail's viewer and the restore of a backup: menu buttons after
// the fourteen, numbers 15 and 16 of the menu's screens, granted by the
// users screen's permission.
inline constexpr MenuButton kAuditButton{15, "auditx", "سجل التعديلات"};
inline constexpr MenuButton kRestoreButton{16, "restorex", "استعادة نسخة احتياطية"};
inline constexpr std::array<MenuButton, 2> kAdminButtons{{kAuditButton, kRestoreButton}};
inline constexpr int kAuditPermission = 8;

// The main menu: one button per screen, enabled by the logon permissions.
// A disabled button says in its tooltip why: its screen is not part of this
// version, or the user has no permission for it. F1, or the button under
// the others, asks for the user guide. The focus starts on the
// first enabled button and is drawn as a frame around the button; Enter or
// Space presses it.
class MAINMENU : public QWidget {
    Q_OBJECT
public:
    static inline const QString kNotBuiltTip =
        QStringLiteral("هذه الشاشة غير متوفرة في هذا الإصدار من البرنامج");
    static inline const QString kNoPermissionTip =
        QStringLiteral("ليست لديك صلاحية فتح هذه الشاشة");

    // Loading applies the permissions. A button whose screen is not among
    // `screens` stays disabled whatever the permission.
    MAINMENU(const core::LogonState &logon, const core::MenuScreens &screens,
             QWidget *parent = nullptr);

    // Buttons 1..14, 15 (the audit trail's viewer) and 16 (restore).
    QToolButton *button(int number) const;

signals:
    // Button n was pressed: the frame unloads the menu and shows screen n.
    void screenChosen(int number);
    // "خروج": the program ends.
    void closeRequested();
    // F1, or the guide's button: the user guide.
    void guideRequested();

private:
    void applyPermissions(const core::LogonState &logon, const core::MenuScreens &screens);
    void addGuideButton();

    std::array<QToolButton *, core::kPermissionCount> m_buttons{};
    std::array<QToolButton *, kAdminButtons.size()> m_admin{};
};

} // namespace shell
