package msgtest;

/**
 * The members every message class has, whatever its version: no groupId,
 * messageSequenceNumber or originalLength, but offset and messageFlags, and
 * no setMessageData (each subclass decides).
 */
public class Version1Members {
    public int version = 1;
    public int report;
    public int messageType;
    public int expiry;
    public int feedback;
    public int encoding;
    public int characterSet;
    public int priority;
    public int persistence;
    public int backoutCount;
    public int putApplicationType;
    public int offset;
    public int messageFlags;
    public int readCursor;

    public byte[] dateText;
    public byte[] timeText;
    public byte[] messageId;
    public byte[] correlationId;
    public byte[] accountingToken;
    public byte[] format;
    public byte[] replyToQueueName;
    public byte[] replyToQueueManagerName;
    public byte[] userId;
    public byte[] applicationIdData;
    public byte[] putApplicationName;
    public byte[] applicationOriginData;

    public boolean putTimeCached;
    public boolean formatCached;
    public boolean replyToQueueNameCached;
    public boolean replyToQueueManagerNameCached;
    public boolean userIdCached;
    public boolean applicationIdDataCached;
    public boolean putApplicationNameCached;
    public boolean applicationOriginDataCached;
    public boolean stringsNeedCcsidConversion;

    public byte[] getMessageData(boolean copy) {
        return new byte[0];
    }
}
