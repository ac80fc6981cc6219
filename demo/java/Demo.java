import com.zel.zt.Pint;
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
        Trace.setOn(trace);
        Trace.setPrint(trace);
        Trace.setKeep(false);

        System.loadLibrary("sessbridge");
        ZTSESSION session = new ZTSESSION();
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
