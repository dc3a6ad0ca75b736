#include "education/CatalogueButtons.h"

#include <QPushButton>

namespace education {

QPushButton *makeOpenButton(const QString &name, QWidget *parent)
{
    auto *open = new QPushButton(QStringLiteral("فتح"), parent);
    open->setObjectName(name);
    open->setToolTip(QStringLiteral("فتح"));
    open->setAutoDefault(false);
    return open;
}

QPushButton *makeInertPrintButton()
{
    auto *print = new QPushButton(QStringLiteral("طباعة"));
    print->setObjectName(QStringLiteral("cmd_print"));
    print->setToolTip(QStringLiteral("طباعة الملف"));
    print->setAutoDefault(false);
    return print;
}

} // namespace education
