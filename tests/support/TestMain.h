#pragma once

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, but forces the offscreen platform before the application
// object exists, so tests never need a display.
#define VELM_TEST_MAIN(TestClass)                                   \
    int main(int argc, char **argv)                                 \
    {                                                               \
        qputenv("QT_QPA_PLATFORM", "offscreen");                    \
        QApplication app(argc, argv);                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                    \
        TestClass tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                  \
        return QTest::qExec(&tc, argc, argv);                       \
    }
