package com.zel.zt;

import java.util.Arrays;

import javax.transaction.xa.Xid;

/**
 * A transaction branch identifier: format identifier, global transaction
 * identifier and branch qualifier. The XA bridge builds these from the
 * queue manager's records and reads any object with the same three getters.
 */
public class ZTXid implements Xid {
    private final int formatId;
    private final byte[] gtrid;
    private final byte[] bqual;

    public ZTXid(int formatId, byte[] gtrid, byte[] bqual) {
        this.formatId = formatId;
        this.gtrid = gtrid == null ? new byte[0] : gtrid.clone();
        this.bqual = bqual == null ? new byte[0] : bqual.clone();
    }

    /** A copy of any other identifier. */
    public ZTXid(Xid other) {
        this(other.getFormatId(), other.getGlobalTransactionId(), other.getBranchQualifier());
    }

    @Override
    public int getFormatId() {
        return formatId;
    }

    @Override
    public byte[] getGlobalTransactionId() {
        return gtrid.clone();
    }

    @Override
    public byte[] getBranchQualifier() {
        return bqual.clone();
    }

    @Override
    public boolean equals(Object o) {
        if (this == o) {
            return true;
        }
        if (!(o instanceof Xid)) {
            return false;
        }
        Xid other = (Xid) o;
        return formatId == other.getFormatId()
                && Arrays.equals(gtrid, other.getGlobalTransactionId())
                && Arrays.equals(bqual, other.getBranchQualifier());
    }

    @Override
    public int hashCode() {
        return 31 * (31 * formatId + Arrays.hashCode(gtrid)) + Arrays.hashCode(bqual);
    }

    @Override
    public String toString() {
        return "ZTXid[formatId=" + formatId + ", gtrid=" + hex(gtrid) + ", bqual=" + hex(bqual) + "]";
    }

    private static String hex(byte[] bytes) {
        StringBuilder sb = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) {
            sb.append(Character.forDigit((b >> 4) & 0xf, 16)).append(Character.forDigit(b & 0xf, 16));
        }
        return sb.toString();
    }
}
