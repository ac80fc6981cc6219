#include "NativeZTGMO.h"

#include <cstring>

#include "ExceptionStash.h"
#include "FieldCopy.h"
#include "JniGuards.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTGMO";

NativeZTGMO::NativeZTGMO(JNIEnv* env, jobject options) : env_(env), options_(options) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTGMO");
    LocalRef<jclass> cls(env_, requireObjectClass(env_, options_, "NativeZTGMO"));
    jclass c = cls.get();
    jmethodID getVersion = GetMethodID(env_, c, "getVersion", "()I");
    version = env_->CallIntMethod(options_, getVersion);
    ExceptionStash::park(env_);
    optionsField_ = GetFieldID(env_, c, "options", "I");
    waitInterval_ = GetFieldID(env_, c, "waitInterval", "I");
    resolvedQueueName_ = GetFieldID(env_, c, "resolvedQueueName", "Ljava/lang/String;");
    noReadBack_ = GetFieldID(env_, c, "noReadBack", "Z");
    if (version > 1) {
        matchOptions_ = GetFieldID(env_, c, "matchOptions", "I");
        groupStatus_ = GetFieldID(env_, c, "groupStatus", "C");
        segmentStatus_ = GetFieldID(env_, c, "segmentStatus", "C");
        segmentation_ = GetFieldID(env_, c, "segmentation", "C");
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
    gmo->options = GetIntField(env_, options_, optionsField_);
    gmo->waitInterval = GetIntField(env_, options_, waitInterval_);
    if (version > 1) {
        gmo->matchOptions = GetIntField(env_, options_, matchOptions_);
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTGMO::SetJavaZTGMO(ZTGMO gmo) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTGMO");
    if (env_->GetBooleanField(options_, noReadBack_)) {
        return;
    }
    SetStringField(env_, gmo.resolvedQueueName, sizeof gmo.resolvedQueueName, options_,
                   resolvedQueueName_);
    if (version > 1) {
        SetCharField(env_, gmo.groupStatus, options_, groupStatus_);
        SetCharField(env_, gmo.segmentStatus, options_, segmentStatus_);
        SetCharField(env_, gmo.segmentation, options_, segmentation_);
    }
    trace.exit(clsname, "SetJavaZTGMO");
}
