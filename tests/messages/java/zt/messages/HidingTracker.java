package zt.messages;

import com.zel.zt.ZTMessageTracker;

/** A put-message record whose class hides the identifier and feedback and adds fields of its own. */
public class HidingTracker extends ZTMessageTracker {
    public long before;
    public byte[] messageId;
    public int feedback;
    public long after;

    public HidingTracker(byte[] own, byte[] base) {
        messageId = own;
        feedback = 555;
        super.messageId = base;
        super.feedback = 444;
    }

    /** The record class's fields underneath the hiding ones. */
    public byte[] baseMessageId() {
        return super.messageId;
    }

    public int baseFeedback() {
        return super.feedback;
    }
}
