#ifndef TOOLS_TEST_H
#define TOOLS_TEST_H

// What the support library's tests share: the framework, tuples to compare
// several results at once, frames as hex text with readable failure output,
// and the library itself.

#include <gtest/gtest.h>

#include <tuple>

#include "support/frames.h"
#include "support/qt_printers.h"
#include "tools/tools.h"

#endif // TOOLS_TEST_H
