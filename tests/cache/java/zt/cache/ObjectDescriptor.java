package zt.cache;

import com.zel.zt.ZTObjectDescriptor;

/** The host's class under a class of its own, to be copied afresh. */
public class ObjectDescriptor extends ZTObjectDescriptor {
    public ObjectDescriptor() {
        super("CACHE.Q");
    }
}
