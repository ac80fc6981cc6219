import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.server.ZTSESSION;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import javax.management.ObjectName;

/**
 * Put/get pairs through the bridge for as long as asked, with fresh descriptor
 * objects each time as a client makes them, printing the process's resident
 * size and the JVM's JNI global and weak reference counts at intervals.
 *
 *   Soak pairs [--every n] [--warmup n] [--size bytes]
 *        [--max-rss-growth-kib k] [--max-globalref-growth g]
 *
 * Growth is measured from the end of the warm-up (JIT, heap and the first
 * thread dump settle by then) to the largest later sample. With a bound given,
 * exits 1 when growth exceeds it, or at once when a verb does not end as
 * expected.
 */
public class Soak {
    private static final int INPUT_SHARED = 0x2;
    private static final int OUTPUT = 0x10;
    private static final Pattern REFS = Pattern.compile("JNI global refs: (\\d+), weak refs: (\\d+)");

    public static void main(String[] args) throws Exception {
        long pairs = Long.parseLong(args[0]);
        long every = Math.max(1, pairs / 10);
        long warmup = -1;
        int size = 1024;
        long maxRssGrowthKib = -1;
        long maxGlobalGrowth = -1;
        for (int i = 1; i + 1 < args.length; i += 2) {
            long v = Long.parseLong(args[i + 1]);
            switch (args[i]) {
                case "--every": every = v; break;
                case "--warmup": warmup = v; break;
                case "--size": size = (int) v; break;
                case "--max-rss-growth-kib": maxRssGrowthKib = v; break;
                case "--max-globalref-growth": maxGlobalGrowth = v; break;
                default: throw new IllegalArgumentException("unknown option " + args[i]);
            }
        }
        if (warmup < 0) {
            warmup = every;
        }

        System.loadLibrary("sessbridge");
        ZTSESSION session = new ZTSESSION();
        Pint cc = new Pint();
        Pint rc = new Pint();
        Pint hconn = new Pint(-1);
        session._ZTCONN("QM1", hconn, cc, rc);
        expect("_ZTCONN", cc, rc);
        int out = open(session, hconn.x, OUTPUT);
        int in = open(session, hconn.x, INPUT_SHARED);

        byte[] data = new byte[size];
        for (int i = 0; i < size; i++) {
            data[i] = (byte) ('a' + i % 26);
        }
        byte[] buffer = new byte[size];
        Pint length = new Pint();

        System.out.printf("soak: %d put/get pairs of %d bytes, a sample every %d, warm-up %d%n", pairs, size,
                every, warmup);
        System.out.printf("%12s %12s %16s %10s %9s%n", "pairs", "VmRSS KiB", "JNI global refs", "weak refs",
                "seconds");
        long start = System.nanoTime();
        long[] base = null;
        long maxRss = 0;
        long maxGlobal = 0;
        long[] last = sample(0, start);
        if (warmup == 0) {
            base = last;
        }
        for (long n = 1; n <= pairs; n++) {
            ZTMessageDescriptor pmd = new ZTMessageDescriptor();
            session._ZTPUT(hconn.x, out, pmd, new ZTPutMessageOptions(), data.length, data, cc, rc);
            expect("_ZTPUT", cc, rc);
            ZTMessageDescriptor gmd = new ZTMessageDescriptor();
            session._ZTGET(hconn.x, in, gmd, new ZTGetMessageOptions(), buffer.length, buffer, length, cc, rc);
            expect("_ZTGET", cc, rc);
            if (length.x != size || buffer[size - 1] != data[size - 1]) {
                fail("_ZTGET returned " + length.x + " bytes, not the " + size + " put");
            }
            if (n % every == 0 || n == warmup || n == pairs) {
                last = sample(n, start);
                if (n == warmup) {
                    base = last;
                    System.out.println("  (end of warm-up: growth is measured from here)");
                } else if (base != null) {
                    maxRss = Math.max(maxRss, last[0]);
                    maxGlobal = Math.max(maxGlobal, last[1]);
                }
            }
        }
        session._ZTDISC(hconn, cc, rc);
        expect("_ZTDISC", cc, rc);

        if (base == null || maxRss == 0) {
            System.out.println("no samples after the warm-up: nothing to compare");
            System.exit(maxRssGrowthKib >= 0 || maxGlobalGrowth >= 0 ? 1 : 0);
        }
        long rssGrowth = maxRss - base[0];
        long globalGrowth = maxGlobal - base[1];
        System.out.printf("after warm-up: VmRSS %d -> %d KiB (largest %d, growth %d KiB = %.3f bytes/pair);"
                + " JNI global refs %d -> %d (growth %d)%n", base[0], last[0], maxRss, rssGrowth,
                rssGrowth * 1024.0 / (pairs - warmup), base[1], last[1], globalGrowth);
        boolean ok = true;
        if (maxRssGrowthKib >= 0 && rssGrowth > maxRssGrowthKib) {
            System.out.println("soak: RSS grew by " + rssGrowth + " KiB, more than " + maxRssGrowthKib);
            ok = false;
        }
        if (maxGlobalGrowth >= 0 && globalGrowth > maxGlobalGrowth) {
            System.out.println("soak: JNI global refs grew by " + globalGrowth + ", more than " + maxGlobalGrowth);
            ok = false;
        }
        System.out.println(ok ? "soak: flat" : "soak: growing");
        System.exit(ok ? 0 : 1);
    }

    private static int open(ZTSESSION session, int hconn, int options) {
        Pint cc = new Pint();
        Pint rc = new Pint();
        Pint hobj = new Pint(-1);
        session._ZTOPEN(hconn, new ZTObjectDescriptor("SOAK.Q"), options, hobj, cc, rc);
        expect("_ZTOPEN", cc, rc);
        return hobj.x;
    }

    private static void expect(String verb, Pint cc, Pint rc) {
        if (cc.x != 0) {
            fail(verb + " ended with completion code " + cc.x + ", reason " + rc.x);
        }
    }

    private static void fail(String what) {
        System.out.println("soak: " + what);
        System.exit(1);
    }

    /** Prints and returns {VmRSS KiB, JNI global refs, weak refs}. */
    private static long[] sample(long pairs, long start) throws Exception {
        long rss = vmRssKib();
        long[] refs = jniRefs();
        System.out.printf("%12d %12d %16d %10d %9.1f%n", pairs, rss, refs[0], refs[1],
                (System.nanoTime() - start) / 1e9);
        return new long[] {rss, refs[0], refs[1]};
    }

    private static long vmRssKib() throws IOException {
        for (String line : Files.readAllLines(Paths.get("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS in /proc/self/status");
    }

    /**
     * The JVM's own count of JNI global and weak global references: the last
     * line of a thread dump (what jcmd Thread.print shows), taken in-process
     * through the diagnostic-command bean.
     */
    private static long[] jniRefs() throws Exception {
        Object dump = ManagementFactory.getPlatformMBeanServer().invoke(
                new ObjectName("com.sun.management:type=DiagnosticCommand"), "threadPrint",
                new Object[] {new String[0]}, new String[] {String[].class.getName()});
        Matcher m = REFS.matcher(String.valueOf(dump));
        if (!m.find()) {
            throw new IllegalStateException("no JNI reference counts in the thread dump");
        }
        return new long[] {Long.parseLong(m.group(1)), Long.parseLong(m.group(2))};
    }
}
