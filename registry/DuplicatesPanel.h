#pragma once

#include "registry/LikelyDuplicates.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace registry {

// The small panel beside the person screen that lists the persons likely
// registered already (LikelyDuplicates): number, names, residence permit,
// passport, birth date and why. It does not stop the work on the screen
// (non-modal); a double click or Enter on a row asks the screen to show
// that person.
class DuplicatesPanel : public QDialog {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("أشخاص مسجلون قد يكونون الشخص نفسه");
    static inline const QString kAbout = QStringLiteral("يشبهون رقم Tamrel %1:");
    static inline const QString kNone = QStringLiteral("لا يوجد شخص مسجل يشبهه برقم الاقامة أو الجواز أو بالاسم وتاريخ الميلاد.");

    explicit DuplicatesPanel(QWidget *parent);

    // Shows the list for the person of that number (may be empty).
    void showFor(const QString &number, const QList<LikelyDuplicate> &persons);
    int rowCount() const;

signals:
    void personChosen(const QString &number);

private:
    void chooseRow(int row);

    QLabel *m_about;
    QTableWidget *m_list;
};

} // namespace registry
