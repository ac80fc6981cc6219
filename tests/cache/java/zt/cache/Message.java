package zt.cache;

import com.zel.zt.ZTMessage;

/** The host's class under a class of its own, to be copied afresh. */
public class Message extends ZTMessage {
    public Message() {
    }
}
