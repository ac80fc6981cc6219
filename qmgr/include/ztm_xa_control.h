/*
 * Test control of the queue manager's XA library (libztmzse): every zstXA
 * call is recorded with the exact arguments it received, the next result of
 * a function can be scripted, and the branch table can be inspected and
 * cleared. Not part of what a bridge calls.
 */
#ifndef ZTM_XA_CONTROL_H
#define ZTM_XA_CONTROL_H

#include "ztm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The zstXA functions, as recorded. */
#define ZTXA_FN_OPEN     1
#define ZTXA_FN_CLOSE    2
#define ZTXA_FN_START    3
#define ZTXA_FN_END      4
#define ZTXA_FN_ROLLBACK 5
#define ZTXA_FN_PREPARE  6
#define ZTXA_FN_COMMIT   7
#define ZTXA_FN_RECOVER  8
#define ZTXA_FN_FORGET   9
#define ZTXA_FN_COMPLETE 10

#define ZTXA_CALL_STRING_MAX 256

/* One recorded call. Fields a function does not take stay zero. */
typedef struct ZTXACall {
    int function;          /* ZTXA_FN_... */
    const void* address;   /* first argument as received: string, XID, XID array or handle */
    const void* address2;  /* complete: the result address */
    int hasString;         /* open, close: the string was not null */
    char string[ZTXA_CALL_STRING_MAX]; /* its characters, cut to fit, NUL-terminated */
    int hasXid;            /* start .. forget (not recover): a record was readable */
    XID xid;               /* a copy of the record received */
    long count;            /* recover */
    int rmid;
    long flags;
    int agentModel;        /* open: fourth argument */
    int arg5;              /* open: fifth argument */
    int arg6;              /* open: sixth argument */
    int arg4;              /* start: fourth argument */
    int result;            /* what the function returned */
    int scripted;          /* 1 when the result was scripted */
} ZTXACall;

/* Branch states reported by ztmXABranchState. */
#define ZTXA_BRANCH_NONE           0
#define ZTXA_BRANCH_ACTIVE         1 /* some thread associated or suspended */
#define ZTXA_BRANCH_IDLE           2 /* ended, not prepared */
#define ZTXA_BRANCH_PREPARED       3
#define ZTXA_BRANCH_ROLLBACK_ONLY  4 /* ended, will only roll back */
#define ZTXA_BRANCH_HEURISTIC      5 /* completed heuristically, until forgotten */

ZTM_API int ztmXACallCount(void);
/* Copies call index (0 = oldest) to *call: 0, or -1 if there is no such call. */
ZTM_API int ztmXAGetCall(int index, ZTXACall* call);
ZTM_API void ztmXAClearCalls(void);

/* The next call of function returns result and changes nothing. Scripts of
 * one function are used in the order they were given. */
ZTM_API void ztmXAScriptResult(int function, int result);
/* The next recover writes min(fill, its count) of records into its buffer
 * and returns result, whatever the branch table holds. */
ZTM_API void ztmXAScriptRecover(const XID* records, int fill, int result);

/* Completes a prepared branch heuristically (outcome XA_HEURCOM or
 * XA_HEURRB), as an administrator would: 0, or -1 if it is not prepared. */
ZTM_API int ztmXAHeuristic(const XID* xid, int outcome);
ZTM_API int ztmXABranchState(const XID* xid);
ZTM_API int ztmXABranchCount(void);

/* Forgets every branch, open resource manager, recovery scan, script and
 * recorded call. */
ZTM_API void ztmXAReset(void);

#ifdef __cplusplus
}
#endif

#endif /* ZTM_XA_CONTROL_H */
