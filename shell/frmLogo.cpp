#include "shell/frmLogo.h"

#include "screens/AppContext.h"

#include <QLabel>
#include <QVBoxLayout>

namespace shell {

frmLogo::frmLogo(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLogo"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8(core::kProductTitle));
    setAttribute(Qt::WA_StyledBackground); // lets the style sheet paint a plain widget
    setStyleSheet(QStringLiteral("#frmLogo { background: #f4f1e6; border: 2px solid #1f6b45; }"));

    Label1 = new QLabel(QString::fromUtf8(core::kProductTitle), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont title = Label1->font();
    title.setPointSizeF(title.pointSizeF() * 2.2);
    title.setBold(true);
    Label1->setFont(title);
    Label1->setStyleSheet(QStringLiteral("color: #1f6b45;"));

    Label2 = new QLabel(QStringLiteral("الإصدار الثاني "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    QFont edition = Label2->font();
    edition.setPointSizeF(edition.pointSizeF() * 1.3);
    Label2->setFont(edition);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 18, 40, 18);
    layout->setSpacing(8);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
}

} // namespace shell
