#include "NativeZTOR.h"

#include <cstring>

#include "FieldCopy.h"
#include "JniGuards.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTOR";

NativeZTOR::NativeZTOR(JNIEnv* env, jobject record) : env_(env) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTOR");
    LocalRef<jclass> cls(env_, requireObjectClass(env_, record, "NativeZTOR"));
    objectName_ = GetFieldID(env_, cls.get(), "objectName", "Ljava/lang/String;");
    objectQMgrName_ = GetFieldID(env_, cls.get(), "objectQMgrName", "Ljava/lang/String;");
    trace.exit(clsname, "NativeZTOR");
}

NativeZTOR::~NativeZTOR() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTOR");
    trace.exit(clsname, "~NativeZTOR");
}

void NativeZTOR::Initialise(ZTOR* record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    std::memset(record, 0, sizeof *record);
    copyStringField(env_, javaRecord, objectName_, name_, record->objectName,
                    sizeof record->objectName);
    copyStringField(env_, javaRecord, objectQMgrName_, qmgrName_, record->objectQMgrName,
                    sizeof record->objectQMgrName);
    trace.exit(clsname, "Initialise");
}
