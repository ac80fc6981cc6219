import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTMessageTracker;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTResponseRecord;
import com.zel.zt.server.ZTSESSION;
import java.nio.charset.StandardCharsets;
import java.text.SimpleDateFormat;
import java.util.Arrays;
import java.util.GregorianCalendar;
import java.util.TimeZone;

/**
 * Put three messages and get them back in order; a get into a short buffer; a
 * put the bridge refuses (a length beyond its array); a unit of work backed
 * out and its message seen again; a put-one; a put to a destination list with
 * its response records.
 */
final class MessageDemo {
    // Options of the stand-in queue manager.
    static final int INPUT_SHARED = 0x2;
    static final int OUTPUT = 0x10;
    static final int SYNCPOINT = 0x2;
    static final int ACCEPT_TRUNCATED = 0x40;
    static final int RECORD_MESSAGE_ID = 0x1;

    private final ZTSESSION session;
    private final Pint cc = new Pint();
    private final Pint rc = new Pint();
    private final Pint hconn = new Pint(-99);

    private MessageDemo(ZTSESSION session) {
        this.session = session;
    }

    static void run(ZTSESSION session) {
        Demo.section("Messages: put, get, truncation, backout, put-one, destination lists");
        new MessageDemo(session).steps();
    }

    private void steps() {
        session._ZTCONN("QM1", hconn, cc, rc);
        Demo.outcome("_ZTCONN QM1", cc, rc, 0);
        int out = open("DEMO.MESSAGES", OUTPUT);
        int in = open("DEMO.MESSAGES", INPUT_SHARED);

        // Three messages, back in the order they were put.
        String[] texts = {"first", "second", "third"};
        byte[][] ids = new byte[texts.length][];
        for (int i = 0; i < texts.length; i++) {
            ZTMessageDescriptor md = put(out, texts[i], 0);
            ids[i] = md.messageId;
        }
        for (int i = 0; i < texts.length; i++) {
            ZTMessageDescriptor md = new ZTMessageDescriptor();
            String got = get(in, md, 0, 100, 0);
            Demo.check(got.equals(texts[i]), "message " + (i + 1) + " must be \"" + texts[i] + "\"");
            Demo.check(Arrays.equals(md.messageId, ids[i]), "message " + (i + 1) + " must keep its identifier");
        }

        // A get into a buffer shorter than the message.
        put(out, "a message of forty bytes, longer than 16", 0);
        get(in, new ZTMessageDescriptor(), 0, 16, 2);
        Demo.note("the message stays on the queue");
        String part = get(in, new ZTMessageDescriptor(), ACCEPT_TRUNCATED, 16, 1);
        Demo.check(part.equals("a message of for"), "the first 16 bytes must arrive");

        // A length beyond its array: the bridge refuses the put itself (a
        // bridge failure), and nothing reaches the queue.
        byte[] tiny = "tiny".getBytes(StandardCharsets.UTF_8);
        session._ZTPUT(hconn.x, out, new ZTMessageDescriptor(), new ZTPutMessageOptions(), 100, tiny, cc, rc);
        Demo.outcome("_ZTPUT length 100, array of 4", cc, rc, 2);
        Demo.check(rc.x == 2195, "a length beyond its array must end as a bridge failure (2195)");
        get(in, new ZTMessageDescriptor(), 0, 100, 2);
        Demo.note("nothing was put");

        // A get in a unit of work that is backed out: the message comes back.
        put(out, "kept through a backout", 0);
        get(in, new ZTMessageDescriptor(), SYNCPOINT, 100, 0);
        session._ZTBACK(hconn.x, cc, rc);
        Demo.outcome("_ZTBACK", cc, rc, 0);
        ZTMessageDescriptor again = new ZTMessageDescriptor();
        String seen = get(in, again, 0, 100, 0);
        Demo.note("backout count " + again.backoutCount);
        Demo.check(seen.equals("kept through a backout") && again.backoutCount == 1,
                "the backed-out message must be seen again, backout count 1");

        // Put-one: open, put and close in one call.
        ZTObjectDescriptor od = new ZTObjectDescriptor("DEMO.ONE");
        ZTPutMessageOptions pmo = new ZTPutMessageOptions();
        ZTMessageDescriptor md = new ZTMessageDescriptor();
        byte[] one = "put with one call".getBytes(StandardCharsets.UTF_8);
        session._ZTPUT1(hconn.x, od, md, pmo, one.length, one, cc, rc);
        Demo.outcome("_ZTPUT1 DEMO.ONE", cc, rc, 0);
        Demo.note("resolved to \"" + pmo.resolvedQueueName + "\" on \"" + pmo.resolvedQueueManagerName
                + "\", message id " + hex(md.messageId));
        int oneIn = open("DEMO.ONE", INPUT_SHARED);
        Demo.check(get(oneIn, new ZTMessageDescriptor(), 0, 100, 0).equals("put with one call"),
                "the put-one message must be on DEMO.ONE");

        // A destination list: two queues and one that does not exist.
        ZTObjectDescriptor list = ZTObjectDescriptor.distributionList("DEMO.LIST.A", "DEMO.LIST.B", "NOSUCH.C");
        Pint hlist = new Pint(-99);
        session._ZTOPEN(hconn.x, list, OUTPUT, hlist, cc, rc);
        Demo.outcome("_ZTOPEN list of 3 (1 unknown)", cc, rc, 1);
        ZTPutMessageOptions listOptions = new ZTPutMessageOptions(2);
        listOptions.putMsgRecordFields = RECORD_MESSAGE_ID;
        listOptions.putMessageRecords = new ZTMessageTracker[3];
        listOptions.responseRecords = new ZTResponseRecord[3];
        for (int i = 0; i < 3; i++) {
            listOptions.putMessageRecords[i] = new ZTMessageTracker();
            listOptions.responseRecords[i] = new ZTResponseRecord();
        }
        byte[] notice = "to every queue of the list".getBytes(StandardCharsets.UTF_8);
        session._ZTPUT(hconn.x, hlist.x, new ZTMessageDescriptor(), listOptions, notice.length, notice, cc, rc);
        Demo.outcome("_ZTPUT to the list", cc, rc, 1);
        for (int i = 0; i < 3; i++) {
            ZTResponseRecord r = listOptions.responseRecords[i];
            Demo.note(String.format("%-12s completion code %d (%s), reason %d (%s), message id %s",
                    list.objectRecords[i].objectName, r.completionCode, Words.compCode(r.completionCode), r.reason,
                    Words.reason(r.reason), hex(listOptions.putMessageRecords[i].messageId)));
        }
        Demo.note("known " + listOptions.knownDestCount + ", unknown " + listOptions.unknownDestCount
                + ", invalid " + listOptions.invalidDestCount);
        Demo.check(listOptions.responseRecords[0].completionCode == 0
                && listOptions.responseRecords[1].completionCode == 0
                && listOptions.responseRecords[2].completionCode == 2,
                "the two queues must take the message and the unknown one refuse it");
        int listIn = open("DEMO.LIST.B", INPUT_SHARED);
        ZTMessageDescriptor fromList = new ZTMessageDescriptor();
        Demo.check(get(listIn, fromList, 0, 100, 0).equals("to every queue of the list")
                && Arrays.equals(fromList.messageId, listOptions.putMessageRecords[1].messageId),
                "DEMO.LIST.B must hold the message under the identifier of its record");
        session._ZTCLOSE(hconn.x, hlist, 0, cc, rc);
        Demo.outcome("_ZTCLOSE list", cc, rc, 0);

        session._ZTDISC(hconn, cc, rc);
        Demo.outcome("_ZTDISC", cc, rc, 0);
    }

