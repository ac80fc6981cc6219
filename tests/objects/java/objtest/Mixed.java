package objtest;

import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTObjectRecord;
import com.zel.zt.ZTResponseRecord;

/** Destination lists whose record arrays mix the record classes with subclasses. */
public class Mixed {
    /** Two destinations; `subclassFirst` puts the subclass elements at index 0. */
    public static ZTObjectDescriptor list(boolean subclassFirst, boolean longResponse) {
        ZTObjectDescriptor od = ZTObjectDescriptor.distributionList(new String[] {"Q.A", "Q.B"});
        ZTObjectRecord own = new HidingObjectRecord("OWN.Q", "BASE.Q");
        ZTObjectRecord plain = new ZTObjectRecord("PLAIN.Q", "PLAIN.QM");
        ZTResponseRecord ownResponse = longResponse ? new LongResponse(-1) : new HidingResponse(-1);
        ZTResponseRecord plainResponse = new ZTResponseRecord();
        plainResponse.completionCode = -1;
        plainResponse.reason = -1;
        int s = subclassFirst ? 0 : 1;
        od.objectRecords[s] = own;
        od.objectRecords[1 - s] = plain;
        od.responseRecords[s] = ownResponse;
        od.responseRecords[1 - s] = plainResponse;
        return od;
    }

    /** What each response record holds, subclass fields included. */
    public static String responses(ZTObjectDescriptor od) {
        StringBuilder b = new StringBuilder();
        for (ZTResponseRecord r : od.responseRecords) {
            b.append('[').append(r).append(']');
        }
        return b.toString();
    }
}
