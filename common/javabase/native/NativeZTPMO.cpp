#include "NativeZTPMO.h"

#include <cstring>

#include "CheckedJni.h"
#include "JniGuards.h"
#include "MemberLookup.h"
#include "NativeError.h"
#include "NativeTrace.h"
#include "NativeUtil.h"
#include "NativeZTPMR.h"
#include "NativeZTRR.h"

static const char* const clsname = "NativeZTPMO";

namespace {
// Slots of the member cache, one per member looked up.
enum Member : size_t {
    kVersion, kOptions, kContextReferenceHandle, kResolvedQueueName, kResolvedQueueManagerName,
    kKnownDestCount, kUnknownDestCount, kInvalidDestCount, kNoReadBack, kPutMsgRecordFields,
    kPutMessageRecords, kResponseRecords, kGetNumResponseRecords, kMemberCount
};
MemberCache<kMemberCount> members;
}  // namespace

NativeZTPMO::NativeZTPMO(JNIEnv* env, jobject options) : env_(env), options_(options) {
    NativeTrace trace(env_);
    trace.entry(clsname, "NativeZTPMO");
    FramedRef<jclass> cls(env_, requireObjectClass(env_, options_, "NativeZTPMO"));
    jclass c = cls.get();
    Members<kMemberCount> m(env_, members, c);
    jfieldID versionField = m.field(kVersion, "version", "I");
    version = readIntField(env_, options_, versionField);
    optionsField_ = m.field(kOptions, "options", "I");
    contextReferenceHandle_ = m.field(kContextReferenceHandle, "contextReferenceHandle", "I");
    resolvedQueueName_ = m.field(kResolvedQueueName, "resolvedQueueName", "Ljava/lang/String;");
    resolvedQueueManagerName_ =
        m.field(kResolvedQueueManagerName, "resolvedQueueManagerName", "Ljava/lang/String;");
    knownDestCount_ = m.field(kKnownDestCount, "knownDestCount", "I");
    unknownDestCount_ = m.field(kUnknownDestCount, "unknownDestCount", "I");
    invalidDestCount_ = m.field(kInvalidDestCount, "invalidDestCount", "I");
    noReadBack_ = m.field(kNoReadBack, "noReadBack", "Z");
    if (version > 1) {
        putMsgRecordFields_ = m.field(kPutMsgRecordFields, "putMsgRecordFields", "I");
        putMessageRecordsField_ =
            m.field(kPutMessageRecords, "putMessageRecords", "[Lcom/zel/zt/ZTMessageTracker;");
        responseRecordsField_ =
            m.field(kResponseRecords, "responseRecords", "[Lcom/zel/zt/ZTResponseRecord;");
        getNumResponseRecords_ = m.method(kGetNumResponseRecords, "getNumResponseRecords", "()I");
    }
    trace.exit(clsname, "NativeZTPMO");
}

NativeZTPMO::~NativeZTPMO() {
    NativeTrace trace(env_, std::nothrow);
    trace.entry(clsname, "~NativeZTPMO");
    putMessageRecordArray_.reset();
    responseRecordArray_.reset();
    trace.exit(clsname, "~NativeZTPMO");
}

void NativeZTPMO::Initialise(ZTPMO* pmo) {
    NativeTrace trace(env_);
    trace.entry(clsname, "Initialise");
    std::memset(pmo, 0, sizeof *pmo);
    std::memcpy(pmo->eyeCatcher, ZTPMO_EYE_CATCHER, sizeof pmo->eyeCatcher);
    pmo->version = version;
    pmo->options = readIntField(env_, options_, optionsField_);
    pmo->context = readIntField(env_, options_, contextReferenceHandle_);
    putMessageRecordArray_.reset();
    responseRecordArray_.reset();
    count_ = 0;
    fields_ = 0;
    trace.trace(2, "NativeZTPMO", "Version:", version);
    if (version > 1) {
        count_ = checked::callIntMethod(env_, options_, getNumResponseRecords_);
        trace.trace(2, "NativeZTPMO", "NumPutMsgRecs:", count_);
        if (count_ >= 1) {
            buildResponseRecords();
            fields_ = readIntField(env_, options_, putMsgRecordFields_);
            trace.trace(2, "NativeZTPMO", "Valid fields", fields_);
            if (fields_ != 0) {
                buildPutMessageRecords();
            }
        }
    }
    pmo->putMsgRecordFields = fields_;
    pmo->recordCount = count_;
    pmo->responseRecords = responseRecordArray_.get();
    pmo->putMsgRecords = putMessageRecordArray_.get();
    trace.exit(clsname, "Initialise");
}

