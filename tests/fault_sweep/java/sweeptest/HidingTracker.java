package sweeptest;

/** A tracker whose message id is a string here. */
public class HidingTracker extends com.zel.zt.ZTMessageTracker {
    public String messageId = "not bytes";
    public int own;
}
