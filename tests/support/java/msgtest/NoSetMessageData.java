package msgtest;

/** Every member of a message class of version 2 but setMessageData. */
public class NoSetMessageData extends Version1Members {
    public int messageSequenceNumber;
    public int originalLength;
    public byte[] groupId;

    public NoSetMessageData() {
        version = 2;
    }
}