    private int open(String queue, int options) {
        Pint hobj = new Pint(-99);
        session._ZTOPEN(hconn.x, new ZTObjectDescriptor(queue), options, hobj, cc, rc);
        Demo.outcome("_ZTOPEN " + queue + (options == OUTPUT ? " (output)" : " (input)"), cc, rc, 0);
        return hobj.x;
    }

    private ZTMessageDescriptor put(int hobj, String text, int options) {
        ZTMessageDescriptor md = new ZTMessageDescriptor();
        ZTPutMessageOptions pmo = new ZTPutMessageOptions();
        pmo.options = options;
        byte[] data = text.getBytes(StandardCharsets.UTF_8);
        session._ZTPUT(hconn.x, hobj, md, pmo, data.length, data, cc, rc);
        Demo.outcome("_ZTPUT \"" + text + "\"", cc, rc, 0);
        Demo.note("message id " + hex(md.messageId) + ", put " + when(md.putDateTime));
        return md;
    }

    /** Gets into a buffer of the given length; returns the bytes that arrived as text. */
    private String get(int hobj, ZTMessageDescriptor md, int options, int bufferLength, int expectedCompCode) {
        ZTGetMessageOptions gmo = new ZTGetMessageOptions();
        gmo.options = options;
        byte[] buffer = new byte[bufferLength];
        Pint length = new Pint(-1);
        session._ZTGET(hconn.x, hobj, md, gmo, buffer.length, buffer, length, cc, rc);
        Demo.outcome("_ZTGET, buffer of " + bufferLength, cc, rc, expectedCompCode);
        if (cc.x == 2) {
            Demo.note("data length holder still " + length.x);
            return "";
        }
        String text = new String(buffer, 0, Math.min(length.x, bufferLength), StandardCharsets.UTF_8);
        Demo.note("\"" + text + "\" (" + length.x + " bytes), message id " + hex(md.messageId) + ", put "
                + when(md.putDateTime));
        return text;
    }

    private static String hex(byte[] bytes) {
        StringBuilder s = new StringBuilder();
        for (byte b : bytes) {
            s.append(String.format("%02x", b & 0xFF));
        }
        return s.toString();
    }

    private static String when(GregorianCalendar calendar) {
        SimpleDateFormat format = new SimpleDateFormat("yyyy-MM-dd HH:mm:ss.SSS 'UTC'");
        format.setTimeZone(TimeZone.getTimeZone("UTC"));
        return format.format(calendar.getTime());
    }
}
