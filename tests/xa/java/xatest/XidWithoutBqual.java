package xatest;

/** An XID-like class that lacks getBranchQualifier. */
public class XidWithoutBqual {
    private final int formatId;
    private final byte[] gtrid;

    public XidWithoutBqual(int formatId, byte[] gtrid) {
        this.formatId = formatId;
        this.gtrid = gtrid;
    }

    public int getFormatId() {
        return formatId;
    }

    public byte[] getGlobalTransactionId() {
        return gtrid;
    }
}
