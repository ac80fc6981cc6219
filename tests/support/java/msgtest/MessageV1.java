package msgtest;

/**
 * A message class of descriptor version 1: no groupId, messageSequenceNumber
 * or originalLength.
 */
public class MessageV1 extends Version1Members {
    public void setMessageData(byte[] bytes) {
    }
}
