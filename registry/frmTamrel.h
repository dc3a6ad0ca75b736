#pragma once

#include "screens/RecordScreen.h"
#include "registry/LikelyDuplicates.h"
#include "registry/TamrelFields.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace core {
class DataGrid;
class DataSource;
class DateSelector;
class LookupCombo;
} // namespace core

namespace registry {

class DuplicatesPanel;

// The person screen: the register of the persons who embraced Islam through
// the office (table tamrel, key tamrel_no), 97 fields on seven tabs, with
// the person's picture, follow-up steps, courses and document files, and
// beside the tabs the person list with its search.
//
// The fields are mapped once, in TamrelFields: each control is made from
// its entry and shown and stored by its kind. The rules between controls
// (derived dates, the certificate, the children counts, ...) follow the
// user's picks, and showing a record passes through the cleared screen.
//
// The list at opening is the whole register; `list` lists it again and
// `search` lists the persons matching what has been typed into the fields
// (PersonSearch), spelling variants of Arabic names included unless
// "مطابقة حرفية" (chkExactMatch) is ticked. Both run through the list's
// data source, so the first rows show at once, the rest come in the
// background and Esc stops them.
//
// A person added, or cmd_duplicates (Ctrl+D), lists the registered persons
// that are likely the same person in a small panel beside the screen
// (DuplicatesPanel); the add itself goes on as ever.
//
// Opened view-only, add, update and delete are disabled before the screen
// is shown; everything else works.
class frmTamrel : public core::RecordScreen {
    Q_OBJECT
public:
    enum class Access { Full, ViewOnly };

    static constexpr const char *kTable = "tamrel";
    static inline const QString kCaption = QStringLiteral("Tamrel");
    static inline const QString kAskToAdd = QStringLiteral("  السجل غير موجود - هل ترغب في اضافة السجل");
    static inline const QString kOffice = QStringLiteral("المكتب");
    static inline const QString kIncomplete = QStringLiteral("البيانات غير كاملة");
    static inline const QString kUnderProcessing = QStringLiteral("تحت الإجراء");
    static inline const QString kIssued = QStringLiteral("أصدرت   ");
    static inline const QString kRemarks = QStringLiteral("ملاحظات");
    static inline const QString kRecipient = QStringLiteral("المستلم");
    static inline const QString kDelivered = QStringLiteral("سلمت");
    static inline const QString kReturned = QStringLiteral("مسترجع الوزارة");
    static inline const QString kLost = QStringLiteral("مفقودة");
    static inline const QString kFollowUpSql = QStringLiteral("SELECT * FROM followUp WHERE tamrel_no = ?");
    static inline const QString kCoursesSql = QStringLiteral("SELECT * FROM courses WHERE tamrel_no = ?");
    // The status line: who last changed the person shown, and when.
    static inline const QString kLastChange = QStringLiteral("آخر تعديل: %1 — %2");
    // The search panel's exact match and likely duplicates.
    static inline const QString kExactMatch = QStringLiteral("مطابقة حرفية");
    static inline const QString kExactMatchTip =
        QStringLiteral("البحث عن القيم كما كتبت تماما، دون توحيد أشكال الهمزات والتاء المربوطة والألف المقصورة والتشكيل والأرقام");
    static inline const QString kDuplicates = QStringLiteral("أشخاص مشابهون");
    static inline const QString kDuplicatesTip =
        QStringLiteral("الأشخاص المسجلون برقم الاقامة أو الجواز نفسه، أو بالاسم وتاريخ الميلاد نفسهما (Ctrl+D)");
    static QString lastChangeText(const QString &userId, const QDateTime &changedAt);
    // The status line when a search has ended.
    static inline const QString kSearchFound = QStringLiteral("عدد الأشخاص الذين وجدهم البحث: %1");
    static inline const QString kSearchFoundNone = QStringLiteral("لم يجد البحث أي شخص يطابق ما كتب");
    static inline const QString kSearchStopped = QStringLiteral("أوقف البحث بعد أن وجد %1");
    // Pictures larger than this are not shown (bytes, pixels).
    static constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;
    static constexpr qint64 kMaxPicturePixels = 60 * 1000 * 1000;

    // The tabs, in order.
    enum Tab { PersonTab, PassportTab, AddressTab, FollowUpTab, CoursesTab, WitnessTab, DocumentTab };

    explicit frmTamrel(core::AppContext &ctx, Access access = Access::Full, QWidget *parent = nullptr);
    ~frmTamrel() override;

    // An add's check of likely duplicates has not reported yet.
    bool checkingDuplicates() const;

    void DATATOTEXT() override;
    void texttodata() override;

    // The entries of the drop-down lists.
    static const QStringList &shahadaPlaces();
    static const QStringList &documentStates();
    static const QStringList &underProcessingStates();
    static const QStringList &issuedStates();

private:
    // --- building (frmTamrelPages.cpp)
    void createControls();
    void createFieldControls();
    void createFormControls();
    void createPersonRows();
    // The control of a field, by its kind.
    QWidget *makeLineBox(const TamrelField &f);
    QWidget *makeTextArea(const TamrelField &f);
    QWidget *makeLookupList(const TamrelField &f);
    QWidget *makeDropDown(const TamrelField &f);
    QWidget *makeCheckBox(const TamrelField &f);
    QWidget *makeOptions(const TamrelField &f);
    core::DateSelector *makeDateSelector(const TamrelField &f, QWidget *bound);
    QWidget *buildPersonPage();
    QWidget *buildPassportPage();
    QWidget *buildAddressPage();
    QWidget *buildFollowUpPage();
    QWidget *buildCoursesPage();
    QWidget *buildWitnessPage();
    QWidget *buildDocumentPage();
    void buildSearchPanel();
    void connectRules();
    // Lays out a caption and its control in a grid (and the control's tab
    // position); returns the caption.
    QLabel *put(QGridLayout *grid, int row, int col, const QString &caption, QWidget *control,
                int span = 1);
    QWidget *dateRow(const char *field, QWidget *extra = nullptr);
    QLabel *englishCaption(const QString &text);

