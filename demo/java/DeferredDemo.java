import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessage;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.server.ZTSESSION;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.HexFormat;

/**
 * Put and get with message objects; a deferred put that no get sees until it
 * is activated, then got once; another deferred put cancelled and never seen.
 */
final class DeferredDemo {
    // Options of the stand-in queue manager.
    static final int INPUT_SHARED = 0x2;
    static final int OUTPUT = 0x10;
    static final int NO_MSG_AVAILABLE = 3016;
    static final int UNKNOWN_MESSAGE_KEY = 3025;

    private final ZTSESSION session;
    private final Pint cc = new Pint();
    private final Pint rc = new Pint();
    private final Pint hconn = new Pint(-99);

    private DeferredDemo(ZTSESSION session) {
        this.session = session;
    }

    static void run(ZTSESSION session) {
        Demo.section("Message objects and deferred messages");
        System.loadLibrary("deferbridge");
        new DeferredDemo(session).steps();
    }

    private void steps() {
        session._ZTCONN("QM1", hconn, cc, rc);
        Demo.outcome("_ZTCONN QM1", cc, rc, 0);
        Pint out = open("DEMO.DEFERRED", OUTPUT);
        Pint in = open("DEMO.DEFERRED", INPUT_SHARED);

        // A message object put and got back.
        ZTMessage sent = message("ZTSTR   ");
        byte[] data = bytes("carried by a message object");
        session._ZTPUTMSG2(hconn.x, out.x, sent, new ZTPutMessageOptions(), data.length, data, cc, rc);
        Demo.outcome("_ZTPUTMSG2", cc, rc, 0);
        Demo.note("message id " + hex(sent.messageId) + ", put " + ZTMessage.text(sent.dateText) + " "
                + ZTMessage.text(sent.timeText) + ", user \"" + ZTMessage.text(sent.userId).trim() + "\"");
        Demo.check(!sent.userIdCached && !sent.putTimeCached && sent.formatCached,
                "the put must clear the flags of the fields it replaced, and only those");
        ZTMessage got = new ZTMessage();
        got.readCursor = 5;
        String text = get(in, got, 0);
        Demo.note("format \"" + got.getFormat() + "\", read cursor " + got.readCursor);
        Demo.check(text.equals("carried by a message object") && Arrays.equals(got.messageId, sent.messageId)
                && got.getFormat().equals("ZTSTR   ") && got.readCursor == 0,
                "the message object must come back with its data, identifier and format, read cursor 0");

        // A deferred put: invisible until activated by its key, then got once.
        ZTMessage deferred = message("");
        byte[] later = bytes("deferred until activated");
        session._spiDefPut(hconn.x, out.x, deferred, new ZTPutMessageOptions(), later.length, later, cc, rc);
        Demo.outcome("_spiDefPut", cc, rc, 0);
        byte[] key = deferred.messageId;
        Demo.note("key (its message id) " + hex(key));
        get(in, new ZTMessage(), 2);
        Demo.check(rc.x == NO_MSG_AVAILABLE, "a get must not see the deferred message");
        session._spiDefActivate(hconn.x, key, cc, rc);
        Demo.outcome("_spiDefActivate", cc, rc, 0);
        ZTMessage activated = new ZTMessage();
        Demo.check(get(in, activated, 0).equals("deferred until activated")
                && Arrays.equals(activated.messageId, key), "the activated message must be got");
        get(in, new ZTMessage(), 2);
        Demo.check(rc.x == NO_MSG_AVAILABLE, "the activated message must be got once only");

        // Another deferred put, cancelled: never seen.
        ZTMessage dropped = message("");
        byte[] never = bytes("cancelled before anyone sees it");
        session._spiDefPut(hconn.x, out.x, dropped, new ZTPutMessageOptions(), never.length, never, cc, rc);
        Demo.outcome("_spiDefPut", cc, rc, 0);
        session._spiDefCancel(hconn.x, dropped.messageId, cc, rc);
        Demo.outcome("_spiDefCancel", cc, rc, 0);
        get(in, new ZTMessage(), 2);
        Demo.check(rc.x == NO_MSG_AVAILABLE, "a cancelled message must never be got");
        session._spiDefActivate(hconn.x, dropped.messageId, cc, rc);
        Demo.outcome("_spiDefActivate after the cancel", cc, rc, 2);
        Demo.check(rc.x == UNKNOWN_MESSAGE_KEY, "the cancelled key must name no message any more");

        session._ZTCLOSE(hconn.x, out, 0, cc, rc);
        Demo.outcome("_ZTCLOSE (output)", cc, rc, 0);
        session._ZTCLOSE(hconn.x, in, 0, cc, rc);
        Demo.outcome("_ZTCLOSE (input)", cc, rc, 0);
        session._ZTDISC(hconn, cc, rc);
        Demo.outcome("_ZTDISC", cc, rc, 0);
    }

    private Pint open(String queue, int options) {
        Pint hobj = new Pint(-99);
        session._ZTOPEN(hconn.x, new ZTObjectDescriptor(queue), options, hobj, cc, rc);
        Demo.outcome("_ZTOPEN " + queue + (options == OUTPUT ? " (output)" : " (input)"), cc, rc, 0);
        return hobj;
    }

    private static ZTMessage message(String format) {
        ZTMessage m = new ZTMessage();
        if (!format.isEmpty()) {
            m.setFormat(format);
        }
        return m;
    }

    /** Gets into a buffer of 100 bytes; returns the bytes that arrived as text. */
    private String get(Pint hobj, ZTMessage message, int expectedCompCode) {
        byte[] buffer = new byte[100];
        Pint length = new Pint(-1);
        session._ZTGETMSG2(hconn.x, hobj.x, message, new ZTGetMessageOptions(), buffer.length, buffer, length, cc,
                rc);
        Demo.outcome("_ZTGETMSG2", cc, rc, expectedCompCode);
        if (cc.x == 2) {
            return "";
        }
        String text = new String(buffer, 0, Math.min(length.x, buffer.length), StandardCharsets.UTF_8);
        Demo.note("\"" + text + "\" (" + length.x + " bytes), message id " + hex(message.messageId));
        return text;
    }

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.UTF_8);
    }

    private static String hex(byte[] bytes) {
        return HexFormat.of().formatHex(bytes);
    }
}
