#pragma once

#include <QApplication>

namespace presto::test {

// The one QApplication of a test program, made on first use (after the sandbox has moved HOME) on
// the offscreen platform, so no window ever reaches a real display. Closing a window never ends an
// event loop of the test's, and the application is gone before Qt's own globals at exit.
QApplication& application();

} // namespace presto::test
