/*
 * XID conversion between the host's Java objects and the native XID record,
 * used by the XA natives of com.zel.zt.server.ZTXAi.
 */
#ifndef ZT_XA_METHODS_H
#define ZT_XA_METHODS_H

#include <jni.h>

/* The natives of com.zel.zt.server.ZTXAi (static methods), as javac declares
 * them. Each returns the XA code of its switch entry, or -1 after one line on
 * standard error. */
#include "com_zel_zt_server_ZTXAi.h"
#include "xa_switch.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills *xid from any object with getFormatId, getGlobalTransactionId and
 * getBranchQualifier. 0 on success; -1 after one line on standard error. */
ZTXA_API int javaToCxid(JNIEnv* env, jobject jxid, XID* xid);

/* A new com.zel.zt.ZTXid (local reference) built from the record, or null
 * after one line on standard error (none when a Java exception is pending). */
ZTXA_API jobject cXidToJava(JNIEnv* env, XID xid);

/* Prints the record on standard output: format, then gtrid and bqual bytes. */
ZTXA_API void debugXid(XID* xid);

#ifdef __cplusplus
}
#endif

#endif /* ZT_XA_METHODS_H */
