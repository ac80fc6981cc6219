package zt.cache;

import com.zel.zt.ZTXid;

/** The host's XID class under a class of its own, to be copied afresh. */
public class Xid extends ZTXid {
    public Xid() {
        super(7, new byte[] {1, 2, 3}, new byte[] {4, 5});
    }
}
