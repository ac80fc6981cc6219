// The com.zel.zt.Pint holders a session verb writes its results into.
#pragma once

#include "Jvm.h"

#include <jni.h>

namespace zt::test {

// Made with no arguments: completion code, reason and data length holders
// preset to -1 (so a holder the verb leaves alone shows), and no handle
// holder. The connect verbs take a handle holder too: name all three.
struct Holders {
    Holders() : cc(newPint(-1)), rc(newPint(-1)), length(newPint(-1)) {}
    Holders(jobject hconnHolder, jobject ccHolder, jobject rcHolder)
        : hconn(hconnHolder), cc(ccHolder), rc(rcHolder) {}

    jobject hconn = nullptr;
    jobject cc = nullptr;
    jobject rc = nullptr;
    jobject length = nullptr;

    int compCode() const { return pintValue(cc); }
    int reason() const { return pintValue(rc); }
    int dataLength() const { return pintValue(length); }
};

}  // namespace zt::test
