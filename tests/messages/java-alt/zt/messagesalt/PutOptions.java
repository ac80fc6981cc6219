package zt.messagesalt;

import com.zel.zt.ZTMessageTracker;
import com.zel.zt.ZTResponseRecord;

/** Version-2 put options whose response records lack "reason". */
public class PutOptions {
    public int version = 2;
    public int options;
    public int contextReferenceHandle;
    public String resolvedQueueName;
    public String resolvedQueueManagerName;
    public int knownDestCount;
    public int unknownDestCount;
    public int invalidDestCount;
    public boolean noReadBack;
    public int putMsgRecordFields;
    public ZTMessageTracker[] putMessageRecords;
    public ZTResponseRecord[] responseRecords;

    public PutOptions(int records) {
        responseRecords = new ZTResponseRecord[records];
        for (int i = 0; i < records; i++) {
            responseRecords[i] = new ZTResponseRecord();
        }
    }

    public int getNumResponseRecords() {
        return responseRecords == null ? 0 : responseRecords.length;
    }
}
