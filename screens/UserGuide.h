#pragma once

#include "screens/Services.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

namespace core {

// The user guide that comes with the program (built into it, Arabic, right
// to left), in a window of its own beside the screens: one window for the
// whole program, shown again at the section asked for. Its contents link to
// every section, and every screen's keyboard help links to the screen's.
class UserGuide : public GuideService {
public:
    static inline const QString kWindowName = QStringLiteral("frmGuide");
    static inline const QString kBrowserName = QStringLiteral("txtGuide");
    static inline const QString kContents = QStringLiteral("contents");

    // `window`: the window the guide belongs to (the frame); may be null.
    explicit UserGuide(QWidget *window = nullptr);
    ~UserGuide() override;
    UserGuide(const UserGuide &) = delete;
    UserGuide &operator=(const UserGuide &) = delete;

    void showGuide(const QString &section = {}, QWidget *parent = nullptr) override;
    // The guide's window while it is open.
    QWidget *window() const { return m_window; }

    // The guide's HTML, and the sections it has (its anchors).
    static QString html();
    static QStringList sections();

private:
    QPointer<QWidget> m_owner;
    QPointer<QWidget> m_window;
    QPointer<QTextBrowser> m_browser;
};

} // namespace core
