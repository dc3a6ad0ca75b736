#include "registry/DuplicatesPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace registry {

DuplicatesPanel::DuplicatesPanel(QWidget *parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("likelyDuplicates"));
    setWindowTitle(kTitle);
    setLayoutDirection(Qt::RightToLeft);
    setModal(false);
    m_about = new QLabel(this);
    m_about->setObjectName(QStringLiteral("duplicatesAbout"));
    m_about->setWordWrap(true);
    m_about->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);
    m_list = new QTableWidget(0, 7, this);
    m_list->setObjectName(QStringLiteral("duplicatesList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("رقم Tamrel"), QStringLiteral("الاسم"),
                                       QStringLiteral("الاسم الجديد"), QStringLiteral("رقم الاقامة"),
                                       QStringLiteral("رقم الجواز"), QStringLiteral("تاريخ الميلاد"),
                                       QStringLiteral("سبب التشابه")});
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    // Widths set once: measuring every cell at every add would cost the add.
    const int widths[] = {90, 150, 150, 110, 100, 90};
    for (int c = 0; c < 6; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_list->setToolTip(QStringLiteral("نقرتان على السطر تعرضان الشخص"));
    // A double click or Enter on a row.
    connect(m_list, &QTableWidget::activated, this, [this](const QModelIndex &index) { chooseRow(index.row()); });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_about);
    layout->addWidget(m_list);
    resize(820, 260);
}

void DuplicatesPanel::showFor(const QString &number, const QList<LikelyDuplicate> &persons)
{
    m_about->setText(persons.isEmpty() ? kNone : kAbout.arg(number.trimmed()));
    m_list->setRowCount(int(persons.size()));
    for (int r = 0; r < persons.size(); ++r) {
        const LikelyDuplicate &p = persons.at(r);
        // A birth date as read: yyyy/mm/dd.
        const QString birth = p.birth.size() == 8 ? QStringLiteral("%1/%2/%3").arg(p.birth.left(4), p.birth.mid(4, 2), p.birth.mid(6))
                                                  : p.birth;
        const QStringList cells{p.number, p.oldName, p.newName, p.iqama, p.passport, birth,
                                p.reasons.join(QStringLiteral("، "))};
        for (int c = 0; c < cells.size(); ++c)
            m_list->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    if (!persons.isEmpty())
        m_list->selectRow(0);
    if (!isVisible())
        show();
    raise();
}

int DuplicatesPanel::rowCount() const
{
    return m_list->rowCount();
}

void DuplicatesPanel::chooseRow(int row)
{
    if (row >= 0 && row < m_list->rowCount())
        emit personChosen(m_list->item(row, 0)->text());
}

} // namespace registry
