#include "NativeZTGMO.h"

#include <cstring>

#include "CheckedJni.h"
#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTGMO";

namespace {
// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kGetVersion, kOptions, kWaitInterval, kResolvedQueueName, kNoReadBack, kMatchOptions,
    kGroupStatus, kSegmentStatus, kSegmentation, kMemberCount
};
MemberCache<kMemberCount> members;
}  // namespace

NativeZTGMO::NativeZTGMO(JNIEnv* env, jobject options) : env_(env), options_(options) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTGMO");
    FramedRef<jclass> cls(env_, requireObjectClass(env_, options_, "NativeZTGMO"));
    jclass c = cls.get();
    Members<kMemberCount> m(env_, members, c);
    jmethodID getVersion = m.method(kGetVersion, "getVersion", "()I");
    version = checked::callIntMethod(env_, options_, getVersion);
    optionsField_ = m.field(kOptions, "options", "I");
    waitInterval_ = m.field(kWaitInterval, "waitInterval", "I");
    resolvedQueueName_ = m.field(kResolvedQueueName, "resolvedQueueName", "Ljava/lang/String;");
    noReadBack_ = m.field(kNoReadBack, "noReadBack", "Z");
    if (version > 1) {
        matchOptions_ = m.field(kMatchOptions, "matchOptions", "I");
        groupStatus_ = m.field(kGroupStatus, "groupStatus", "C");
        segmentStatus_ = m.field(kSegmentStatus, "segmentStatus", "C");
        segmentation_ = m.field(kSegmentation, "segmentation", "C");
    }
    trace.exit(clsname, "NativeZTGMO");
}

NativeZTGMO::~NativeZTGMO() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTGMO");
    trace.exit(clsname, "~NativeZTGMO");
}

void NativeZTGMO::Initialise(ZTGMO* gmo) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    std::memset(gmo, 0, sizeof *gmo);
    std::memcpy(gmo->eyeCatcher, ZTGMO_EYE_CATCHER, sizeof gmo->eyeCatcher);
    gmo->version = version;
    gmo->options = readIntField(env_, options_, optionsField_);
    gmo->waitInterval = readIntField(env_, options_, waitInterval_);
    if (version > 1) {
        gmo->matchOptions = readIntField(env_, options_, matchOptions_);
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTGMO::SetJavaZTGMO(ZTGMO gmo) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTGMO");
    // No exit line on this path, on purpose: with read-back off the host's
    // trace has always shown this entry alone, and the host relies on its
    // trace reading as before.
    if (checked::getBooleanField(env_, options_, noReadBack_)) {
        return;
    }
    SetStringField(env_, gmo.resolvedQueueName, sizeof gmo.resolvedQueueName, options_,
                   resolvedQueueName_);
    if (version > 1) {
        writeCharField(env_, gmo.groupStatus, options_, groupStatus_);
        writeCharField(env_, gmo.segmentStatus, options_, segmentStatus_);
        writeCharField(env_, gmo.segmentation, options_, segmentation_);
    }
    trace.exit(clsname, "SetJavaZTGMO");
}
