package sweeptest;

/** Copied as a hidden class for every cold call: a class the bridge has not seen. */
public class ColdTracker extends com.zel.zt.ZTMessageTracker {
}
