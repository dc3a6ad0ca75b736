#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;

namespace shell {

// Second splash window (shown when the configuration asks for it): one
// picture.
class frmLogo2 : public QWidget {
    Q_OBJECT
public:
    explicit frmLogo2(QWidget *parent = nullptr);

    // The picture of the window, drawn rather than kept as a file.
    static QPixmap picture(qreal devicePixelRatio = 1.0);

private:
    QLabel *Image1;
};

} // namespace shell
