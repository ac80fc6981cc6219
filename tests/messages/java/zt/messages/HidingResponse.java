package zt.messages;

import com.zel.zt.ZTResponseRecord;

/** A response record whose class hides both fields and adds fields of its own. */
public class HidingResponse extends ZTResponseRecord {
    public long before;
    public int completionCode;
    public int reason;
    public long after;

    public HidingResponse() {
        completionCode = -5;
        reason = -5;
        super.completionCode = -5;
        super.reason = -5;
    }

    public int baseCompletionCode() {
        return super.completionCode;
    }
}
