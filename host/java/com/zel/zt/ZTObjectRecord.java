package com.zel.zt;

/** One destination of a destination list. */
public class ZTObjectRecord {
    public String objectName;
    public String objectQMgrName;

    public ZTObjectRecord() {
    }

    public ZTObjectRecord(String objectName, String objectQMgrName) {
        this.objectName = objectName;
        this.objectQMgrName = objectQMgrName;
    }
}
