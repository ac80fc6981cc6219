package com.zel.zt;

/** The put-message record, as the host has it, for the loader of this jar. */
public class ZTMessageTracker {
    public byte[] messageId;
    public byte[] correlationId;
    public byte[] groupId;
    public int feedback;
    public byte[] accountingToken;
}
