package zt.messages;

import com.zel.zt.ZTMessageDescriptor;

/** The host's descriptor whose getVersion throws. */
public class VersionlessDescriptor extends ZTMessageDescriptor {
    public VersionlessDescriptor() {
        super(2);
    }

    @Override
    public int getVersion() {
        throw new IllegalStateException("no version");
    }
}
