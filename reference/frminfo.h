#pragma once

#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "screens/RecordSnapshot.h"

#include <QString>
#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace reference {

// The office information screen: the one record of table info (country,
// name, supervising body, director, coordinators, contact details, logo).
// It has no key, no search and no list: it shows the first record the
// table holds and saves the boxes back into it.
class frminfo : public QWidget, public core::RecordForm {
    Q_OBJECT
public:
    static constexpr const char *kTable = "info";
    // The logo shown, relative to the program folder.
    static constexpr const char *kLogoFile = "pictures/piclogo.jpg";

    explicit frminfo(core::AppContext &ctx, QWidget *parent = nullptr);
    ~frminfo() override;

    // Copies the fields of the current info record into the boxes; a field
    // without a value (or one that cannot be read) leaves its box as it is.
    void DATATOTEXT() override;
    // Copies the eleven editable boxes into the record; logo is never written.
    void texttodata() override;
    // The table has no index: the record used is the first in stored order.
    void SETINDEX() override;
    // The open cursor of the info table.
    engine::TableCursor &recordTable() override;

    // Full path of the logo picture for a program folder.
    static QString logoPath(const QString &programDir);

private:
    struct Field {
        const char *field;   // column of info
        const char *control; // objectName of its box
        const char *caption; // label beside the box
        int limit;           // characters the box accepts (0: read-only)
    };
    static const std::array<Field, 12> kFields;

    void buildUi();
    // Loading: the record, then the picture; every failure is passed over.
    void loadRecord();
    void loadLogo();
    void onUpdate();

    core::AppContext &m_ctx;
    // The record as the boxes show it: a save never writes over a
    // colleague's change made since.
    core::RecordSnapshot m_shown;
    std::array<QLineEdit *, 12> m_boxes{};
    QLabel *m_image = nullptr;
    QPushButton *m_update = nullptr;
    QPushButton *m_close = nullptr;
};

} // namespace reference
