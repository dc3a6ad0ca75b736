#include "app/Startup.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

void setArabicFont(QApplication &app)
{
    // Latin text falls back per glyph.
    const QStringList families = QFontDatabase::families();
    for (const char *family : {"Noto Naskh Arabic", "Noto Sans Arabic"}) {
        if (families.contains(QLatin1String(family))) {
            QFont font{QString::fromLatin1(family)};
            font.setPointSize(11);
            app.setFont(font);
            return;
        }
    }
}

bool loadQtArabic(QApplication &app)
{
    auto *qt = new QTranslator(&app);
    if (!qt->load(QStringLiteral("qtbase_ar"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return QApplication::installTranslator(qt);
}

} // namespace app
