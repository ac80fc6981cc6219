// XID conversion and the XA natives of com.zel.zt.server.ZTXAi.
//
// These natives report their own failures as one line on standard error and
// the result -1; any other result is the XA code of the switch entry, passed
// back untouched. A Java exception raised by a JNI call is taken aside and
// raised again as the native returns, so the caller finds it pending. They
// reach the queue manager only through swch, so a Java caller gets exactly
// what a native transaction manager using the switch gets.
//
// Read from the top: each piece comes before the code that uses it. First a
// Java XID to the record (javaToCxid), then the record to a Java XID
// (cXidToJava, and the recover native through the same path), then the
// natives' own helpers, the natives last.
#include "ZTXAiMethods.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "CheckedJni.h"
#include "FreeDeleter.h"
#include "JniGuards.h"
#include "MemberCache.h"
#include "NativeBoundary.h"

// --- a Java XID to the record ----------------------------------------------------

namespace {

// The getters of the XID classes seen so far, kept per class: a transaction
// manager passes its own XID class, and any number of them may be in use.
enum XidMethod : size_t { kGetFormatId, kGetGlobalTransactionId, kGetBranchQualifier, kXidMethods };
MemberCache<kXidMethods> xidClasses;

// The getters of one XID's class: kept ones, else looked up (and then kept).
// A lookup that fails keeps nothing and leaves the JVM's error pending.
class XidMethods {
public:
    XidMethods(JNIEnv* env, jclass cls) : env_(env), cls_(cls), slots_(xidClasses.find(env, cls)) {
        // Kept nowhere, with the JVM's error taken aside when no weak
        // reference could be made.
        failed_ = slots_ == nullptr && ExceptionStash::raised(env);
    }
    bool failed() const { return failed_; }
    // Kept, else looked up as the converters' Members do, but a failure is
    // null (with the JVM's error taken aside), not a throw.
    jmethodID get(XidMethod slot, const char* name, const char* sig) {
        return keptOrFound<jmethodID>(slots_, slot,
                                      [&] { return checked::methodId(env_, cls_, name, sig); });
    }

private:
    JNIEnv* env_;
    jclass cls_;
    MemberSlots<kXidMethods>* slots_;
    bool failed_ = false;
};

// The texts for one of the two byte parts of an XID.
struct XidPart {
    jsize limit;
    const char* method;
    const char* noMethod;
    const char* noArray;
    const char* tooBig;
    const char* noElements;
};

const XidPart kGtrid = {
    MAXGTRIDSIZE,
    "getGlobalTransactionId",
    "failed to get methodID for xid.getGlobalTransactionId()\n",
    "failed to get globalTransactionId from xid\n",
    "gtrid too big (%d)\n",
    "failed to get array elements for gtrid\n",
};

const XidPart kBqual = {
    MAXBQUALSIZE,
    "getBranchQualifier",
    "failed to get methodID for xid.getBranchQualifier()\n",
    "failed to get branch qualifer from xid\n",
    "bqual too big (%d)\n",
    "failed to get array elements for bqual\n",
};

// Copies one part's bytes to dest and stores its length, once the length has
// passed the XA limit. 0, or -1 after the part's message.
int copyXidPart(JNIEnv* env, jobject jxid, XidMethods& methods, XidMethod slot, const XidPart& part,
                long* length, char* dest) {
    jmethodID mid = methods.get(slot, part.method, "()[B");
    if (mid == nullptr) {
        std::fputs(part.noMethod, stderr);
        return -1;
    }
    FramedRef<jbyteArray> array(env,
                                static_cast<jbyteArray>(checked::callObjectMethod(env, jxid, mid)));
    if (array.get() == nullptr || ExceptionStash::raised(env)) {
        std::fputs(part.noArray, stderr);
        return -1;
    }
    jsize n = checked::arrayLength(env, array.get());
    if (n > part.limit) {
        std::fprintf(stderr, part.tooBig, static_cast<int>(n));
        return -1;
    }
    *length = n;
    ByteArrayElements elements = checked::elements(env, array.get());
    if (elements.get() == nullptr) {
        std::fputs(part.noElements, stderr);
        return -1;
    }
    std::memcpy(dest, elements.get(), static_cast<size_t>(n));
    return 0;
}

}  // namespace

