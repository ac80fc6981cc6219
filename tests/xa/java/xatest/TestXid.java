package xatest;

/**
 * An XID of a class of its own, with the three getters the bridge looks up;
 * each getter can be made to throw, and the arrays may be null.
 */
public class TestXid {
    public int formatId;
    public byte[] gtrid;
    public byte[] bqual;
    public boolean throwInGetFormatId;
    public boolean throwInGetGtrid;
    public boolean throwInGetBqual;

    public TestXid(int formatId, byte[] gtrid, byte[] bqual) {
        this.formatId = formatId;
        this.gtrid = gtrid;
        this.bqual = bqual;
    }

    public int getFormatId() {
        if (throwInGetFormatId) {
            throw new IllegalStateException("getFormatId");
        }
        return formatId;
    }

    public byte[] getGlobalTransactionId() {
        if (throwInGetGtrid) {
            throw new IllegalStateException("getGlobalTransactionId");
        }
        return gtrid;
    }

    public byte[] getBranchQualifier() {
        if (throwInGetBqual) {
            throw new IllegalStateException("getBranchQualifier");
        }
        return bqual;
    }
}
