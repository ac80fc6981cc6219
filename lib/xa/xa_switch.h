/*
 * The XA switch of libxabridge: the record through which a transaction
 * manager drives the queue manager as an XA resource manager, laid out as a
 * native transaction manager's xa.h declares it (long flags and version, long
 * flags arguments, int rmid). The XID record and the XA constants are the
 * queue manager's, in ztm.h.
 */
#ifndef ZT_XA_SWITCH_H
#define ZT_XA_SWITCH_H

#include "ztm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RMNAMESZ 32

struct xa_switch_t {
    char name[RMNAMESZ]; /* resource manager name, NUL-filled */
    long flags;          /* TMNOMIGRATE and the like */
    long version;        /* 0 */
    int (*xa_open_entry)(char* openString, int rmid, long flags);
    int (*xa_close_entry)(char* closeString, int rmid, long flags);
    int (*xa_start_entry)(XID* xid, int rmid, long flags);
    int (*xa_end_entry)(XID* xid, int rmid, long flags);
    int (*xa_rollback_entry)(XID* xid, int rmid, long flags);
    int (*xa_prepare_entry)(XID* xid, int rmid, long flags);
    int (*xa_commit_entry)(XID* xid, int rmid, long flags);
    int (*xa_recover_entry)(XID* xids, long count, int rmid, long flags);
    int (*xa_forget_entry)(XID* xid, int rmid, long flags);
    int (*xa_complete_entry)(int* handle, int* retval, int rmid, long flags);
};

/* 80 bytes on the 32-bit target: the fields and entries follow the name
 * without padding, each as wide as a long or an address. */
ZTM_ASSERT(sizeof(long) == ZT_ADDR, "long is as wide as an address on both targets");
ZTM_ASSERT(offsetof(struct xa_switch_t, flags) == 32, "xa_switch_t.flags");
ZTM_ASSERT(offsetof(struct xa_switch_t, version) == 32 + ZT_ADDR, "xa_switch_t.version");
ZTM_ASSERT(offsetof(struct xa_switch_t, xa_open_entry) == 32 + 2 * ZT_ADDR,
           "xa_switch_t.xa_open_entry");
ZTM_ASSERT(offsetof(struct xa_switch_t, xa_rollback_entry) == 32 + 6 * ZT_ADDR,
           "xa_switch_t.xa_rollback_entry");
ZTM_ASSERT(offsetof(struct xa_switch_t, xa_prepare_entry) == 32 + 7 * ZT_ADDR,
           "xa_switch_t.xa_prepare_entry");
ZTM_ASSERT(offsetof(struct xa_switch_t, xa_commit_entry) == 32 + 8 * ZT_ADDR,
           "xa_switch_t.xa_commit_entry");
ZTM_ASSERT(offsetof(struct xa_switch_t, xa_complete_entry) == 32 + 11 * ZT_ADDR,
           "xa_switch_t.xa_complete_entry");
ZTM_ASSERT(sizeof(struct xa_switch_t) == 32 + 12 * ZT_ADDR, "xa_switch_t size");
ZTM_ASSERT(ZT_ADDR != 4 || sizeof(struct xa_switch_t) == 80, "xa_switch_t is 80 bytes on 32-bit");
ZTM_ASSERT(ZT_ADDR != 8 || sizeof(struct xa_switch_t) == 128, "xa_switch_t is 128 bytes on 64-bit");
ZTM_ASSERT(ZT_ADDR != 4 || sizeof(XID) == 140, "XID is 140 bytes on 32-bit");
ZTM_ASSERT(ZT_ADDR != 8 || sizeof(XID) == 152, "XID is 152 bytes on 64-bit");

#if defined(__GNUC__)
#define ZTXA_API __attribute__((visibility("default")))
#else
#define ZTXA_API
#endif

/* Exported by libxabridge. */
ZTXA_API extern struct xa_switch_t ZTRMIXASwitch;
ZTXA_API extern struct xa_switch_t* swch;
ZTXA_API extern int zsxxAgentModel;

ZTXA_API int ZTRMIOpen(char* openString, int rmid, long flags);
ZTXA_API int ZTRMIClose(char* closeString, int rmid, long flags);
ZTXA_API int ZTRMIStart(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMIEnd(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMIRollback(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMIPrepare(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMICommit(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMIRecover(XID* xids, long count, int rmid, long flags);
ZTXA_API int ZTRMIForget(XID* xid, int rmid, long flags);
ZTXA_API int ZTRMIComplete(int* handle, int* retval, int rmid, long flags);

#ifdef __cplusplus
}
#endif

#endif /* ZT_XA_SWITCH_H */
