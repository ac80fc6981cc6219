package com.zel.zt;

import java.util.GregorianCalendar;
import java.util.TimeZone;

/** The descriptor of one message: what travels with the data of a put or a get. */
public class ZTMessageDescriptor {
    public int version = 2;
    public int report;
    public int messageType = 8;
    public int expiry = -1;
    public int feedback;
    public int encoding = 546;
    public int characterSet = 1208;
    public String format = "";
    public int priority = -1;
    public int persistence = 2;
    public byte[] messageId = new byte[24];
    public byte[] correlationId = new byte[24];
    public int backoutCount;
    public String replyToQueueName = "";
    public String replyToQueueManagerName = "";
    public String userId = "";
    public byte[] accountingToken = new byte[32];
    public String applicationIdData = "";
    public int putApplicationType;
    public String putApplicationName = "";
    public String putDate = "";
    public String putTime = "";
    public String applicationOriginData = "";
    public GregorianCalendar putDateTime;
    public byte[] groupId = new byte[24];
    public int messageSequenceNumber = 1;
    public int offset;
    public int messageFlags;
    public int originalLength = -1;

    public ZTMessageDescriptor() {
    }

    public ZTMessageDescriptor(int version) {
        this.version = version;
    }

    public int getVersion() {
        return version;
    }

    /** The put date and time as the queue manager stamped them (UTC); month 1 is January. */
    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        GregorianCalendar calendar = new GregorianCalendar(TimeZone.getTimeZone("UTC"));
        calendar.clear();
        calendar.set(year, month - 1, day, hour, minute, second);
        calendar.set(GregorianCalendar.MILLISECOND, millis);
        putDateTime = calendar;
    }
}