// Response records are only built when the host gave an array to receive them;
// a put without them goes ahead, as it does when the memory cannot be had.
void NativeZTPMO::buildResponseRecords() {
    responseRecords_ =
        static_cast<jobjectArray>(checked::getObjectField(env_, options_, responseRecordsField_));
    if (responseRecords_ == nullptr) {
        return;
    }
    LocalRef<jobject> first(env_, checked::arrayLength(env_, responseRecords_) > 0
                                      ? checked::arrayElement(env_, responseRecords_, 0)
                                      : nullptr);
    if (first.get() == nullptr) {
        return;
    }
    // Written back element by element up to the count after the put.
    requireRecords(env_, responseRecords_, count_, "responseRecords");
    responseRecordArray_.reset(
        static_cast<ZTRR*>(std::calloc(static_cast<size_t>(count_), sizeof(ZTRR))));
}

void NativeZTPMO::buildPutMessageRecords() {
    putMessageRecords_ =
        static_cast<jobjectArray>(checked::getObjectField(env_, options_, putMessageRecordsField_));
    if (putMessageRecords_ == nullptr) {
        return;
    }
    LocalRef<jobject> first(env_, checked::arrayLength(env_, putMessageRecords_) > 0
                                      ? checked::arrayElement(env_, putMessageRecords_, 0)
                                      : nullptr);
    if (first.get() == nullptr) {
        return;
    }
    requireRecords(env_, putMessageRecords_, count_, "putMessageRecords");
    NativeTrace trace(env_);
    recordSize_ = NativeZTPMR::getMemNeeded(fields_);
    trace.trace(2, "NativeZTPMO", "memneeded:", recordSize_);
    void* records = std::calloc(static_cast<size_t>(count_), static_cast<size_t>(recordSize_));
    if (records == nullptr && recordSize_ > 0) {
        trace.trace(2, "NativeZTPMO", "***********No memory for records");
        throw NativeError();
    }
    putMessageRecordArray_.reset(static_cast<unsigned char*>(records));
    NativeZTPMR converter(env_, first.get(), fields_);
    unsigned char* cursor = putMessageRecordArray_.get();
    forEachElement(env_, putMessageRecords_, count_, [&](jint, jobject element) {
        // A null element takes no native record: the records stay packed.
        if (element != nullptr) {
            converter.Initialise(&cursor, element);
            cursor += recordSize_;
        }
    });
}

void NativeZTPMO::SetJavaZTPMO(ZTPMO pmo) {
    NativeTrace trace(env_);
    trace.entry(clsname, "SetJavaZTPMO");
    if (!checked::getBooleanField(env_, options_, noReadBack_) && version >= 1) {
        SetStringField(env_, pmo.resolvedQueueName, sizeof pmo.resolvedQueueName, options_,
                       resolvedQueueName_);
        SetStringField(env_, pmo.resolvedQueueManagerName, sizeof pmo.resolvedQueueManagerName,
                       options_, resolvedQueueManagerName_);
        writeIntField(env_, pmo.knownDestCount, options_, knownDestCount_);
        writeIntField(env_, pmo.unknownDestCount, options_, unknownDestCount_);
        writeIntField(env_, pmo.invalidDestCount, options_, invalidDestCount_);
        if (version >= 2) {
            // The records written back are the converter's own, over the count it
            // built them for: the addresses in the record are only tested.
            if (pmo.recordCount >= 1 && pmo.responseRecords != nullptr) {
                writeResponseRecords();
            }
            if (pmo.recordCount >= 1 && pmo.putMsgRecords != nullptr && fields_ != 0) {
                writePutMessageRecords();
            }
        }
    }
    trace.exit(clsname, "SetJavaZTPMO");
}

void NativeZTPMO::writeResponseRecords() {
    if (responseRecordArray_ == nullptr) {
        return;
    }
    jobjectArray records =
        static_cast<jobjectArray>(checked::getObjectField(env_, options_, responseRecordsField_));
    LocalRef<jobjectArray> array(env_, records);
    if (records == nullptr) {
        return;
    }
    const jint available = checked::arrayLength(env_, records);
    const jint n = count_ < available ? count_ : available;
    LocalRef<jobject> first(env_, n >= 1 ? checked::arrayElement(env_, records, 0) : nullptr);
    if (first.get() == nullptr) {
        return;
    }
    NativeZTRR converter(env_, first.get());
    const ZTRR* cursor = responseRecordArray_.get();
    forEachElement(env_, records, n, [&](jint, jobject element) {
        if (element != nullptr) {
            converter.SetJavaZTRR(*cursor, element);
            ++cursor;
        }
    });
}

void NativeZTPMO::writePutMessageRecords() {
    if (putMessageRecordArray_ == nullptr || putMessageRecords_ == nullptr) {
        return;
    }
    LocalRef<jobject> first(env_, checked::arrayElement(env_, putMessageRecords_, 0));
    if (first.get() == nullptr) {
        return;
    }
    NativeZTPMR converter(env_, first.get(), fields_);
    unsigned char* cursor = putMessageRecordArray_.get();
    forEachElement(env_, putMessageRecords_, count_, [&](jint, jobject element) {
        if (element != nullptr) {
            converter.SetJavaZTPMR(cursor, element);
            cursor += recordSize_;
        }
    });
}
