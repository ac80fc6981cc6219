package zt.messages;

import java.util.GregorianCalendar;

/**
 * A descriptor class of the first version: none of the version-2 fields, and a
 * getVersion that answers whatever the test sets (1, 0, -1 ...).
 */
public class OldDescriptor {
    public int reportedVersion = 1;
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
    public byte[] correlationId;
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
    public int[] dateAndTime;

    public int getVersion() {
        return reportedVersion;
    }

    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        dateAndTime = new int[] {year, month, day, hour, minute, second, millis};
    }
}
