// Java objects and natives for the XA tests in the embedded JVM.
#ifndef XA_TEST_XA_JVM_H
#define XA_TEST_XA_JVM_H

#include "Jvm.h"
#include "XidRecords.h"
#include "ZTXAiMethods.h"

#include <optional>

using namespace zt::test;

inline jobject newZTXid(int format, const Bytes& gtrid, const Bytes& bqual)
{
    return newObject("com/zel/zt/ZTXid", "(I[B[B)V", format, newByteArray(gtrid),
                     newByteArray(bqual));
}

// An xatest.TestXid; a part given as nullopt is a null array.
inline jobject newTestXid(int format, const std::optional<Bytes>& gtrid,
                          const std::optional<Bytes>& bqual)
{
    return newObject("xatest/TestXid", "(I[B[B)V", format, gtrid ? newByteArray(*gtrid) : nullptr,
                     bqual ? newByteArray(*bqual) : nullptr);
}

inline jclass xaClass()
{
    return findClass("com/zel/zt/server/ZTXAi");
}

inline int formatOf(jobject xid)
{
    return callInt(xid, "getFormatId", "()I");
}

inline Bytes gtridOf(jobject xid)
{
    return byteArrayValue(
        static_cast<jbyteArray>(callObject(xid, "getGlobalTransactionId", "()[B")));
}

inline Bytes bqualOf(jobject xid)
{
    return byteArrayValue(static_cast<jbyteArray>(callObject(xid, "getBranchQualifier", "()[B")));
}

inline bool isZTXid(jobject obj)
{
    return obj != nullptr && env()->IsInstanceOf(obj, findClass("com/zel/zt/ZTXid"));
}

// The Java object holds the same identifier as the record.
inline ::testing::AssertionResult javaXidIs(jobject obj, const XID& x)
{
    if (!isZTXid(obj)) {
        return ::testing::AssertionFailure() << "not a ZTXid";
    }
    if (formatOf(obj) != x.formatID || gtridOf(obj) != gtridOf(x) || bqualOf(obj) != bqualOf(x)) {
        return ::testing::AssertionFailure() << "another identifier";
    }
    return ::testing::AssertionSuccess();
}

// The six natives that take one XID, with their message prefix and the
// queue manager function they end in.
using XidNative = jint(JNICALL*)(JNIEnv*, jclass, jobject, jint, jint);
struct XidVerb {
    const char* verb;
    XidNative native;
    const char* function;
};

inline const std::vector<XidVerb>& xidVerbs()
{
    static const std::vector<XidVerb> verbs = {
        {"xa_start", Java_com_zel_zt_server_ZTXAi_xa_1start_1N, "zstXAStart"},
        {"xa_end", Java_com_zel_zt_server_ZTXAi_xa_1end_1N, "zstXAEnd"},
        {"xa_prepare", Java_com_zel_zt_server_ZTXAi_xa_1prepare_1N, "zstXAPrepare"},
        {"xa_commit", Java_com_zel_zt_server_ZTXAi_xa_1commit_1N, "zstXACommit"},
        {"xa_rollback", Java_com_zel_zt_server_ZTXAi_xa_1rollback_1N, "zstXARollback"},
        {"xa_forget", Java_com_zel_zt_server_ZTXAi_xa_1forget_1N, "zstXAForget"},
    };
    return verbs;
}

// Calls one native in a native-sized local frame; its result.
template <typename Fn>
jint callXa(Fn fn)
{
    jint rc = -999;
    callNative([&] { rc = fn(); });
    return rc;
}

// Everything written to standard output and error while fn ran, in order.
inline std::string output(const std::function<void()>& fn)
{
    return capture(Streams::Both, fn);
}

#endif  // XA_TEST_XA_JVM_H
