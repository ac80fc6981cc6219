package sweeptest;

/** Copied as a hidden class for every cold call: a class the bridge has not seen. */
public class ColdResponse extends com.zel.zt.ZTResponseRecord {
}
