#pragma once

#include <QWidget>

class QLabel;

namespace shell {

// First splash window: the product title and the edition.
class frmLogo : public QWidget {
    Q_OBJECT
public:
    explicit frmLogo(QWidget *parent = nullptr);

private:
    QLabel *Label1;
    QLabel *Label2;
};

} // namespace shell
