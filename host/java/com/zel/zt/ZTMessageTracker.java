package com.zel.zt;

/** The per-destination fields of a put to a destination list. */
public class ZTMessageTracker {
    public byte[] messageId;
    public byte[] correlationId;
    public byte[] groupId;
    public int feedback;
    public byte[] accountingToken;
}
