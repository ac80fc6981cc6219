import com.zel.zt.Pint;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.server.ZTSESSION;
import com.zel.ztservices.Trace;

/**
 * Drives the bridge libraries over the stand-in queue manager and prints what
 * happens. "--trace" switches the host trace on and prints its lines.
 * Exits with 1 when a step does not end as expected.
 */
public class Demo {
    static int unexpected;

    public static void main(String[] args) {
        boolean trace = args.length > 0 && args[0].equals("--trace");
        Trace.setOn(false);
        Trace.setKeep(false);

        System.loadLibrary("sessbridge");
        ZTSESSION session = new ZTSESSION();
        // Say first whom the libraries talk to: the stand-in's name says it is one.
        System.out.println("Queue manager: " + defaultQueueManager(session));
        Trace.setOn(trace);
        Trace.setPrint(trace);
        ConnectionDemo.run(session);
        ObjectDemo.run(session);
        MessageDemo.run(session);
        DeferredDemo.run(session);
        // XA: a Java transaction manager through libxabridge.
        section("XA transactions");
        XaDemo.main(new String[0]);

        if (unexpected > 0) {
            System.out.println(unexpected + " step(s) did not end as expected");
            System.exit(1);
        }
        System.out.println("demo complete");
    }

    /**
     * The name of the queue manager that a blank name connects to, as the
     * queue manager resolves it on an open.
     */
    static String defaultQueueManager(ZTSESSION session) {
        Pint cc = new Pint();
        Pint rc = new Pint();
        Pint hconn = new Pint(-1);
        session._ZTCONN("", hconn, cc, rc);
        if (cc.x != 0) {
            return "none (connect: completion code " + cc.x + ", reason " + rc.x + ")";
        }
        ZTObjectDescriptor od = new ZTObjectDescriptor("DEMO.ORDERS");
        Pint hobj = new Pint(-1);
        session._ZTOPEN(hconn.x, od, ObjectDemo.INQUIRE, hobj, cc, rc);
        String name = cc.x == 0 ? od.ObjectQMgrName.trim() : "unknown (open: reason " + rc.x + ")";
        if (cc.x == 0) {
            session._ZTCLOSE(hconn.x, hobj, 0, cc, rc);
        }
        session._ZTDISC(hconn, cc, rc);
        return name;
    }

    static void section(String title) {
        System.out.println();
        System.out.println("== " + title);
    }

    /** Prints a verb's outcome in words and checks it against what was expected. */
    static void outcome(String verb, Pint compCode, Pint reason, int expectedCompCode) {
        String line = String.format("  %-28s completion code %d (%s), reason %d (%s)", verb, compCode.x,
                Words.compCode(compCode.x), reason.x, Words.reason(reason.x));
        System.out.println(line);
        if (compCode.x != expectedCompCode) {
            System.out.println("  ^ unexpected: completion code " + expectedCompCode + " was expected");
            unexpected++;
        }
    }

    static void note(String text) {
        System.out.println("    " + text);
    }

    static void check(boolean ok, String what) {
        if (!ok) {
            System.out.println("  ^ unexpected: " + what);
            unexpected++;
        }
    }
}
