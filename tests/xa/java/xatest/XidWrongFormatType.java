package xatest;

/** Its getFormatId returns a long, so "()I" is not found. */
public class XidWrongFormatType {
    public long getFormatId() {
        return 1L;
    }

    public byte[] getGlobalTransactionId() {
        return new byte[] {1};
    }

    public byte[] getBranchQualifier() {
        return new byte[] {2};
    }
}
