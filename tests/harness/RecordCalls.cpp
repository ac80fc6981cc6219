// Linked into every test program that links the stand-in's engine (libztmcs;
// see zt_add_jvm_test): the stand-in records nothing unless switched on, and
// these tests look at what the code under test passed it. Every test starts
// with recording on at the default limit, whatever the test before it left.
#include <gtest/gtest.h>

#include "ztm_control.h"

namespace {

class RecordCalls : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        ztmctl::setRecordLimit(ztmctl::RecordLimit());
        ztmctl::setRecording(true);
    }
};

[[maybe_unused]] const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new RecordCalls);
    return true;
}();

}  // namespace
