#pragma once

#include "data/BackgroundQuery.h"

#include <QApplication>
#include <QTest>

namespace testsupport {

// How long a select runs on the caller's connection before it goes on in
// the background, in the tests: a small select is always complete when
// refresh() returns, however loaded the machine.
inline constexpr int kTestInlineBudgetMs = 60000;

// For a test of the background runs themselves: the program's own budget
// while it lives.
class ProgramInlineBudget {
public:
    ProgramInlineBudget() : m_before(core::BackgroundQuery::defaultInlineBudget())
    {
        core::BackgroundQuery::setDefaultInlineBudget(core::BackgroundQuery::kInlineBudgetMs);
    }
    ~ProgramInlineBudget() { core::BackgroundQuery::setDefaultInlineBudget(m_before); }
    ProgramInlineBudget(const ProgramInlineBudget &) = delete;
    ProgramInlineBudget &operator=(const ProgramInlineBudget &) = delete;

private:
    int m_before;
};

} // namespace testsupport

// Like QTEST_MAIN, but forces the offscreen platform before the application
// object exists, so tests never need a display, and gives small selects
// all the time they need to end inline (see kTestInlineBudgetMs).
#define VELM_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char **argv)                                                      \
    {                                                                                    \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                         \
        QApplication app(argc, argv);                                                    \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                         \
        core::BackgroundQuery::setDefaultInlineBudget(testsupport::kTestInlineBudgetMs); \
        TestClass tc;                                                                    \
        QTEST_SET_MAIN_SOURCE_PATH                                                       \
        return QTest::qExec(&tc, argc, argv);                                            \
    }
