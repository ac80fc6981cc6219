package zt.messages;

import java.util.GregorianCalendar;

/** A descriptor class that has every member but "correlationId". */
public class NoCorrelationIdDescriptor {
    public int report;
    public int messageType;
    public int expiry;
    public int feedback;
    public int encoding;
    public int characterSet;
    public String format;
    public int priority;
    public int persistence;
    public byte[] messageId;
    public int backoutCount;
    public String replyToQueueName;
    public String replyToQueueManagerName;
    public String userId;
    public byte[] accountingToken;
    public String applicationIdData;
    public int putApplicationType;
    public String putApplicationName;
    public String putDate;
    public String putTime;
    public String applicationOriginData;
    public GregorianCalendar putDateTime;
    public byte[] groupId;
    public int messageSequenceNumber;
    public int offset;
    public int messageFlags;
    public int originalLength;

    public int getVersion() {
        return 2;
    }

    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
    }
}
