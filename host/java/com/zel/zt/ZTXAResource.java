package com.zel.zt;

import com.zel.zt.server.ZTXAi;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

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
 *
 * <p>Resources built alike (the same rmid and open string, as when one is
 * built per session from one configuration) are one instance: {@link
 * #isSameRM} is true and each joins the others' branches. A transaction
 * manager may also enlist them side by side on one thread with a branch
 * each, which the queue manager, keeping the XA rule of one branch per
 * thread and instance, refuses: then the later resource joins the branch
 * the thread already carries for the same global transaction, and its own
 * branch is only a name for it, read-only at prepare (its work commits or
 * rolls back with that branch).
 */
public class ZTXAResource implements XAResource {
    private static final int RECOVER_BATCH = 16;

    /** One instance's state in this JVM, shared by the resources built alike. */
    private static final class Instance {
        /** Per thread: the branches it is associated with, by how many associations. */
        final ThreadLocal<Map<Branch, Integer>> associated = ThreadLocal.withInitial(HashMap::new);
        /** A branch that is a name for another one (see the class comment) -> that one. */
        final Map<Branch, Xid> aliases = new ConcurrentHashMap<>();

        /** The branch xid stands for. */
        Xid target(Xid xid) {
            if (aliases.isEmpty()) {
                return xid;
            }
            Branch b = Branch.of(xid);
            Xid t = b == null ? null : aliases.get(b);
            return t == null ? xid : t;
        }

        /** Forgets xid when it is a name for another branch; true then. */
        boolean dropAlias(Xid xid) {
            if (aliases.isEmpty()) {
                return false;
            }
            Branch b = Branch.of(xid);
            return b != null && aliases.remove(b) != null;
        }

        void associations(Xid xid, int change) {
            Branch b = Branch.of(xid);
            if (b == null) {
                return;
            }
            Map<Branch, Integer> mine = associated.get();
            mine.compute(b, (k, n) -> {
                int now = (n == null ? 0 : n) + change;
                return now > 0 ? now : null;
            });
            if (mine.isEmpty()) {
                associated.remove();
            }
        }

        /** Another branch of b's global transaction this thread is associated with, or null. */
        Xid carried(Branch b) {
            for (Branch c : associated.get().keySet()) {
                if (c.format == b.format && Arrays.equals(c.gtrid, b.gtrid) && !c.equals(b)) {
                    return c.xid;
                }
            }
            return null;
        }
    }

    /** An XID by value. */
    private static final class Branch {
        final Xid xid;
        final int format;
        final byte[] gtrid;
        final byte[] bqual;

        private Branch(Xid xid, int format, byte[] gtrid, byte[] bqual) {
            this.xid = xid;
            this.format = format;
            this.gtrid = gtrid;
            this.bqual = bqual;
        }

        /** Null for an XID the bridge would not take (it answers for those itself). */
        static Branch of(Xid xid) {
            if (xid == null) {
                return null;
            }
            try {
                byte[] g = xid.getGlobalTransactionId();
                byte[] b = xid.getBranchQualifier();
                return g == null || b == null
                    ? null
                    : new Branch(xid, xid.getFormatId(), g.clone(), b.clone());
            } catch (RuntimeException e) {
                return null;
            }
        }

        @Override
        public boolean equals(Object o) {
            if (!(o instanceof Branch)) {
                return false;
            }
            Branch b = (Branch) o;
            return format == b.format && Arrays.equals(gtrid, b.gtrid)
                && Arrays.equals(bqual, b.bqual);
        }

        @Override
        public int hashCode() {
            return 31 * (31 * format + Arrays.hashCode(gtrid)) + Arrays.hashCode(bqual);
        }
    }

    private static final Map<Integer, Instance> INSTANCES = new ConcurrentHashMap<>();

    private final String openString;
    private final String queueManagerName;
    private final int rmid;
    private final Instance instance;
    private boolean opened;

    public ZTXAResource(String openString, int rmid) {
        this.openString = openString;
        int options = openString.indexOf(';');
        this.queueManagerName = (options < 0 ? openString : openString.substring(0, options)).trim();
        this.rmid = rmid;
        this.instance = INSTANCES.computeIfAbsent(rmid, r -> new Instance());
    }

    public String getQueueManagerName() {
        return queueManagerName;
    }

    public int getRmid() {
        return rmid;
    }

    @Override
    public void start(Xid xid, int flags) throws XAException {
        int id = open();
        Xid target = instance.target(xid);
        int rc = ZTXAi.xa_start_N(target, id, flags);
        if (rc == ZTXAi.XAER_PROTO && flags == ZTXAi.TMNOFLAGS && target == xid) {
            // Another resource of this instance carries the transaction here.
            Branch own = Branch.of(xid);
            Xid carried = own == null ? null : instance.carried(own);
            if (carried != null) {
                rc = ZTXAi.xa_start_N(carried, id, ZTXAi.TMJOIN);
                if (rc == ZTXAi.XA_OK) {
                    instance.aliases.put(own, carried);
                    target = carried;
                }
            }
        }
        check("xa_start: failed to convert xid", rc);
        instance.associations(target, 1);
    }

    @Override
    public void end(Xid xid, int flags) throws XAException {
        Xid target = instance.target(xid);
        int rc = ZTXAi.xa_end_N(target, open(), flags);
        // A rollback-only answer ends the association too.
        if (rc == ZTXAi.XA_OK || (rc >= ZTXAi.XA_RBBASE && rc <= ZTXAi.XA_RBEND)) {
            instance.associations(target, -1);
        }
        check("xa_end: failed to convert xid", rc);
    }

    @Override
    public int prepare(Xid xid) throws XAException {
        if (instance.dropAlias(xid)) {
            return XA_RDONLY;
        }
        int rc = ZTXAi.xa_prepare_N(xid, open(), ZTXAi.TMNOFLAGS);
        if (rc == ZTXAi.XA_RDONLY) {
            return XA_RDONLY;
        }
        check("xa_prepare: failed to convert xid", rc);
        return XA_OK;
    }

    // A branch that is only a name for another has nothing of its own to
    // commit, roll back or forget: that one's outcome is its outcome.
    @Override
    public void commit(Xid xid, boolean onePhase) throws XAException {
        if (instance.dropAlias(xid)) {
            return;
        }
        check("xa_commit: failed to convert xid", ZTXAi.xa_commit_N(xid, open(), onePhase ? ZTXAi.TMONEPHASE : ZTXAi.TMNOFLAGS));
    }

    @Override
    public void rollback(Xid xid) throws XAException {
        if (instance.dropAlias(xid)) {
            return;
        }
        check("xa_rollback: failed to convert xid", ZTXAi.xa_rollback_N(xid, open(), ZTXAi.TMNOFLAGS));
    }

    @Override
    public void forget(Xid xid) throws XAException {
        if (instance.dropAlias(xid)) {
            return;
        }
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
        // through the instance (rmid) it was started on. Such resources may
        // also be enlisted side by side (see the class comment).
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
