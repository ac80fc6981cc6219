package zt.messages;

import com.zel.zt.ZTObjectDescriptor;

/** A destination list whose GetNumberofRecords throws. */
public class CountlessObjectDescriptor extends ZTObjectDescriptor {
    public CountlessObjectDescriptor() {
        Version = 2;
        ObjectName = "Q.A";
    }

    @Override
    public int GetNumberofRecords() {
        throw new IllegalStateException("no count");
    }
}
