package sweeptest;

/** An object record hiding its names behind fields of another type, plus one of its own. */
public class HidingRecord extends com.zel.zt.ZTObjectRecord {
    public int objectName = 3;
    public byte[] extra = new byte[] {1, 2};
}
