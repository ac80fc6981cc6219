import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessage;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTXid;
import com.zel.zt.server.ZTSESSION;
import com.zel.zt.server.ZTXAi;
import com.zel.ztservices.Trace;

import java.io.File;
import java.io.IOException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;

/**
 * Two builds of the bridge in one JVM, alternated batch by batch. Each
 * build's libraries are loaded by a class loader of its own over the host
 * classes (a library's natives are those of its own loader's classes); both
 * run over the one stand-in queue manager, answering at once. On a machine
 * whose speed drifts, separate runs of the same code differ by up to 2x; two
 * batches a few milliseconds apart see the same machine, so the ratio of each
 * round is steady where separate runs are not.
 *
 *   SideBySide <out folder> <this build's library folder> <base build's library folder> [rounds]
 *
 * Prints, per verb, the median ns per call of each side and the median of the
 * rounds' ratios (this / base) with the middle half of them, and writes them
 * to side_by_side.csv.
 */
public class SideBySide {
    static final String[] NAMES = {"_ZTCMIT", "_ZTOPEN+_ZTCLOSE", "_ZTPUT 1 KiB", "_ZTGET 1 KiB",
        "_ZTPUTMSG2 1 KiB", "_ZTGETMSG2 1 KiB", "xa_start_N+xa_end_N"};
    // Calls per batch: a few milliseconds each.
    static final int[] CALLS = {20_000, 4_000, 2_000, 2_000, 2_000, 2_000, 4_000};

    /** The verbs of one side; loaded afresh, host classes and all, by each side's loader. */
    public static final class Verbs {
        static final int HCONN = 1;
        static final int HOBJ = 1;
        static final ZTSESSION session = new ZTSESSION();
        static final Pint cc = new Pint();
        static final Pint rc = new Pint();
        static final Pint hobj = new Pint();
        static final Pint length = new Pint();
        static final byte[] kib = new byte[1024];
        static final ZTMessageDescriptor putMd = new ZTMessageDescriptor(2);
        static final ZTMessageDescriptor getMd = new ZTMessageDescriptor(2);
        static final ZTPutMessageOptions pmo = new ZTPutMessageOptions(1);
        static final ZTGetMessageOptions gmo = new ZTGetMessageOptions(2);
        static final ZTObjectDescriptor od = new ZTObjectDescriptor("BENCH.Q");
        static final ZTMessage putMsg = new ZTMessage();
        static final ZTMessage getMsg = new ZTMessage();
        static final ZTXid xid = new ZTXid(1, new byte[] {1, 2, 3, 4}, new byte[] {5});

        public static void load(String folder) {
            System.load(new File(folder, "libsessbridge.so").getAbsolutePath());
            System.load(new File(folder, "libxabridge.so").getAbsolutePath());
            Trace.setPrint(false);
            Trace.setKeep(false);
            Trace.setOn(false);
        }

        static final Runnable[] OPS = {
            () -> session._ZTCMIT(HCONN, cc, rc),
            () -> {
                session._ZTOPEN(HCONN, od, 0x10, hobj, cc, rc);
                session._ZTCLOSE(HCONN, hobj, 0, cc, rc);
            },
            () -> session._ZTPUT(HCONN, HOBJ, putMd, pmo, kib.length, kib, cc, rc),
            () -> session._ZTGET(HCONN, HOBJ, getMd, gmo, kib.length, kib, length, cc, rc),
            () -> session._ZTPUTMSG2(HCONN, HOBJ, putMsg, pmo, kib.length, kib, cc, rc),
            () -> session._ZTGETMSG2(HCONN, HOBJ, getMsg, gmo, kib.length, kib, length, cc, rc),
            () -> cc.x = ZTXAi.xa_start_N(xid, 1, 0) | ZTXAi.xa_end_N(xid, 1, 0x04000000),
        };

        /** Nanoseconds for `calls` calls of verb `verb`; stops on a completion code that is not 0. */
        public static long run(int verb, int calls) {
            Runnable op = OPS[verb];
            long start = System.nanoTime();
            for (int i = 0; i < calls; i++) {
                op.run();
            }
            long elapsed = System.nanoTime() - start;
            if (cc.x != 0) {
                throw new IllegalStateException(NAMES[verb] + " answered " + cc.x + "/" + rc.x);
            }
            return elapsed;
        }
    }

    /** One build's Verbs, reached through its own class loader. */
    static final class Side {
        final Method run;

        Side(URL[] classpath, String folder) throws Exception {
            // The platform loader as parent: the host classes and Verbs are
            // this loader's own, not the application's.
            URLClassLoader loader = new URLClassLoader(classpath, ClassLoader.getPlatformClassLoader());
            Class<?> verbs = Class.forName("SideBySide$Verbs", true, loader);
            verbs.getMethod("load", String.class).invoke(null, folder);
            run = verbs.getMethod("run", int.class, int.class);
        }

        double nsPerCall(int verb, int calls) throws Exception {
            return (long) run.invoke(null, verb, calls) / (double) calls;
        }
    }

    public static void main(String[] args) throws Exception {
        String out = args[0];
        int rounds = args.length > 3 ? Integer.parseInt(args[3]) : 101;
        List<URL> classpath = new ArrayList<>();
        for (String entry : System.getProperty("java.class.path").split(File.pathSeparator)) {
            classpath.add(new File(entry).toURI().toURL());
        }
        URL[] urls = classpath.toArray(new URL[0]);
        // The stand-in is one library, shared by both sides: its answers cost
        // both the same.
        System.loadLibrary("ztbench");
        Bench.setInstantMode(true);
        Side current = new Side(urls, args[1]);
        Side base = new Side(urls, args[2]);

        List<String[]> rows = new ArrayList<>();
        for (int verb = 0; verb < NAMES.length; verb++) {
            int calls = CALLS[verb];
            for (int i = 0; i < 25; i++) {
                current.nsPerCall(verb, calls);
                base.nsPerCall(verb, calls);
            }
            double[] now = new double[rounds];
            double[] then = new double[rounds];
            double[] ratio = new double[rounds];
            for (int r = 0; r < rounds; r++) {
                // Each side goes first in every other round.
                if (r % 2 == 0) {
                    now[r] = current.nsPerCall(verb, calls);
                    then[r] = base.nsPerCall(verb, calls);
                } else {
                    then[r] = base.nsPerCall(verb, calls);
                    now[r] = current.nsPerCall(verb, calls);
                }
                ratio[r] = now[r] / then[r];
            }
            Arrays.sort(now);
            Arrays.sort(then);
            Arrays.sort(ratio);
            rows.add(new String[] {NAMES[verb], Bench.fmt(then[rounds / 2]), Bench.fmt(now[rounds / 2]),
                Bench.fmt(then[0]), Bench.fmt(now[0]), String.format(Locale.ROOT, "%.3f", ratio[rounds / 2]),
                String.format(Locale.ROOT, "%.3f to %.3f", ratio[rounds / 4], ratio[rounds - 1 - rounds / 4])});
        }
        Bench.setInstantMode(false);
        Bench.table("This build against the base, one JVM, alternated batch by batch (" + rounds
                + " rounds; ns per call)",
                new String[] {"verb", "base ns, median", "this ns, median", "base ns, fastest", "this ns, fastest",
                    "this / base, median of rounds", "middle half of rounds"}, rows, out, "side_by_side.csv");
    }
}
