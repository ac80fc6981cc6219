package objtest;

import com.zel.zt.ZTResponseRecord;

/** Declares completionCode and reason as longs: an int lookup finds the record's own. */
public class LongResponse extends ZTResponseRecord {
    public long completionCode;
    public long reason;

    public LongResponse(int value) {
        super.completionCode = value;
        super.reason = value;
        completionCode = value;
        reason = value;
    }

    @Override
    public String toString() {
        return "long " + completionCode + "/" + reason + " base " + super.completionCode + "/"
                + super.reason;
    }
}
