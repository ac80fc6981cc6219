package zt.cache;

import com.zel.zt.ZTGetMessageOptions;

/** The host's class under a class of its own, to be copied afresh. */
public class GetOptions extends ZTGetMessageOptions {
    public GetOptions() {
        super(2);
    }
}
