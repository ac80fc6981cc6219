package zt.messages;

import com.zel.zt.ZTPutMessageOptions;

/** Put options whose record count is set by the test, whatever the arrays hold. */
public class CountedPutOptions extends ZTPutMessageOptions {
    public int numResponseRecords;

    public CountedPutOptions(int version) {
        super(version);
    }

    @Override
    public int getNumResponseRecords() {
        return numResponseRecords;
    }
}
