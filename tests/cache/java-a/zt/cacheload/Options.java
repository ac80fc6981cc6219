package zt.cacheload;

/** Put options under one class name in two jars of different layouts. */
public class Options {
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
