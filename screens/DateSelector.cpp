#include "screens/DateSelector.h"

#include "screens/AppContext.h"
#include "data/HijraDate.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>

namespace core {

namespace {

// Marks an entry added only to show a stored part the range lacks.
constexpr int kForeignRole = Qt::UserRole + 1;

QString padded(int value, int width)
{
    // QString::number never localises its digits.
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

QComboBox *makeList(const QString &name, QWidget *parent)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(name);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    list->setMaxVisibleItems(16);
    return list;
}

} // namespace

DateSelector::DateSelector(const QString &yearName, const QString &monthName,
                           const QString &dayName, QWidget *parent)
    : QWidget(parent), m_year(makeList(yearName, this)), m_month(makeList(monthName, this)),
      m_day(makeList(dayName, this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_year);
    row->addWidget(m_month);
    row->addWidget(m_day);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);

    fill(m_month, kNoPart, 1, 12, 2);
    fill(m_day, kNoPart, 1, 30, 2);
    fill(m_year, kNoYear, 1, 0, 4); // no range until the screen sets one
    for (QComboBox *list : {m_year, m_month, m_day})
        connect(list, &QComboBox::activated, this, &DateSelector::onPicked);
}

void DateSelector::fill(QComboBox *list, const QString &none, int first, int last, int width)
{
    const QString chosen = list->currentText();
    const bool wasBlocked = list->blockSignals(true);
    list->clear();
    list->addItem(none);
    for (int n = first; n <= last; ++n)
        list->addItem(padded(n, width));
    list->blockSignals(wasBlocked);
    choose(list, list->findText(chosen) >= 0 ? chosen : none, none);
}

// Chooses `part` in the list; a part the list lacks is added (in order)
// and marked, and marked entries of earlier parts go.
void DateSelector::choose(QComboBox *list, const QString &part, const QString &none)
{
    const QString wanted = part.trimmed().isEmpty() ? none : part.trimmed();
    const bool wasBlocked = list->blockSignals(true);
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->itemData(i, kForeignRole).toBool() && list->itemText(i) != wanted)
            list->removeItem(i);
    }
    int index = list->findText(wanted);
    if (index < 0) {
        index = 1;
        while (index < list->count() && list->itemText(index) < wanted)
            ++index;
        list->insertItem(index, wanted);
        list->setItemData(index, true, kForeignRole);
    }
    list->setCurrentIndex(index);
    list->blockSignals(wasBlocked);
}

void DateSelector::setYears(int first, int last)
{
    fill(m_year, kNoYear, first, last, 4);
}

void DateSelector::setYearsAround(const LogonState &logon, int before, int after)
{
    bool ok = false;
    int year = logon.WORK_YY.trimmed().toInt(&ok);
    if (!ok || year <= 0)
        year = todayHijri().yyyy.toInt();
    setYears(year - before, year + after);
}

void DateSelector::setLastDay(int lastDay)
{
    fill(m_day, kNoPart, 1, lastDay, 2);
}

void DateSelector::setWorkingDate(const LogonState &logon)
{
    choose(m_year, logon.WORK_YY, kNoYear);
    choose(m_month, logon.WORK_MM, kNoPart);
    choose(m_day, logon.WORK_DD, kNoPart);
}

QString DateSelector::text() const
{
    return m_year->currentText().trimmed() + m_month->currentText().trimmed()
           + m_day->currentText().trimmed();
}

void DateSelector::setText(const QString &text)
{
    choose(m_year, text.mid(0, 4), kNoYear);
    choose(m_month, text.mid(4, 2), kNoPart);
    choose(m_day, text.mid(6, 2), kNoPart);
}

bool DateSelector::isComplete() const
{
    // Compared as texts, as the lists hold them.
    return m_year->currentText() > kNoYear && m_month->currentText() > kNoPart
           && m_day->currentText() > kNoPart;
}

QString DateSelector::converted() const
{
    if (!isComplete())
        return {};
    bool okY = false, okM = false, okD = false;
    const int y = m_year->currentText().toInt(&okY);
    const int m = m_month->currentText().toInt(&okM);
    const int d = m_day->currentText().toInt(&okD);
    if (!okY || !okM || !okD)
        return {};
    const int mode = m_conversion == Conversion::HijriToGregorian ? 0 : 1;
    return HIJRADATE(y, m, d, mode).value_or(QString());
}

void DateSelector::setDisplay(QLineEdit *display, Conversion conversion)
{
    m_display = display;
    m_conversion = conversion;
}

void DateSelector::onPicked()
{
    if (m_display && isComplete())
        m_display->setText(converted());
    emit picked();
}

} // namespace core
