package zt.cache;

import com.zel.zt.ZTPutMessageOptions;

/** The host's class under a class of its own, to be copied afresh. */
public class PutOptions extends ZTPutMessageOptions {
    public PutOptions() {
        super(1);
    }
}
