package zt.messages;

/** A version-2 descriptor class that has every member but "correlationId". */
public class NoCorrelationIdDescriptor extends ContextFields {
    public byte[] groupId;
    public int messageSequenceNumber;
    public int offset;
    public int messageFlags;
    public int originalLength;

    public int getVersion() {
        return 2;
    }
}
