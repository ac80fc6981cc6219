package zt.messages;

/**
 * A descriptor class of the first version: none of the version-2 fields, and a
 * getVersion that answers whatever the test sets (1, 0, -1 ...).
 */
public class OldDescriptor extends ContextFields {
    public int reportedVersion = 1;
    public byte[] correlationId;

    public int getVersion() {
        return reportedVersion;
    }
}
