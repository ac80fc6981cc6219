import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import javax.management.MBeanServer;
import javax.management.ObjectName;

/**
 * One measurement of the process: its resident size, the JVM's JNI global and
 * weak reference counts and, when the JVM tracks its native memory
 * (-XX:NativeMemoryTracking=summary), the committed totals of that tracking.
 * Everything is taken in-process through the diagnostic-command bean, so the
 * soak needs no second process (jcmd) and works under the emulator too.
 */
final class Sample {
    /**
     * The tracked categories the report shows besides the total: where the JVM's side of JNI (handle blocks,
     * names looked up) and the JDK's own native allocations would grow; and the JIT's pooled arenas, which
     * explain a step that is not the bridge's.
     */
    static final String[] CATEGORIES = {"Internal", "Other", "Symbol", "Arena Chunk"};

    private static final Pattern REFS = Pattern.compile("JNI global refs: (\\d+), weak refs: (\\d+)");
    private static final Pattern TOTAL = Pattern.compile("Total: reserved=(\\d+)KB, committed=(\\d+)KB");
    private static final Pattern[] CATEGORY_LINES = new Pattern[CATEGORIES.length];
    private static final ObjectName DIAGNOSTICS = diagnostics();

    static {
        for (int i = 0; i < CATEGORIES.length; i++) {
            CATEGORY_LINES[i] = Pattern.compile("-\\s+" + CATEGORIES[i] + " \\(reserved=\\d+KB, committed=(\\d+)KB");
        }
    }

    final long units;
    final double seconds;
    /** False when the JIT was still busy after a while: its handles may be in the counts. */
    final boolean compilerIdle;
    final long rssKib;
    final long globalRefs;
    final long weakRefs;
    /** -1 when the JVM does not track its native memory. */
    final long nmtReservedKib;
    final long nmtCommittedKib;
    /** Committed KiB of each of CATEGORIES (0 when the summary leaves it out: under 1 KiB). */
    final long[] categoryKib = new long[CATEGORIES.length];

    private Sample(long units, double seconds) throws Exception {
        this.units = units;
        this.seconds = seconds;
        compilerIdle = awaitCompilerIdle();
        rssKib = vmRssKib();
        Matcher refs = REFS.matcher(diagnostic("threadPrint"));
        if (!refs.find()) {
            throw new IllegalStateException("no JNI reference counts in the thread dump");
        }
        globalRefs = Long.parseLong(refs.group(1));
        weakRefs = Long.parseLong(refs.group(2));
        String nmt = diagnostic("vmNativeMemory", "summary", "scale=KB");
        Matcher total = TOTAL.matcher(nmt);
        if (total.find()) {
            nmtReservedKib = Long.parseLong(total.group(1));
            nmtCommittedKib = Long.parseLong(total.group(2));
            for (int i = 0; i < CATEGORIES.length; i++) {
                Matcher m = CATEGORY_LINES[i].matcher(nmt);
                categoryKib[i] = m.find() ? Long.parseLong(m.group(1)) : 0;
            }
        } else {
            nmtReservedKib = -1;
            nmtCommittedKib = -1;
        }
    }

    static Sample take(long units, long startNanos) throws Exception {
        return new Sample(units, (System.nanoTime() - startNanos) / 1e9);
    }

    boolean tracksNative() {
        return nmtCommittedKib >= 0;
    }

    static String header() {
        StringBuilder s = new StringBuilder(String.format("%12s %10s %8s %6s %12s", "done", "VmRSS KiB",
                "globals", "weak", "NMT commit"));
        for (String c : CATEGORIES) {
            s.append(String.format(" %11s", c));
        }
        return s.append(String.format(" %9s", "seconds")).toString();
    }

    String line() {
        StringBuilder s = new StringBuilder(String.format("%12d %10d %8d %6d %12s", units, rssKib, globalRefs,
                weakRefs, tracksNative() ? Long.toString(nmtCommittedKib) : "-"));
        for (long kib : categoryKib) {
            s.append(String.format(" %11s", tracksNative() ? Long.toString(kib) : "-"));
        }
        s.append(String.format(" %9.1f", seconds));
        return compilerIdle ? s.toString() : s.append("  (JIT still busy)").toString();
    }

    /**
     * Waits (up to 5 s) until the JIT compiles nothing and has nothing queued. A method queued for
     * compilation holds a JNI weak global reference to its class, one being compiled a global one, and a
     * compilation's arenas are native memory: samples taken meanwhile would show the JIT, not the bridge.
     */
    private static boolean awaitCompilerIdle() throws Exception {
        long deadline = System.nanoTime() + 5_000_000_000L;
        while (true) {
            boolean idle = true;
            for (String line : diagnostic("compilerQueue").split("\n")) {
                String l = line.trim();
                if (!(l.isEmpty() || l.equals("Empty") || l.startsWith("Current compiles:")
                        || l.endsWith("compile queue:"))) {
                    idle = false;
                    break;
                }
            }
            if (idle) {
                return true;
            }
            if (System.nanoTime() > deadline) {
                return false;
            }
            Thread.sleep(10);
        }
    }

    private static long vmRssKib() throws IOException {
        for (String line : Files.readAllLines(Paths.get("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS in /proc/self/status");
    }

    /** What jcmd would print for the command (threadPrint is Thread.print, vmNativeMemory is VM.native_memory). */
    private static String diagnostic(String operation, String... arguments) throws Exception {
        MBeanServer server = ManagementFactory.getPlatformMBeanServer();
        return String.valueOf(server.invoke(DIAGNOSTICS, operation, new Object[] {arguments},
                new String[] {String[].class.getName()}));
    }

    private static ObjectName diagnostics() {
        try {
            return new ObjectName("com.sun.management:type=DiagnosticCommand");
        } catch (Exception e) {
            throw new IllegalStateException(e);
        }
    }
}
