package objtest;

import com.zel.zt.ZTResponseRecord;

/** A response record of a class of its own, copied afresh by Fresh. */
public class OwnResponse extends ZTResponseRecord {
    public OwnResponse() {
    }
}
