package com.zel.zt;

/** How a get looks for its message, and what it reports back. */
public class ZTGetMessageOptions {
    public int version = 2;
    public int options;
    public int waitInterval;
    public String resolvedQueueName;
    public boolean noReadBack;
    public int matchOptions;
    public char groupStatus = ' ';
    public char segmentStatus = ' ';
    public char segmentation = ' ';

    public ZTGetMessageOptions() {
    }

    public ZTGetMessageOptions(int version) {
        this.version = version;
    }

    public int getVersion() {
        return version;
    }
}
