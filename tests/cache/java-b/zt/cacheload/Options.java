package zt.cacheload;

/** Put options under one class name in two jars of different layouts. */
public class Options {
    public long padA = 0x5151515151515151L;
    public long padB = 0x5252525252525252L;
    public String padC = "PAD";
    public int version = 1;
    public int options;
    public int contextReferenceHandle;
    public String resolvedQueueName;
    public String resolvedQueueManagerName;
    public int knownDestCount;
    public int unknownDestCount;
    public int invalidDestCount;
    public boolean noReadBack;
}
