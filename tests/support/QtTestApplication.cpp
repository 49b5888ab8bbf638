#include "tests/support/QtTestApplication.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <memory>

namespace presto::test {

namespace {

std::unique_ptr<QApplication> theApplication;

// Qt's own globals go at exit in an order of their own; the application must be gone before.
class ApplicationTeardown : public ::testing::Environment {
public:
    void TearDown() override { theApplication.reset(); }
};

[[maybe_unused]] ::testing::Environment* const kTeardown =
    ::testing::AddGlobalTestEnvironment(new ApplicationTeardown);

} // namespace

QApplication& application() {
    if (!theApplication) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char* argv[] = {program_invocation_short_name, nullptr};
        theApplication = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    return *theApplication;
}

} // namespace presto::test
