// The fixture of the tests that run the real program under faults.
#pragma once

#include "tests/testing/child_program.h"

#include <gtest/gtest.h>

namespace bramlotte::testrun {

// The real program on a generated town of 20000 street segments, whose
// index takes about 80 KB, in a folder any user may read.
class TownProgramTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static QStringList build(const QString& map, const QStringList& more);
    static ChildEnding run(const QStringList& args, const ChildSetup& setup = {});
    static QString shared() { return dir_->path(); }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString town_;
};

}  // namespace bramlotte::testrun
