package objtest;

import com.zel.zt.ZTResponseRecord;

/** A response record whose class hides both record fields and adds fields of its own. */
public class HidingResponse extends ZTResponseRecord {
    public long before;
    public int completionCode;
    public int reason;
    public long after;

    public HidingResponse(int value) {
        super.completionCode = value;
        super.reason = value;
        completionCode = value;
        reason = value;
    }

    @Override
    public String toString() {
        return "own " + completionCode + "/" + reason + " base " + super.completionCode + "/"
                + super.reason + " extra " + before + "/" + after;
    }
}
