package objtest;

/** An object descriptor without the "DynamicQName" member; otherwise complete for version 1. */
public class NoDynamicQNameDescriptor {
    public int Version = 1;
    public int ObjectType = 1;
    public String ObjectName = "Q1";
    public String ObjectQMgrName = "";
    public String AlternateUserId = "";
}
