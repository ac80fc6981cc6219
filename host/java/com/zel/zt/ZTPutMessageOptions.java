package com.zel.zt;

/** How a put is made, and what it reports back; from version 2, a destination list's records. */
public class ZTPutMessageOptions {
    public int version = 1;
    public int options;
    public int contextReferenceHandle;
    public String resolvedQueueName;
    public String resolvedQueueManagerName;
    public int knownDestCount;
    public int unknownDestCount;
    public int invalidDestCount;
    public boolean noReadBack;
    public int putMsgRecordFields;
    public ZTMessageTracker[] putMessageRecords;
    public ZTResponseRecord[] responseRecords;

    public ZTPutMessageOptions() {
    }

    public ZTPutMessageOptions(int version) {
        this.version = version;
    }

    public int getNumResponseRecords() {
        return responseRecords == null ? 0 : responseRecords.length;
    }
}
