package sweeptest;

/** A response record whose own fields hide the declared ones, with other types. */
public class HidingResponse extends com.zel.zt.ZTResponseRecord {
    public long completionCode = 7;
    public String reason = "hidden";
}
