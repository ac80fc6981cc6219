/*
 * Test control of the queue manager's XA resource manager (libztmzse): the
 * state of a branch, and a heuristic decision as an administrator would take
 * it. The zstXA calls themselves are recorded and scripted through the
 * engine's control interface (ztm_control.h, functions "zstXAOpen" ...), and
 * its reset() forgets every branch too.
 */
#ifndef ZTM_XA_CONTROL_H
#define ZTM_XA_CONTROL_H

#include "ztm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Branch states reported by ztmXABranchState. */
#define ZTXA_BRANCH_NONE           0
#define ZTXA_BRANCH_ACTIVE         1 /* some thread associated or suspended */
#define ZTXA_BRANCH_IDLE           2 /* ended, not prepared */
#define ZTXA_BRANCH_PREPARED       3
#define ZTXA_BRANCH_ROLLBACK_ONLY  4 /* ended, will only roll back */
#define ZTXA_BRANCH_HEURISTIC      5 /* completed heuristically, until forgotten */

ZTM_API int ztmXABranchState(const XID* xid);
ZTM_API int ztmXABranchCount(void);

/* Completes a prepared branch heuristically (outcome XA_HEURCOM or
 * XA_HEURRB): its work is committed or rolled back now, and commit or
 * rollback answer the outcome until the branch is forgotten. 0, or -1 if the
 * branch is not prepared. */
ZTM_API int ztmXAHeuristic(const XID* xid, int outcome);

#ifdef __cplusplus
}
#endif

#endif /* ZTM_XA_CONTROL_H */
