package com.zel.zt;

/**
 * Names the object to open (or, for put-one, to put to). From version 2 on it
 * can name a destination list: one object record per destination, and one
 * response record each for the outcome.
 */
public class ZTObjectDescriptor {
    public int Version = 1;
    public int ObjectType = 1;
    public String ObjectName = "";
    public String ObjectQMgrName = "";
    public String DynamicQName = "";
    public String AlternateUserId = "";
    public int KnownDestCount;
    public int UnknownDestCount;
    public int InvalidDestCount;
    public ZTObjectRecord[] objectRecords;
    public ZTResponseRecord[] responseRecords;

    public ZTObjectDescriptor() {
    }

    public ZTObjectDescriptor(String objectName) {
        this.ObjectName = objectName;
    }

    /** A destination list: version 2, one object and one response record per name. */
    public static ZTObjectDescriptor distributionList(String... queueNames) {
        ZTObjectDescriptor od = new ZTObjectDescriptor();
        od.Version = 2;
        od.ObjectName = "";
        od.objectRecords = new ZTObjectRecord[queueNames.length];
        od.responseRecords = new ZTResponseRecord[queueNames.length];
        for (int i = 0; i < queueNames.length; i++) {
            od.objectRecords[i] = new ZTObjectRecord(queueNames[i], "");
            od.responseRecords[i] = new ZTResponseRecord();
        }
        return od;
    }

    public int GetNumberofRecords() {
        return objectRecords == null ? 0 : objectRecords.length;
    }
}
