package objtest;

import com.zel.zt.ZTObjectDescriptor;

/** A descriptor whose record count is whatever the test says, whatever its arrays hold. */
public class CountedDescriptor extends ZTObjectDescriptor {
    public int count;

    @Override
    public int GetNumberofRecords() {
        return count;
    }
}
