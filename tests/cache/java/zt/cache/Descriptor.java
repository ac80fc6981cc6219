package zt.cache;

import com.zel.zt.ZTMessageDescriptor;

/** The host's class under a class of its own, to be copied afresh. */
public class Descriptor extends ZTMessageDescriptor {
    public Descriptor() {
        super(2);
    }
}