    // --- the screen's procedures
    void CLEARFIELDS() override;
    core::RecordKey SETKEY() override;
    core::CheckResult VALIDATE() override;
    void loadLookups() override;
    void afterAdd(bool added) override;
    bool beforeUpdate() override;
    void afterUpdate(bool updated) override;
    void listClicked() override;

    // --- field copies by kind
    void showKind(const TamrelField &f);
    void storeKind(const TamrelField &f);

    // --- the rules between controls
    void convertDateOfIslam();
    void showWeekdays();
    void computeAge();
    void applyMaritalStatus();
    void certificateTextChanged();
    void showCertificateFrame(bool underProcessing);
    void resetCertificateFrame();
    void applyCertificateStatus();
    void applyDocumentState();
    void applyShahadaPlace();
    void applyFileStatus();
    void chooseFollowUpGroup();
    void tabEntered(int tab);
    void showPersonRows();
    void showPicture();
    void filterDocumentFiles();
    void openDocumentFile();
    void printPerson();
    // The status line for the person of this number; empty when no change
    // of the person is recorded or the trail cannot be read.
    void showLastChange(const QString &number);

    // --- the person list
    void searchClicked();
    void countSearchWhenDone();
    void showSearchCount(int errorNumber);
    void chooseListedPerson();
    // The likely duplicates of the person on the screen, asked for: the
    // panel shows even when there are none.
    void showLikelyDuplicates();
    // After an add, found off the window's thread: the panel shows when
    // there are some and the person is still the one on the screen.
    void checkLikelyDuplicates();
    void showDuplicatesFound(const PersonFacts &person, const QList<LikelyDuplicate> &found, bool always);
    PersonFacts personFacts() const;


    // The person checks. A look-up list must be filled (else it turns
    // yellow); a required box passes CHECKFIELD. A failing control is shown
    // on its tab with the focus.
    void declareChecks();
    core::CheckResult checkListFilled(core::LookupCombo *list);
    core::CheckResult checkDateOfIslam();
    core::CheckResult failCheck(QWidget *control, const QString &message);
    void showTabOf(QWidget *control);
    void setOption(QButtonGroup *group, int index, bool on);
    void uncheckAll(QButtonGroup *group);

    template <typename T>
    T *c(const char *name) const
    {
        return qobject_cast<T *>(m_controls.value(QLatin1String(name)));
    }

    Access m_access;
    QHash<QString, QWidget *> m_controls;             // by object name
    QHash<QString, core::DateSelector *> m_selectors; // by field
    QList<QWidget *> m_tabChain;                      // controls in reading order

    QTabWidget *SSTab1 = nullptr;
    QLineEdit *txt_tamrel_no = nullptr;
    QLineEdit *txt_picture = nullptr;
    QLineEdit *txt_DateOfIslam_E = nullptr;
    QLineEdit *txt_certificate = nullptr;
    QLineEdit *text2 = nullptr;
    QLabel *Image2 = nullptr;
    QPushButton *conver_date_to_Gregorian = nullptr;
    QButtonGroup *Option1 = nullptr;
    QButtonGroup *Option2 = nullptr;
    QButtonGroup *Option3 = nullptr;
    QButtonGroup *m_certificateGroup = nullptr; // Option4, Option5
    QRadioButton *Option4 = nullptr;
    QRadioButton *Option5 = nullptr;
    QComboBox *txt_certificate_stat = nullptr;
    QLabel *m_takeCaption = nullptr;   // beside txt_certificate_take
    QLabel *m_takeDateCaption = nullptr;
    QLabel *m_numberCaption = nullptr; // "رقم الوثيقة"
    QLabel *m_certificateDateCaption = nullptr;
    QLabel *m_shahadaRemarkCaption = nullptr;
    QLabel *Label58 = nullptr;
    QLabel *m_lastChange = nullptr; // in the status bar at the bottom
    QListWidget *File1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *cmd_print = nullptr;
    QPushButton *m_search = nullptr;
    QCheckBox *m_exactMatch = nullptr;       // chkExactMatch
    QPushButton *m_duplicatesButton = nullptr; // cmd_duplicates
    DuplicatesPanel *m_duplicates = nullptr;   // made when first wanted
    std::unique_ptr<DuplicatesCheck> m_duplicatesCheck; // made at the first add
    core::DataSource *m_followUpData = nullptr; // followup_data
    core::DataSource *m_coursesData = nullptr;  // courses_data
    core::DataGrid *DBGrid2 = nullptr;
    core::DataGrid *DBGrid3 = nullptr;
    QList<core::DataSource *> m_lookupSources; // Data1, Data4, Data2, Data3, Data5, Data6, Data7, Data9

    // The forms folder as last read, so typing a number does not read it again.
    QString m_formsListedFrom;
    QDateTime m_formsListedAt;
    QStringList m_formFiles;
    QString m_picturePath;
    QMetaObject::Connection m_searchRun;
};

} // namespace registry
