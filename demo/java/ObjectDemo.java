import com.zel.zt.Pint;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTResponseRecord;
import com.zel.zt.server.ZTSESSION;

/**
 * Open a queue, inquire its depth and attributes, an inquire the bridge
 * refuses, inhibit puts, inquire again, close; then open a destination list
 * of three queues, one of them invalid.
 */
final class ObjectDemo {
    // Open options and attribute selectors of the stand-in queue manager.
    static final int OUTPUT = 0x10;
    static final int INQUIRE = 0x20;
    static final int SET = 0x40;
    static final int CURRENT_DEPTH = 3;
    static final int MAX_DEPTH = 15;
    static final int INHIBIT_GET = 9;
    static final int INHIBIT_PUT = 10;
    static final int QUEUE_NAME = 2016;

    private ObjectDemo() {
    }

    static void run(ZTSESSION session) {
        Demo.section("Objects: open, inquire, set, close, destination lists");
        Pint cc = new Pint();
        Pint rc = new Pint();
        Pint hconn = new Pint(-99);
        session._ZTCONN("QM1", hconn, cc, rc);
        Demo.outcome("_ZTCONN QM1", cc, rc, 0);

        ZTObjectDescriptor od = new ZTObjectDescriptor("DEMO.ORDERS");
        Pint hobj = new Pint(-99);
        session._ZTOPEN(hconn.x, od, OUTPUT | INQUIRE | SET, hobj, cc, rc);
        Demo.outcome("_ZTOPEN DEMO.ORDERS", cc, rc, 0);
        Demo.note("object handle " + hobj.x + ", queue manager \"" + od.ObjectQMgrName + "\"");

        byte[] text = "first order".getBytes();
        session._ZTPUT(hconn.x, hobj.x, new ZTMessageDescriptor(), new ZTPutMessageOptions(), text.length, text,
                cc, rc);
        Demo.outcome("_ZTPUT one message", cc, rc, 0);

        int[] attrs = inquire(session, hconn.x, hobj.x, cc, rc);
        Demo.check(attrs[0] == 1, "the depth must be 1 after one put");
        Demo.check(attrs[3] == 0, "puts must not be inhibited yet");

        // A caller's mistake the bridge refuses itself: a count beyond its
        // array. The verb ends as a bridge failure without reaching the queue
        // manager, and the handles stay usable.
        session._ZTINQ(hconn.x, hobj.x, 3, new int[] {CURRENT_DEPTH, MAX_DEPTH}, 2, new int[2], 0, null, cc, rc);
        Demo.outcome("_ZTINQ 3 selectors, array of 2", cc, rc, 2);
        Demo.check(rc.x == 2195, "a count beyond its array must end as a bridge failure (2195)");

        session._ZTSET(hconn.x, hobj.x, 1, new int[] {INHIBIT_PUT}, 1, new int[] {1}, 0, null, cc, rc);
        Demo.outcome("_ZTSET put-inhibited = 1", cc, rc, 0);
        attrs = inquire(session, hconn.x, hobj.x, cc, rc);
        Demo.check(attrs[3] == 1, "puts must be inhibited after the set");
        session._ZTPUT(hconn.x, hobj.x, new ZTMessageDescriptor(), new ZTPutMessageOptions(), text.length, text,
                cc, rc);
        Demo.outcome("_ZTPUT while inhibited", cc, rc, 2);

        session._ZTCLOSE(hconn.x, hobj, 0, cc, rc);
        Demo.outcome("_ZTCLOSE", cc, rc, 0);
        Demo.note("object handle is now " + hobj.x);

        ZTObjectDescriptor list = ZTObjectDescriptor.distributionList("DEMO.A", "DEMO.B", "BAD NAME");
        Pint hlist = new Pint(-99);
        session._ZTOPEN(hconn.x, list, OUTPUT, hlist, cc, rc);
        Demo.outcome("_ZTOPEN list of 3 (1 invalid)", cc, rc, 1);
        for (int i = 0; i < list.responseRecords.length; i++) {
            ZTResponseRecord r = list.responseRecords[i];
            Demo.note(String.format("%-10s completion code %d (%s), reason %d (%s)",
                    list.objectRecords[i].objectName, r.completionCode, Words.compCode(r.completionCode), r.reason,
                    Words.reason(r.reason)));
        }
        Demo.note("invalid " + list.InvalidDestCount + ", unknown " + list.UnknownDestCount + ", known "
                + list.KnownDestCount);
        Demo.check(list.InvalidDestCount == 1 && list.UnknownDestCount == 0 && list.KnownDestCount == 2,
                "the counts must be invalid 1, unknown 0, known 2");
        session._ZTCLOSE(hconn.x, hlist, 0, cc, rc);
        Demo.outcome("_ZTCLOSE list", cc, rc, 0);

        session._ZTDISC(hconn, cc, rc);
        Demo.outcome("_ZTDISC", cc, rc, 0);
    }

    /** Depth, maximum depth, get- and put-inhibited, and the queue name, printed; the four integers. */
    private static int[] inquire(ZTSESSION session, int hconn, int hobj, Pint cc, Pint rc) {
        int[] selectors = {CURRENT_DEPTH, MAX_DEPTH, INHIBIT_GET, INHIBIT_PUT, QUEUE_NAME};
        int[] ints = new int[4];
        byte[] name = new byte[48];
        session._ZTINQ(hconn, hobj, selectors.length, selectors, ints.length, ints, name.length, name, cc, rc);
        Demo.outcome("_ZTINQ", cc, rc, 0);
        Demo.note("depth " + ints[0] + ", maximum depth " + ints[1] + ", get-inhibited " + ints[2]
                + ", put-inhibited " + ints[3] + ", name \"" + new String(name).trim() + "\"");
        return ints;
    }
}
