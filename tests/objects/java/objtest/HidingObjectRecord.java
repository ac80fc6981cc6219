package objtest;

import com.zel.zt.ZTObjectRecord;

/** An object record whose class hides both record fields and adds fields of its own. */
public class HidingObjectRecord extends ZTObjectRecord {
    public long before;
    public String objectName;
    public String objectQMgrName;
    public long after;

    public HidingObjectRecord(String own, String base) {
        super(base, base);
        objectName = own;
        objectQMgrName = own;
    }
}
