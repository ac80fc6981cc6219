// The XA switch exported by libxabridge. Each entry hands its call to the
// queue manager's XA function and returns its code untouched; open and start
// add the queue manager's own trailing arguments.
#include "xa_switch.h"

extern "C" {

int zsxxAgentModel = 8;

int ZTRMIOpen(char* openString, int rmid, long flags)
{
    return zstXAOpen(openString, rmid, flags, zsxxAgentModel, 0, 1);
}

int ZTRMIClose(char* closeString, int rmid, long flags)
{
    return zstXAClose(closeString, rmid, flags);
}

int ZTRMIStart(XID* xid, int rmid, long flags)
{
    return zstXAStart(xid, rmid, flags, 1);
}

int ZTRMIEnd(XID* xid, int rmid, long flags)
{
    return zstXAEnd(xid, rmid, flags);
}

int ZTRMIRollback(XID* xid, int rmid, long flags)
{
    return zstXARollback(xid, rmid, flags);
}

int ZTRMIPrepare(XID* xid, int rmid, long flags)
{
    return zstXAPrepare(xid, rmid, flags);
}

int ZTRMICommit(XID* xid, int rmid, long flags)
{
    return zstXACommit(xid, rmid, flags);
}

int ZTRMIRecover(XID* xids, long count, int rmid, long flags)
{
    return zstXARecover(xids, count, rmid, flags);
}

int ZTRMIForget(XID* xid, int rmid, long flags)
{
    return zstXAForget(xid, rmid, flags);
}

int ZTRMIComplete(int* handle, int* retval, int rmid, long flags)
{
    return zstXAComplete(handle, retval, rmid, flags);
}

// Writable, as a transaction manager may expect of a switch it finds by name.
struct xa_switch_t ZTRMIXASwitch = {
    "Vantorix_XA_RMI",
    TMNOMIGRATE,
    0,
    ZTRMIOpen,
    ZTRMIClose,
    ZTRMIStart,
    ZTRMIEnd,
    ZTRMIRollback,
    ZTRMIPrepare,
    ZTRMICommit,
    ZTRMIRecover,
    ZTRMIForget,
    ZTRMIComplete,
};

struct xa_switch_t* swch = &ZTRMIXASwitch;

} // extern "C"
