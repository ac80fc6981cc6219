package zt.messages;

import java.util.GregorianCalendar;

/**
 * The descriptor members every version has, but "correlationId"; the test
 * classes add what they need. setDateAndTime keeps its arguments.
 */
public class ContextFields {
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
    public int[] dateAndTime;

    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        dateAndTime = new int[] {year, month, day, hour, minute, second, millis};
    }
}