extern "C" {

int javaToCxid(JNIEnv* env, jobject jxid, XID* xid) {
    // GetObjectClass requires an object; a null one is refused here.
    if (jxid == nullptr) {
        std::fputs("failed to get class of xid (null)\n", stderr);
        return -1;
    }
    FramedRef<jclass> cls(env, checked::objectClass(env, jxid));
    XidMethods methods(env, cls.get());
    if (methods.failed()) {
        std::fputs("failed to keep the class of xid\n", stderr);
        return -1;
    }
    jmethodID getFormatId = methods.get(kGetFormatId, "getFormatId", "()I");
    if (getFormatId == nullptr) {
        std::fputs("failed to get methodID for xid.getFormatId()\n", stderr);
        return -1;
    }
    xid->formatID = checked::callIntMethod(env, jxid, getFormatId);
    if (ExceptionStash::raised(env)) {
        // No line end: the verb's own message follows on the same line.
        std::fputs("call to getFormatId failed", stderr);
        return -1;
    }
    if (copyXidPart(env, jxid, methods, kGetGlobalTransactionId, kGtrid, &xid->gtrid_length,
                    xid->data) != 0) {
        return -1;
    }
    if (copyXidPart(env, jxid, methods, kGetBranchQualifier, kBqual, &xid->bqual_length,
                    xid->data + xid->gtrid_length) != 0) {
        return -1;
    }
    return 0;
}

}  // extern "C"

// --- the record to a Java XID ----------------------------------------------------

