package com.zel.zt.server;

/**
 * The XA verbs of the server-bindings client. The natives live in
 * libxabridge (the caller loads it); each returns the XA return code of the
 * queue manager, or -1 when the bridge itself failed.
 */
public class ZTXAi {
    // XA flags
    public static final int TMNOFLAGS = 0x00000000;
    public static final int TMREGISTER = 0x00000001;
    public static final int TMNOMIGRATE = 0x00000002;
    public static final int TMUSEASYNC = 0x00000004;
    public static final int TMASYNC = 0x80000000;
    public static final int TMONEPHASE = 0x40000000;
    public static final int TMFAIL = 0x20000000;
    public static final int TMNOWAIT = 0x10000000;
    public static final int TMRESUME = 0x08000000;
    public static final int TMSUCCESS = 0x04000000;
    public static final int TMSUSPEND = 0x02000000;
    public static final int TMSTARTRSCAN = 0x01000000;
    public static final int TMENDRSCAN = 0x00800000;
    public static final int TMMULTIPLE = 0x00400000;
    public static final int TMJOIN = 0x00200000;
    public static final int TMMIGRATE = 0x00100000;

    // XA return codes
    public static final int XA_RBBASE = 100;
    public static final int XA_RBROLLBACK = XA_RBBASE;
    public static final int XA_RBCOMMFAIL = XA_RBBASE + 1;
    public static final int XA_RBDEADLOCK = XA_RBBASE + 2;
    public static final int XA_RBINTEGRITY = XA_RBBASE + 3;
    public static final int XA_RBOTHER = XA_RBBASE + 4;
    public static final int XA_RBPROTO = XA_RBBASE + 5;
    public static final int XA_RBTIMEOUT = XA_RBBASE + 6;
    public static final int XA_RBTRANSIENT = XA_RBBASE + 7;
    public static final int XA_RBEND = XA_RBTRANSIENT;
    public static final int XA_NOMIGRATE = 9;
    public static final int XA_HEURHAZ = 8;
    public static final int XA_HEURCOM = 7;
    public static final int XA_HEURRB = 6;
    public static final int XA_HEURMIX = 5;
    public static final int XA_RETRY = 4;
    public static final int XA_RDONLY = 3;
    public static final int XA_OK = 0;
    public static final int XAER_ASYNC = -2;
    public static final int XAER_RMERR = -3;
    public static final int XAER_NOTA = -4;
    public static final int XAER_INVAL = -5;
    public static final int XAER_PROTO = -6;
    public static final int XAER_RMFAIL = -7;
    public static final int XAER_DUPID = -8;
    public static final int XAER_OUTSIDE = -9;

    /** What the natives return when the bridge itself failed (its message went to standard error). */
    public static final int BRIDGE_FAILURE = -1;

    public static native int xa_open_N(String qmgrName, int rmid, int flags);

    public static native int xa_close_N(String qmgrName, int rmid, int flags);

    public static native int xa_start_N(Object xid, int rmid, int flags);

    public static native int xa_end_N(Object xid, int rmid, int flags);

    public static native int xa_prepare_N(Object xid, int rmid, int flags);

    public static native int xa_commit_N(Object xid, int rmid, int flags);

    public static native int xa_rollback_N(Object xid, int rmid, int flags);

    public static native int xa_forget_N(Object xid, int rmid, int flags);

    /** Fills xids from index 0 and returns how many it set (or an XA error code). */
    public static native int xa_recover_N(Object[] xids, int rmid, int flags);
}
