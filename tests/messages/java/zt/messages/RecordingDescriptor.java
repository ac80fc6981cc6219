package zt.messages;

import com.zel.zt.ZTMessageDescriptor;

/** The host's descriptor, keeping the arguments of every setDateAndTime call. */
public class RecordingDescriptor extends ZTMessageDescriptor {
    public int[] dateAndTime;
    public int dateAndTimeCalls;

    public RecordingDescriptor(int version) {
        super(version);
    }

    @Override
    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        dateAndTime = new int[] {year, month, day, hour, minute, second, millis};
        dateAndTimeCalls++;
        super.setDateAndTime(year, month, day, hour, minute, second, millis);
    }
}
