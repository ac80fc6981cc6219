package com.zel.zt;

/** The outcome for one destination of a destination list. */
public class ZTResponseRecord {
    public int completionCode;
    public int reason;

    @Override
    public String toString() {
        return "completion code " + completionCode + ", reason " + reason;
    }
}