namespace {

// A byte part of a record from the queue manager: refused when its length
// would take the copy outside the record.
bool partLengthValid(const char* what, long length, long limit) {
    if (length < 0 || length > limit) {
        std::fprintf(stderr, "%s length out of range (%ld)\n", what, length);
        return false;
    }
    return true;
}

jbyteArray newByteArray(JNIEnv* env, const char* bytes, long length) {
    jbyteArray array = checked::newByteArray(env, static_cast<jsize>(length));
    if (array != nullptr) {
        checked::fillNewByteArray(env, array, static_cast<jsize>(length),
                                  reinterpret_cast<const jbyte*>(bytes));
    }
    return array;
}

// How a step of making a host XID reports that it made nothing; the host's
// lines are these two rules, not one. A class, constructor or object: the
// JVM's error, when one is pending, says it all; a null result with nothing
// pending is named. (A JVM never returns null without raising, but a JNI
// layer between, an agent or a proxy, may.)
bool madeNothing(JNIEnv* env, const void* made, const char* line) {
    if (ExceptionStash::raised(env)) {
        return true;
    }
    if (made == nullptr) {
        std::fputs(line, stderr);
        return true;
    }
    return false;
}

// A byte array: one not made is named whatever is pending; one made whose
// bytes could not be stored fails with the JVM's error alone.
bool arrayNotMade(JNIEnv* env, jbyteArray array, const char* line) {
    if (array == nullptr) {
        std::fputs(line, stderr);
        return true;
    }
    return ExceptionStash::raised(env);
}

// The host's XID class and its constructor, by name. False after the
// failure's message, or with the JVM's error taken aside.
bool findXidClass(JNIEnv* env, LocalRef<jclass>& cls, jmethodID& ctor) {
    cls.reset(checked::findClass(env, "com/zel/zt/ZTXid"));
    if (madeNothing(env, cls.get(), "failed to find ZTXid class\n")) {
        return false;
    }
    ctor = checked::methodId(env, cls.get(), "<init>", "(I[B[B)V");
    return !madeNothing(env, ctor, "failed to get methodID for ZTXid constructor\n");
}

// The host's XID class and constructor as a recover keeps them: found by name
// once per library, the class then held weakly (it is the class the library's
// own loader resolves, so it goes only with the library). Filled by the first
// recover that finds both; a recover that cannot fill it looks them up by name.
class KeptXidClass {
public:
    bool find(JNIEnv* env, LocalRef<jclass>& cls, jmethodID& ctor) {
        if (jweak kept = class_.load(std::memory_order_acquire)) {
            cls.reset(static_cast<jclass>(checked::newLocalRef(env, kept)));
            if (cls.get() != nullptr) {
                ctor = ctor_;
                return true;
            }
        }
        if (!findXidClass(env, cls, ctor)) {
            return false;
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (class_.load(std::memory_order_relaxed) == nullptr) {
            ExceptionStash::Harmless harmless;
            if (jweak weak = checked::newWeakGlobalRef(env, cls.get())) {
                ctor_ = ctor;
                class_.store(weak, std::memory_order_release);
            }
        }
        return true;
    }

private:
    std::atomic<jweak> class_{nullptr};
    jmethodID ctor_ = nullptr;
    std::mutex lock_;
};
KeptXidClass keptXidClass;

bool partLengthsValid(const XID& xid) {
    return partLengthValid("gtrid", xid.gtrid_length, MAXGTRIDSIZE) &&
           partLengthValid("bqual", xid.bqual_length, MAXBQUALSIZE);
}

// A new host XID holding the record's parts; null after the failure's message,
// or with the JVM's error taken aside.
jobject newJavaXid(JNIEnv* env, jclass cls, jmethodID ctor, const XID& xid) {
    LocalRef<jbyteArray> gtrid(env, newByteArray(env, xid.data, xid.gtrid_length));
    if (arrayNotMade(env, gtrid.get(), "failed to create byte array for gtrid\n")) {
        return nullptr;
    }
    LocalRef<jbyteArray> bqual(env,
                               newByteArray(env, xid.data + xid.gtrid_length, xid.bqual_length));
    if (arrayNotMade(env, bqual.get(), "failed to create byte array for bqual\n")) {
        return nullptr;
    }
    jobject result = checked::newObject(env, cls, ctor, static_cast<jint>(xid.formatID),
                                        gtrid.get(), bqual.get());
    return madeNothing(env, result, "failed to create an instance of ZTXid\n") ? nullptr : result;
}

// The one way from a record to a host XID, for cXidToJava and the recover
// native alike: the parts' lengths checked, the class and constructor taken
// into `cls` and `ctor` by `find` unless an XID before took them, then the
// object. Null after the failure's message, or with the JVM's error taken aside.
template <typename Find>
jobject xidToJava(JNIEnv* env, const XID& xid, LocalRef<jclass>& cls, jmethodID& ctor,
                  Find&& find) {
    if (!partLengthsValid(xid)) {
        return nullptr;
    }
    if (cls.get() == nullptr && !find(env, cls, ctor)) {
        return nullptr;
    }
    return newJavaXid(env, cls.get(), ctor, xid);
}

}  // namespace

extern "C" {

jobject cXidToJava(JNIEnv* env, XID xid) {
    // Found by name on every call: the caller's loader decides which class.
    LocalRef<jclass> cls(env, nullptr);
    jmethodID ctor = nullptr;
    return xidToJava(env, xid, cls, ctor, findXidClass);
}

}  // extern "C"

// --- the record printed ----------------------------------------------------------

namespace {

// One line of bytes, each followed by a blank. A byte is signed: 0x80 and
// above widen to ffffff80 and so on.
void printBytes(const char* bytes, long n) {
    for (long i = 0; i < n; ++i) {
        const int widened = static_cast<signed char>(bytes[i]);
        std::printf("%x ", static_cast<unsigned>(widened));
    }
    std::printf("\n");
}

}  // namespace

extern "C" {

void debugXid(XID* xid) {
    if (xid == nullptr) {
        std::printf("xid: null\n");
        std::fflush(stdout);
        return;
    }
    // Print only bytes inside the record, whatever the lengths claim.
    long gtrid = xid->gtrid_length < 0 ? 0 : xid->gtrid_length;
    if (gtrid > XIDDATASIZE) {
        gtrid = XIDDATASIZE;
    }
    long bqual = xid->bqual_length < 0 ? 0 : xid->bqual_length;
    if (bqual > XIDDATASIZE - gtrid) {
        bqual = XIDDATASIZE - gtrid;
    }
    std::printf("xid: format=%d\n", static_cast<int>(xid->formatID));
    printBytes(xid->data, gtrid);
    printBytes(xid->data + gtrid, bqual);
    std::fflush(stdout);
}

}  // extern "C"

// --- the natives -----------------------------------------------------------------

namespace {

using XidBuffer = std::unique_ptr<XID[], FreeDeleter>;

// The flags word is a set of bits: a Java int goes to the entry's long
// without sign extension, so TMASYNC stays 0x80000000 on 64-bit too.
long xaFlags(jint flags) {
    return static_cast<long>(static_cast<unsigned long>(static_cast<std::uint32_t>(flags)));
}

using StringEntry = int (*xa_switch_t::*)(char*, int, long);
using XidEntry = int (*xa_switch_t::*)(XID*, int, long);

jint stringVerb(JNIEnv* env, jstring qmgrName, jint rmid, jint flags, const char* verb,
                StringEntry entry) {
    if (qmgrName == nullptr) {
        std::fprintf(stderr, "%s: qmgrName is null\n", verb);
        return -1;
    }
    StringChars chars = checked::utfChars(env, qmgrName);
    if (chars.get() == nullptr) {
        std::fprintf(stderr, "%s: failed to get string from qmgrName\n", verb);
        return -1;
    }
    return (swch->*entry)(const_cast<char*>(chars.get()), rmid, xaFlags(flags));
}

// Every XA native runs inside the one boundary; a failure of the bridge
// itself (nothing the code above raises, but nothing may cross into the JVM)
// is the same -1 as the natives' own failures.
template <typename Body>
jint xaNative(JNIEnv* env, Body&& body) {
    return nativeBoundary(env, body, [] { return jint{-1}; });
}

jint xidVerb(JNIEnv* env, jobject jxid, jint rmid, jint flags, const char* verb, XidEntry entry) {
    if (jxid == nullptr) {
        std::fprintf(stderr, "%s: xid is null\n", verb);
        return -1;
    }
    // The class and the two arrays of the conversion are left to the native's
    // own frame.
    checked::OwnFrame frame;
    // Zeroed: the bytes past the two parts go to the queue manager too.
    XID xid = {};
    int rc = javaToCxid(env, jxid, &xid);
    if (rc != 0) {
        std::fprintf(stderr, "%s: failed to convert xid\n", verb);
        return rc;
    }
    if (checked::failedSoFar(env)) {
        return -1;
    }
    return (swch->*entry)(&xid, rmid, xaFlags(flags));
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1open_1N(JNIEnv* env, jclass,
                                                                jstring qmgrName, jint rmid,
                                                                jint flags) {
    return xaNative(env, [&] {
        return stringVerb(env, qmgrName, rmid, flags, "xa_open()", &xa_switch_t::xa_open_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1close_1N(JNIEnv* env, jclass,
                                                                 jstring qmgrName, jint rmid,
                                                                 jint flags) {
    return xaNative(env, [&] {
        return stringVerb(env, qmgrName, rmid, flags, "xa_close()", &xa_switch_t::xa_close_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1start_1N(JNIEnv* env, jclass, jobject xid,
                                                                 jint rmid, jint flags) {
    return xaNative(env, [&] {
        return xidVerb(env, xid, rmid, flags, "xa_start", &xa_switch_t::xa_start_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1end_1N(JNIEnv* env, jclass, jobject xid,
                                                               jint rmid, jint flags) {
    return xaNative(
        env, [&] { return xidVerb(env, xid, rmid, flags, "xa_end", &xa_switch_t::xa_end_entry); });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1prepare_1N(JNIEnv* env, jclass, jobject xid,
                                                                   jint rmid, jint flags) {
    return xaNative(env, [&] {
        return xidVerb(env, xid, rmid, flags, "xa_prepare", &xa_switch_t::xa_prepare_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1commit_1N(JNIEnv* env, jclass, jobject xid,
                                                                  jint rmid, jint flags) {
    return xaNative(env, [&] {
        return xidVerb(env, xid, rmid, flags, "xa_commit", &xa_switch_t::xa_commit_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1rollback_1N(JNIEnv* env, jclass,
                                                                    jobject xid, jint rmid,
                                                                    jint flags) {
    return xaNative(env, [&] {
        return xidVerb(env, xid, rmid, flags, "xa_rollback", &xa_switch_t::xa_rollback_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1forget_1N(JNIEnv* env, jclass, jobject xid,
                                                                  jint rmid, jint flags) {
    return xaNative(env, [&] {
        return xidVerb(env, xid, rmid, flags, "xa_forget", &xa_switch_t::xa_forget_entry);
    });
}

JNIEXPORT jint JNICALL Java_com_zel_zt_server_ZTXAi_xa_1recover_1N(JNIEnv* env, jclass,
                                                                   jobjectArray xids, jint rmid,
                                                                   jint flags) {
    return xaNative(env, [&]() -> jint {
        if (xids == nullptr) {
            std::fputs("xa_recover: xids is null\n", stderr);
            return -1;
        }
        jsize count = checked::arrayLength(env, xids);
        // At least one record, so an empty array still reaches the entry, with
        // count 0, whatever the allocator does with a request for nothing.
        XidBuffer buffer(static_cast<XID*>(
            std::calloc(count > 0 ? static_cast<size_t>(count) : 1, sizeof(XID))));
        if (!buffer) {
            std::fputs("no space for xid buffer\n", stderr);
            return -1;
        }
        int n = swch->xa_recover_entry(buffer.get(), count, rmid, xaFlags(flags));
        if (n <= 0) {
            return n;
        }
        // The buffer holds count records: a larger answer is not read past it.
        if (n > count) {
            n = count;
        }
        // The class and constructor, kept across calls, are taken once for all
        // the XIDs returned.
        LocalRef<jclass> cls(env, nullptr);
        jmethodID ctor = nullptr;
        for (jsize i = 0; i < n; ++i) {
            LocalRef<jobject> jxid(env, xidToJava(env, buffer[i], cls, ctor,
                                                  [](JNIEnv* e, LocalRef<jclass>& c, jmethodID& m) {
                                                      return keptXidClass.find(e, c, m);
                                                  }));
            if (jxid.get() == nullptr) {
                // The caller would take the element as it was (null, or a branch
                // of an earlier scan) for one in doubt, and commit or roll it back.
                std::fputs("failed to create java xid\n", stderr);
                return XAER_RMERR;
            }
            checked::setObjectArrayElement(env, xids, i, jxid.get());
            if (ExceptionStash::raised(env)) {
                return -1;
            }
        }
        return n;
    });
}

}  // extern "C"
