package com.zel.zt;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * A message whose descriptor fields are kept as the raw bytes the queue manager
 * uses, each character field beside a cached flag that says whether the string
 * derived from those bytes is still current.
 */
public class ZTMessage {
    public int version = 2;
    public int report;
    public int messageType = 8;
    public int expiry = -1;
    public int feedback;
    public int encoding = 546;
    public int characterSet = 1208;
    public int priority = -1;
    public int persistence = 2;
    public int backoutCount;
    public int putApplicationType;
    public int messageSequenceNumber = 1;
    public int offset;
    public int messageFlags;
    public int originalLength = -1;
    public int readCursor;

    public byte[] dateText;
    public byte[] timeText;
    public byte[] messageId = new byte[24];
    public byte[] correlationId = new byte[24];
    public byte[] groupId = new byte[24];
    public byte[] accountingToken = new byte[32];
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

    private byte[] data = new byte[0];
    private String formatString;

    /** The message body; with copy true, a copy the caller may change. */
    public byte[] getMessageData(boolean copy) {
        return copy ? Arrays.copyOf(data, data.length) : data;
    }

    public void setMessageData(byte[] bytes) {
        data = bytes == null ? new byte[0] : bytes;
        readCursor = 0;
    }

    /** The format as a string, derived from its bytes once until they are replaced. */
    public String getFormat() {
        if (!formatCached) {
            formatString = format == null ? "" : text(format);
            formatCached = true;
        }
        return formatString;
    }

    public void setFormat(String value) {
        format = value.getBytes(StandardCharsets.UTF_8);
        formatString = value;
        formatCached = true;
    }

    /** Bytes of a character field up to the first NUL. */
    public static String text(byte[] bytes) {
        if (bytes == null) {
            return null;
        }
        int end = 0;
        while (end < bytes.length && bytes[end] != 0) {
            end++;
        }
        return new String(bytes, 0, end, StandardCharsets.UTF_8);
    }
}
