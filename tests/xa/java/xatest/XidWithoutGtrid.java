package xatest;

/** An XID-like class that lacks getGlobalTransactionId. */
public class XidWithoutGtrid {
    public int getFormatId() {
        return 1;
    }

    public byte[] getBranchQualifier() {
        return new byte[] {1};
    }
}
