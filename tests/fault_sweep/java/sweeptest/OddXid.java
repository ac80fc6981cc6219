package sweeptest;

import javax.transaction.xa.Xid;

/**
 * An Xid of another class, as a transaction manager may pass one: its parts
 * are public, so they may be null or longer than XA allows, and a getter may
 * throw. It throws explicitly and never dereferences null: the emulated
 * 32-bit JVM raises a NullPointerException through a signal, and qemu-user
 * may give the thread another thread's thread-local storage on return from it.
 */
public class OddXid implements Xid {
    public int formatId;
    public byte[] gtrid;
    public byte[] bqual;
    /** 1, 2, 3: getFormatId, getGlobalTransactionId, getBranchQualifier throws. */
    public int throwing;

    public OddXid(Xid from) {
        formatId = from.getFormatId();
        gtrid = from.getGlobalTransactionId();
        bqual = from.getBranchQualifier();
    }

    @Override
    public int getFormatId() {
        if (throwing == 1) throw new IllegalStateException("getFormatId");
        return formatId;
    }

    @Override
    public byte[] getGlobalTransactionId() {
        if (throwing == 2) throw new IllegalStateException("getGlobalTransactionId");
        return gtrid;
    }

    @Override
    public byte[] getBranchQualifier() {
        if (throwing == 3) throw new IllegalStateException("getBranchQualifier");
        return bqual;
    }
}
