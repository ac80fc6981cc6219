package zt.messages;

import com.zel.zt.ZTMessageDescriptor;

/** The host's descriptor whose setDateAndTime throws. */
public class ThrowingDescriptor extends ZTMessageDescriptor {
    public ThrowingDescriptor(int version) {
        super(version);
    }

    @Override
    public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        throw new IllegalStateException("no calendar");
    }
}
