// Java objects and natives for the XA tests in the embedded JVM.
#ifndef XA_TEST_XA_JVM_H
#define XA_TEST_XA_JVM_H

#include "Jvm.h"
#include "XidRecords.h"
#include "ZTXAiMethods.h"

#include <optional>

inline jobject newZTXid(int format, const zt::test::Bytes& gtrid, const zt::test::Bytes& bqual)
{
    return zt::test::newObject("com/zel/zt/ZTXid", "(I[B[B)V", format,
                               zt::test::newByteArray(gtrid), zt::test::newByteArray(bqual));
}

// An xatest.TestXid; a part given as nullopt is a null array.
inline jobject newTestXid(int format, const std::optional<zt::test::Bytes>& gtrid,
                          const std::optional<zt::test::Bytes>& bqual)
{
    return zt::test::newObject("xatest/TestXid", "(I[B[B)V", format,
                               gtrid ? zt::test::newByteArray(*gtrid) : nullptr,
                               bqual ? zt::test::newByteArray(*bqual) : nullptr);
}

inline jclass xaClass()
{
    return zt::test::findClass("com/zel/zt/server/ZTXAi");
}

inline int formatOf(jobject xid)
{
    return zt::test::callInt(xid, "getFormatId", "()I");
}

// The bytes a getter returns; the array goes at once, so a test may read the
// parts of any number of identifiers.
inline zt::test::Bytes partOf(jobject xid, const char* getter)
{
    auto array = static_cast<jbyteArray>(zt::test::callObject(xid, getter, "()[B"));
    zt::test::Bytes bytes = zt::test::byteArrayValue(array);
    zt::test::deleteLocalRef(array);
    return bytes;
}

inline zt::test::Bytes gtridOf(jobject xid)
{
    return partOf(xid, "getGlobalTransactionId");
}

inline zt::test::Bytes bqualOf(jobject xid)
{
    return partOf(xid, "getBranchQualifier");
}

inline bool isZTXid(jobject obj)
{
    return obj != nullptr &&
           zt::test::env()->IsInstanceOf(obj, zt::test::findClass("com/zel/zt/ZTXid"));
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
    zt::test::callNative([&] { rc = fn(); });
    return rc;
}

// Everything written to standard output and error while fn ran, in order.
inline std::string output(const std::function<void()>& fn)
{
    return zt::test::capture(zt::test::Streams::Both, fn);
}

#endif  // XA_TEST_XA_JVM_H
