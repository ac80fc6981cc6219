package com.zel.zt;

import com.zel.zt.server.ZTXAi;

import java.util.ArrayList;
import java.util.List;

import javax.transaction.xa.XAException;
import javax.transaction.xa.XAResource;
import javax.transaction.xa.Xid;

/**
 * The queue manager as an XA resource for a Java transaction manager, over
 * the natives of {@link ZTXAi} (libxabridge, loaded by the caller).
 *
 * <p>XAResource has no open: the resource manager is opened with the given
 * open string and rmid on the first call that needs it, once, and stays open.
 * The open string is the queue manager's name, optionally followed by
 * ";state=&lt;directory&gt;" to keep prepared branches across processes.
 * The rmid names one instance of the resource manager: resources built with
 * the same rmid must have the same open string.
 *
 * <p>A branch belongs to the thread that called {@link #start}: the queue
 * work that thread does under syncpoint between start and end joins it, work
 * of other threads does not. The transaction manager must call start and end
 * on the application's thread. A thread may carry one branch of each rmid.
 */
public class ZTXAResource implements XAResource {
    private static final int RECOVER_BATCH = 16;

    private final String openString;
    private final String queueManagerName;
    private final int rmid;
    private boolean opened;

    public ZTXAResource(String openString, int rmid) {
        this.openString = openString;
        int options = openString.indexOf(';');
        this.queueManagerName = (options < 0 ? openString : openString.substring(0, options)).trim();
        this.rmid = rmid;
    }

    public String getQueueManagerName() {
        return queueManagerName;
    }

    public int getRmid() {
        return rmid;
    }

    @Override
    public void start(Xid xid, int flags) throws XAException {
        check("xa_start: failed to convert xid", ZTXAi.xa_start_N(xid, open(), flags));
    }

    @Override
    public void end(Xid xid, int flags) throws XAException {
        check("xa_end: failed to convert xid", ZTXAi.xa_end_N(xid, open(), flags));
    }

    @Override
    public int prepare(Xid xid) throws XAException {
        int rc = ZTXAi.xa_prepare_N(xid, open(), ZTXAi.TMNOFLAGS);
        if (rc == ZTXAi.XA_RDONLY) {
            return XA_RDONLY;
        }
        check("xa_prepare: failed to convert xid", rc);
        return XA_OK;
    }

    @Override
    public void commit(Xid xid, boolean onePhase) throws XAException {
        check("xa_commit: failed to convert xid", ZTXAi.xa_commit_N(xid, open(), onePhase ? ZTXAi.TMONEPHASE : ZTXAi.TMNOFLAGS));
    }

    @Override
    public void rollback(Xid xid) throws XAException {
        check("xa_rollback: failed to convert xid", ZTXAi.xa_rollback_N(xid, open(), ZTXAi.TMNOFLAGS));
    }

    @Override
    public void forget(Xid xid) throws XAException {
        check("xa_forget: failed to convert xid", ZTXAi.xa_forget_N(xid, open(), ZTXAi.TMNOFLAGS));
    }

    /** Every branch in doubt when flag has TMSTARTRSCAN (a whole scan, batch by batch); none otherwise. */
    @Override
    public Xid[] recover(int flag) throws XAException {
        if ((flag & TMSTARTRSCAN) == 0) {
            // The whole list went out with the start of the scan.
            return new Xid[0];
        }
        int id = open();
        List<Xid> found = new ArrayList<>();
        ZTXid[] batch = new ZTXid[RECOVER_BATCH];
        int flags = ZTXAi.TMSTARTRSCAN;
        int n;
        do {
            n = recoverBatch(batch, id, flags, found);
            flags = ZTXAi.TMNOFLAGS;
        } while (n == batch.length);
        recoverBatch(batch, id, ZTXAi.TMENDRSCAN, found);
        return found.toArray(new Xid[0]);
    }

    private static int recoverBatch(ZTXid[] batch, int id, int flags, List<Xid> found) throws XAException {
        int n = ZTXAi.xa_recover_N(batch, id, flags);
        check("xa_recover: no space for xid buffer, or failed to create java xid", Math.min(n, 0));
        for (int i = 0; i < n; i++) {
            found.add(batch[i]);
        }
        return n;
    }

    @Override
    public boolean isSameRM(XAResource other) {
        if (!(other instanceof ZTXAResource)) {
            return false;
        }
        // Exactly when the queue manager accepts a join: a branch is joined
        // through the instance (rmid) it was started on.
        ZTXAResource o = (ZTXAResource) other;
        return rmid == o.rmid && openString.equals(o.openString);
    }

    /** The queue manager takes no timeout from here. */
    @Override
    public boolean setTransactionTimeout(int seconds) {
        return false;
    }

    @Override
    public int getTransactionTimeout() {
        return 0;
    }

    @Override
    public String toString() {
        return "ZTXAResource[" + queueManagerName + ", rmid " + rmid + "]";
    }

    private synchronized int open() throws XAException {
        if (!opened) {
            check("xa_open(): failed to get string from qmgrName", ZTXAi.xa_open_N(openString, rmid, ZTXAi.TMNOFLAGS));
            opened = true;
        }
        return rmid;
    }

    /** bridgeMessage: what the bridge writes to standard error when it answers -1 there. */
    private static void check(String bridgeMessage, int rc) throws XAException {
        if (rc == ZTXAi.XA_OK) {
            return;
        }
        XAException e;
        if (rc == ZTXAi.BRIDGE_FAILURE) {
            e = new XAException("XA bridge failure: " + bridgeMessage);
            e.errorCode = XAException.XAER_RMERR;
        } else {
            // The queue manager's codes are the XA codes XAException carries.
            e = new XAException(rc);
        }
        throw e;
    }
}
