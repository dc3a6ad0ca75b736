#include "screens/UserGuide.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace core {

namespace {

const QString kSource = QStringLiteral(":/guide/velm-guide.html");
const QString kTitle = QStringLiteral("دليل الاستخدام");

QPushButton *guideButton(const char *name, const QString &caption, QWidget *parent, QLayout *layout)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    layout->addWidget(b);
    return b;
}

} // namespace

UserGuide::UserGuide(QWidget *window) : m_owner(window) {}

UserGuide::~UserGuide()
{
    delete m_window;
}

QString UserGuide::html()
{
    QFile file(kSource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList UserGuide::sections()
{
    static const QRegularExpression anchor(QStringLiteral("<a name=\"([^\"]+)\""));
    QStringList names;
    for (const QRegularExpressionMatch &m : anchor.globalMatch(html()))
        names << m.captured(1);
    return names;
}

void UserGuide::showGuide(const QString &section, QWidget *parent)
{
    if (!m_window) {
        QWidget *owner = m_owner ? m_owner.data() : parent ? parent->window() : nullptr;
        m_window = new QWidget(owner, Qt::Window);
        m_window->setObjectName(kWindowName);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->setWindowTitle(kTitle);
        m_window->setLayoutDirection(Qt::RightToLeft);
        m_browser = new QTextBrowser(m_window);
        m_browser->setObjectName(kBrowserName);
        m_browser->setOpenExternalLinks(false);
        m_browser->setSource(QUrl(QStringLiteral("qrc") + kSource));
        auto *buttons = new QHBoxLayout;
        QPushButton *contents = guideButton("cmdContents", QStringLiteral("المحتويات"), m_window, buttons);
        QPushButton *back = guideButton("cmdBack", QStringLiteral("رجوع"), m_window, buttons);
        buttons->addStretch(1);
        QPushButton *close = guideButton("cmdClose", QStringLiteral("إغلاق"), m_window, buttons);
        back->setEnabled(false);
        QTextBrowser *browser = m_browser;
        QObject::connect(contents, &QPushButton::clicked, browser, [browser] { browser->scrollToAnchor(kContents); });
        QObject::connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
        QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        QObject::connect(close, &QPushButton::clicked, m_window, &QWidget::close);
        auto *layout = new QVBoxLayout(m_window);
        layout->addWidget(m_browser, 1);
        layout->addLayout(buttons);
        m_window->resize(760, 680);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    const QString name = sections().contains(section) ? section : kContents;
    m_browser->scrollToAnchor(name);
    // Again once the window stands at its size: a first showing lays the
    // text out only then.
    QPointer<QTextBrowser> browser = m_browser;
    QTimer::singleShot(0, m_browser, [browser, name] {
        if (browser)
            browser->scrollToAnchor(name);
    });
}

} // namespace core
