package zt.messages;

import com.zel.zt.ZTGetMessageOptions;

/** The host's get-message options whose getVersion throws. */
public class VersionlessGetOptions extends ZTGetMessageOptions {
    public VersionlessGetOptions() {
        super(2);
    }

    @Override
    public int getVersion() {
        throw new UnsupportedOperationException("no version");
    }
}
