#include "NativeZTOD.h"

#include <cstring>
#include <optional>

#include "CheckedJni.h"
#include "FieldCopy.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeError.h"
#include "NativeTrace.h"
#include "NativeUtil.h"
#include "NativeZTOR.h"
#include "NativeZTRR.h"

static const char* const clsname = "NativeZTOD";

namespace {
const char* const kString = "Ljava/lang/String;";

template <typename T>
T* allocateRecords(JNIEnv* env, jint count) {
    void* records = std::calloc(static_cast<size_t>(count), sizeof(T));
    if (records == nullptr) {
        NativeTrace trace(env);
        trace.trace(2, "Initialise", "***********No memory for records");
        throw NativeError();
    }
    return static_cast<T*>(records);
}
// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kVersion, kObjectType, kObjectName, kObjectQMgrName, kDynamicQName, kAlternateUserId,
    kGetNumberofRecords, kKnownDestCount, kUnknownDestCount, kInvalidDestCount, kObjectRecords,
    kResponseRecords, kMemberCount
};
MemberCache<kMemberCount> members;
}  // namespace

NativeZTOD::NativeZTOD(JNIEnv* env, jobject descriptor) : env_(env), descriptor_(descriptor) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTOD");
    FramedRef<jclass> cls(env_, requireObjectClass(env_, descriptor_, "NativeZTOD"));
    Members<kMemberCount> m(env_, members, cls.get());
    versionField_ = m.field(kVersion, "Version", "I");
    version = readIntField(env_, descriptor_, versionField_);
    objectType_ = m.field(kObjectType, "ObjectType", "I");
    objectName_ = m.field(kObjectName, "ObjectName", kString);
    objectQMgrName_ = m.field(kObjectQMgrName, "ObjectQMgrName", kString);
    dynamicQName_ = m.field(kDynamicQName, "DynamicQName", kString);
    alternateUserId_ = m.field(kAlternateUserId, "AlternateUserId", kString);
    if (version > 1) {
        jmethodID records = m.method(kGetNumberofRecords, "GetNumberofRecords", "()I");
        count = checked::callIntMethod(env_, descriptor_, records);
        knownDestCount_ = m.field(kKnownDestCount, "KnownDestCount", "I");
        unknownDestCount_ = m.field(kUnknownDestCount, "UnknownDestCount", "I");
        invalidDestCount_ = m.field(kInvalidDestCount, "InvalidDestCount", "I");
        objectRecordsField_ =
            m.field(kObjectRecords, "objectRecords", "[Lcom/zel/zt/ZTObjectRecord;");
        responseRecordsField_ =
            m.field(kResponseRecords, "responseRecords", "[Lcom/zel/zt/ZTResponseRecord;");
    }
    trace.exit(clsname, "NativeZTOD");
}

NativeZTOD::~NativeZTOD() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTOD");
    objectRecordArray_.reset();
    responseRecordArray_.reset();
    trace.exit(clsname, "~NativeZTOD");
}

void NativeZTOD::Initialise(ZTOD* record) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    std::memset(record, 0, sizeof *record);
    std::memcpy(record->eyeCatcher, ZTOD_EYE_CATCHER, sizeof record->eyeCatcher);
    record->version = version;
    record->objectType = readIntField(env_, descriptor_, objectType_);
    objectNameExact_ = copyStringField(env_, descriptor_, objectName_, strings_[0],
                                       record->objectName, sizeof record->objectName);
    objectQMgrNameExact_ = copyStringField(env_, descriptor_, objectQMgrName_, strings_[1],
                                           record->objectQMgrName, sizeof record->objectQMgrName);
    std::memcpy(objectNameIn_, record->objectName, sizeof objectNameIn_);
    std::memcpy(objectQMgrNameIn_, record->objectQMgrName, sizeof objectQMgrNameIn_);
    copyStringField(env_, descriptor_, dynamicQName_, strings_[2], record->dynamicQName,
                    sizeof record->dynamicQName);
    copyStringField(env_, descriptor_, alternateUserId_, strings_[3], record->alternateUserId,
                    sizeof record->alternateUserId);
    if (version >= 2) {
        record->recsPresent = count;
        if (count >= 1) {
            trace.trace(2, "Initialise", "RecsPresent is:", count);
            buildRecordArrays();
            record->objectRecords = objectRecordArray_.get();
            record->responseRecords = responseRecordArray_.get();
        }
    }
    trace.exit(clsname, "Initialise");
}

void NativeZTOD::buildRecordArrays() {
    objectRecords_ =
        static_cast<jobjectArray>(checked::getObjectField(env_, descriptor_, objectRecordsField_));
    responseRecords_ = static_cast<jobjectArray>(
        checked::getObjectField(env_, descriptor_, responseRecordsField_));
    // Both arrays are walked by index up to the count: one that is missing or
    // shorter would be read past its end.
    requireRecords(env_, objectRecords_, count, "objectRecords");
    requireRecords(env_, responseRecords_, count, "responseRecords");

    objectRecordArray_.reset(allocateRecords<ZTOR>(env_, count));
    responseRecordArray_.reset(allocateRecords<ZTRR>(env_, count));

    LocalRef<jobject> first(env_, checked::arrayElement(env_, objectRecords_, 0));
    if (first.get() == nullptr) {
        DoException(env_, 2, 2195, 103, "objectRecords");
    }
    NativeZTOR converter(env_, first.get());
    ZTOR* records = objectRecordArray_.get();
    forEachElement(env_, objectRecords_, count, [&](jint i, jobject element) {
        if (element == nullptr) {
            DoException(env_, 2, 2195, 103, "objectRecords");
        }
        converter.Initialise(&records[i], element);
    });
}

void NativeZTOD::SetJavaZTOD(ZTOD record) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTOD");
    writeBackString(env_, record.objectName, objectNameIn_, sizeof record.objectName,
                    objectNameExact_, descriptor_, objectName_);
    writeBackString(env_, record.objectQMgrName, objectQMgrNameIn_, sizeof record.objectQMgrName,
                    objectQMgrNameExact_, descriptor_, objectQMgrName_);
    if (version >= 2) {
        writeIntField(env_, record.invalidDestCount, descriptor_, invalidDestCount_);
        writeIntField(env_, record.unknownDestCount, descriptor_, unknownDestCount_);
        writeIntField(env_, record.knownDestCount, descriptor_, knownDestCount_);
        responseRecords_ = static_cast<jobjectArray>(
            checked::getObjectField(env_, descriptor_, responseRecordsField_));
        if (record.recsPresent >= 1 && record.responseRecords != nullptr &&
            responseRecordArray_ != nullptr && responseRecords_ != nullptr) {
            // The host may have replaced the array since Initialise: never index
            // past the one there now, and skip elements that are null (the
            // converter is built on the first element that is there).
            const jint available = checked::arrayLength(env_, responseRecords_);
            const jint n = count < available ? count : available;
            std::optional<NativeZTRR> converter;
            const ZTRR* records = responseRecordArray_.get();
            forEachElement(env_, responseRecords_, n, [&](jint i, jobject element) {
                if (element == nullptr) {
                    return;
                }
                if (!converter) {
                    converter.emplace(env_, element);
                }
                converter->SetJavaZTRR(records[i], element);
            });
        }
    }
    trace.exit(clsname, "SetJavaZTOD");
}
