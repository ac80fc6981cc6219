#include "NativeZTOR.h"

#include <cstring>

#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

static const char* const clsname = "NativeZTOR";

namespace {
// Slots of the member cache, one per member looked up.
enum Member : size_t { kObjectName, kObjectQMgrName, kMemberCount };
MemberCache<kMemberCount> members;
}  // namespace

NativeZTOR::NativeZTOR(JNIEnv* env, jobject record) : env_(env) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTOR");
    // A class lacking a member fails here, before any record is built.
    membersOf(record);
    trace.exit(clsname, "NativeZTOR");
}

NativeZTOR::~NativeZTOR() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTOR");
    trace.exit(clsname, "~NativeZTOR");
}

NativeZTOR::Ids NativeZTOR::membersOf(jobject javaRecord) {
    return elements_.of(javaRecord, "NativeZTOR", [this](jclass cls) {
        Members<kMemberCount> m(env_, members, cls);
        Ids ids;
        ids.objectName = m.field(kObjectName, "objectName", "Ljava/lang/String;");
        ids.objectQMgrName = m.field(kObjectQMgrName, "objectQMgrName", "Ljava/lang/String;");
        return ids;
    });
}

void NativeZTOR::Initialise(ZTOR* record, jobject javaRecord) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    const Ids ids = membersOf(javaRecord);
    std::memset(record, 0, sizeof *record);
    copyStringField(env_, javaRecord, ids.objectName, name_, record->objectName,
                    sizeof record->objectName);
    copyStringField(env_, javaRecord, ids.objectQMgrName, qmgrName_, record->objectQMgrName,
                    sizeof record->objectQMgrName);
    trace.exit(clsname, "Initialise");
}
