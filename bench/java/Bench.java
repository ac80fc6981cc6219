import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessage;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTMessageTracker;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTResponseRecord;
import com.zel.zt.ZTXid;
import com.zel.zt.server.ZTSESSION;
import com.zel.zt.server.ZTXAi;
import com.zel.ztservices.Trace;

import java.io.FileWriter;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintWriter;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/**
 * What a verb costs from Java through the real JNI binding, over a queue
 * manager that answers at once. Prints three tables and writes each as CSV
 * into the folder given as the first argument.
 *
 * Figures are the median of several timed runs after a warm-up that lets the
 * JIT compile the calling loop.
 */
public class Bench {
    static native void empty();

    static native void setInstantMode(boolean on);

    static native void setInstantGetLength(int length);

    static native double fieldLookupNs(Class<?> cls, String[] names, String[] sigs, int rounds);

    /** Reads the 16 int fields of `fields` with GetIntField and returns their sum. */
    static native int readIntFields(Fields fields);

    /** The object readIntFields reads. */
    static final class Fields {
        int f0, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15;
    }

    static final int FIELDS = 16;
    static final Fields fields = new Fields();

    interface Op {
        void run();
    }

    static final int RUNS = 7;
    // Fewer calls per run (-Dbench.scale=0.01) where each call is slow, as
    // under an emulator.
    static final double SCALE = Double.parseDouble(System.getProperty("bench.scale", "1"));
    static final ZTSESSION session = new ZTSESSION();
    static final Pint cc = new Pint();
    static final Pint rc = new Pint();
    static final Pint hobj = new Pint();
    static final Pint length = new Pint();
    static final int HCONN = 1;
    static final int HOBJ = 1;

    static final java.lang.management.ThreadMXBean THREADS = java.lang.management.ManagementFactory.getThreadMXBean();

    /**
     * The calling thread's CPU time per call in the last nsPerCall (median of
     * its runs): on a machine shared with other work it leaves out the time the
     * thread waited for a core, which the elapsed time counts.
     */
    static double lastCpuNs;

    /** Median nanoseconds per call of op over RUNS runs of `calls` calls. */
    static double nsPerCall(Op op, int requested) {
        int calls = Math.max(50, (int) (requested * SCALE));
        for (int i = 0; i < calls; i++) {
            op.run();
        }
        double[] runs = new double[RUNS];
        double[] cpu = new double[RUNS];
        for (int r = 0; r < RUNS; r++) {
            long startCpu = THREADS.getCurrentThreadCpuTime();
            long start = System.nanoTime();
            for (int i = 0; i < calls; i++) {
                op.run();
            }
            runs[r] = (System.nanoTime() - start) / (double) calls;
            cpu[r] = (THREADS.getCurrentThreadCpuTime() - startCpu) / (double) calls;
        }
        Arrays.sort(runs);
        Arrays.sort(cpu);
        lastCpuNs = cpu[RUNS / 2];
        return runs[RUNS / 2];
    }

    static void tracing(boolean on) {
        Trace.setOn(on);
    }

    public static void main(String[] args) throws IOException {
        String out = args.length > 0 ? args[0] : ".";
        System.loadLibrary("sessbridge");
        System.loadLibrary("xabridge");
        System.loadLibrary("ztbench");
        Trace.setPrint(false);
        Trace.setKeep(false);
        setInstantMode(true);

        // "verbs": the per-verb table alone (a 32-bit JVM interpreting under an
        // emulator takes minutes for each table).
        boolean verbsOnly = args.length > 1 && args[1].equals("verbs");
        // "threads": the thread rows alone, to repeat them.
        if (args.length > 1 && args[1].equals("threads")) {
            threads(out);
            return;
        }
        if (!verbsOnly) {
            coldCosts(out);
        }
        verbCosts(out);
        if (!verbsOnly) {
            dataPath(out);
            lookupCost();
            destinationLists(out);
            messageSizes(out);
            coldStart(out);
            threads(out);
        }
        setInstantMode(false);
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    /**
     * The two units, sampled between the rows they measure: the empty native
     * (the floor) and one int field read through JNI (a native reading FIELDS
     * fields, less the floor, over FIELDS). Each figure of a sample is itself a
     * median of RUNS runs; the units are the medians of all samples.
     */
    static final class Units {
        final List<Double> floor = new ArrayList<>();
        final List<Double> field = new ArrayList<>();

        void sample() {
            double empty = nsPerCall(Bench::empty, 200_000);
            double read = nsPerCall(() -> sink += readIntFields(fields), 200_000);
            floor.add(empty);
            field.add(Math.max(0, read - empty) / FIELDS);
        }

        static double median(List<Double> samples) {
            return Bench.median(samples.stream().mapToDouble(Double::doubleValue).toArray());
        }

        double floor() {
            return median(floor);
        }

        double field() {
            return median(field);
        }
    }

    static ZTMessageDescriptor descriptor() {
        return new ZTMessageDescriptor(2);
    }

    static void verbCosts(String out) throws IOException {
        // The verbs, and their objects, as SideBySide runs them.
        Runnable[] verbs = SideBySide.Verbs.OPS;
        ZTMessageDescriptor putMd = SideBySide.Verbs.putMd;
        ZTMessageDescriptor getMd = SideBySide.Verbs.getMd;
        ZTGetMessageOptions gmo = SideBySide.Verbs.gmo;
        ZTXid xid = SideBySide.Verbs.xid;

        String[] names = {"empty native (floor)", "_ZTCMIT", "_ZTOPEN+_ZTCLOSE", "_ZTPUT 1 KiB", "_ZTGET 1 KiB",
            "_ZTPUTMSG2 1 KiB", "_ZTGETMSG2 1 KiB", "xa_start_N+xa_end_N", "xa_end_N (one XID conversion)"};
        Op[] ops = {
            Bench::empty,
            verbs[0]::run,
            verbs[1]::run,
            verbs[2]::run,
            verbs[3]::run,
            verbs[4]::run,
            verbs[5]::run,
            verbs[6]::run,
            () -> ZTXAi.xa_end_N(xid, 1, 0x04000000),
        };

        // The host's own Java that each verb runs, called from Java with the
        // values the verb passes (the put date and time of a record the queue
        // manager left zeroed: each digit is NUL less '0'): what is left of a
        // verb's figure once this is taken off is the bridge's own share.
        int d = -48;
        int year = 1111 * d;
        int two = 11 * d;
        int hundredths = 110 * d;
        Op[] host = {
            () -> { },
            () -> sink += Trace.isOn() ? 1 : 0,
            () -> sink += (Trace.isOn() ? 1 : 0) + (Trace.isOn() ? 1 : 0),
            () -> {
                sink += (Trace.isOn() ? 1 : 0) + putMd.getVersion();
                putMd.setDateAndTime(year, two, two, two, two, two, hundredths);
            },
            () -> {
                sink += (Trace.isOn() ? 1 : 0) + getMd.getVersion() + gmo.getVersion();
                getMd.setDateAndTime(year, two, two, two, two, two, hundredths);
            },
            () -> sink += Trace.isOn() ? 1 : 0,
            () -> sink += (Trace.isOn() ? 1 : 0) + gmo.getVersion(),
            () -> sink += xidGetters(xid) + xidGetters(xid),
            () -> sink += xidGetters(xid),
        };

        // One pass over every row first: the host's Java a verb runs (the
        // calendar of setDateAndTime above all) is compiled by then, so that
        // no row pays for the JIT, whatever its place in the table. On a busy
        // machine the compiler threads lag, and the first message verb
        // measured came out twice as slow as the same verb measured again.
        tracing(false);
        for (int i = 1; i < ops.length; i++) {
            nsPerCall(ops[i], 50_000);
            nsPerCall(host[i], 50_000);
        }

        // The units are sampled before every row and after the last, so that
        // a machine whose speed drifts during the table moves them with it.
        Units units = new Units();
        double[] off = new double[ops.length];
        double[] offCpu = new double[ops.length];
        double[] hostNs = new double[ops.length];
        double[] on = new double[ops.length];
        for (int i = 1; i < ops.length; i++) {
            units.sample();
            tracing(false);
            off[i] = nsPerCall(ops[i], 50_000);
            offCpu[i] = lastCpuNs;
            hostNs[i] = nsPerCall(host[i], 50_000);
            tracing(true);
            on[i] = nsPerCall(ops[i], 5_000);
            tracing(false);
        }
        units.sample();
        double floor = units.floor();
        double field = units.field();
        // The empty native has nothing to trace: its one figure serves both columns.
        off[0] = floor;
        on[0] = floor;
        // The floor's CPU time, from one more measure of the empty native.
        nsPerCall(ops[0], 200_000);
        offCpu[0] = lastCpuNs;
        List<String[]> rows = new ArrayList<>();
        for (int i = 0; i < ops.length; i++) {
            double bridge = Math.max(0, off[i] - hostNs[i]);
            rows.add(new String[] {names[i], fmt(off[i]), fmt(off[i] / floor), fmt(hostNs[i]), fmt(bridge),
                fmt(bridge / floor), fmt(on[i]), fmt(on[i] / floor), fmt(off[i] / field), fmt(bridge / field),
                fmt(offCpu[i])});
            if (i == 0) {
                rows.add(new String[] {"one int field read (unit)", fmt(field), fmt(field / floor), "0",
                    fmt(field), fmt(field / floor), fmt(field), fmt(field / floor), "1", "1", "-"});
            }
        }
        table("Per-verb cost (ns per call; x floor: ratio to the empty native, x field: to one int field read,"
                + " each the median of " + units.floor.size() + " samples taken between the rows; host = the"
                + " host's own Java the verb calls, from Java; bridge = total less host; CPU ns: the thread's CPU"
                + " time per call, without the time it waited for a core)",
                new String[] {"verb", "ns, trace off", "x floor", "host ns", "bridge ns", "bridge x floor",
                    "ns, trace on", "x floor", "x field", "bridge x field", "CPU ns, trace off"}, rows, out,
                "verb_costs.csv");
    }

    /**
     * The member cache's cold start: 8 threads each make their first _ZTPUT
     * with a descriptor of one class the bridge has not met (defined afresh in
     * a class loader of its own every round), all released at once; then the
     * same again with the class now known. Time from the release to the last
     * thread's return, median of the rounds.
     */
    static void coldStart(String out) throws IOException {
        final int threadCount = 8;
        final int rounds = Math.max(3, (int) (15 * Math.min(1, SCALE * 10)));
        byte[] classBytes;
        try (InputStream in = Bench.class.getResourceAsStream("/ColdDescriptor.class")) {
            classBytes = in.readAllBytes();
        }
        byte[] data = new byte[1024];
        ExecutorService pool = Executors.newFixedThreadPool(threadCount);
        double[] cold = new double[rounds];
        double[] warm = new double[rounds];
        tracing(false);
        try {
            for (int r = 0; r < rounds; r++) {
                ClassLoader loader = new FreshLoader(classBytes);
                ZTMessageDescriptor[] mds = new ZTMessageDescriptor[threadCount];
                for (int t = 0; t < threadCount; t++) {
                    mds[t] = (ZTMessageDescriptor) loader.loadClass("ColdDescriptor").getDeclaredConstructor()
                            .newInstance();
                }
                cold[r] = allAtOnce(pool, threadCount, t -> putOnce(mds[t], data));
                warm[r] = allAtOnce(pool, threadCount, t -> putOnce(mds[t], data));
                // Let the class go, so that the cache's places are freed as in
                // a server whose classes come and go.
                loader = null;
                Arrays.fill(mds, null);
                System.gc();
            }
        } catch (ReflectiveOperationException | InterruptedException | java.util.concurrent.ExecutionException e) {
            throw new IllegalStateException(e);
        } finally {
            pool.shutdown();
        }
        List<String[]> rows = new ArrayList<>();
        // No commas in the labels: they are CSV cells.
        rows.add(new String[] {"first _ZTPUT of a new class", fmt(median(cold) / 1000)});
        rows.add(new String[] {"_ZTPUT of that class once known", fmt(median(warm) / 1000)});
        table("Member cache cold start, 8 threads released at once (trace off; release to last return, median of "
                + rounds + " rounds)",
                new String[] {"case", "us"}, rows, out, "cold_start.csv");
    }

    /** Defines ColdDescriptor itself, from the bytes given; everything else from its parent. */
    static final class FreshLoader extends ClassLoader {
        private final byte[] bytes;

        FreshLoader(byte[] bytes) {
            super(Bench.class.getClassLoader());
            this.bytes = bytes;
        }

        @Override
        protected Class<?> loadClass(String name, boolean resolve) throws ClassNotFoundException {
            if (!name.equals("ColdDescriptor")) {
                return super.loadClass(name, resolve);
            }
            synchronized (getClassLoadingLock(name)) {
                Class<?> c = findLoadedClass(name);
                return c != null ? c : defineClass(name, bytes, 0, bytes.length);
            }
        }
    }

    static final ThreadLocal<ZTPutMessageOptions> threadPmo = ThreadLocal.withInitial(() -> new ZTPutMessageOptions(1));
    static final ThreadLocal<Pint[]> threadHolders = ThreadLocal.withInitial(() -> new Pint[] {new Pint(), new Pint()});

    static void putOnce(ZTMessageDescriptor md, byte[] data) {
        Pint[] h = threadHolders.get();
        session._ZTPUT(HCONN, HOBJ, md, threadPmo.get(), data.length, data, h[0], h[1]);
        if (h[0].x != 0) {
            throw new IllegalStateException("_ZTPUT answered " + h[0].x + "/" + h[1].x);
        }
    }

    interface ThreadOp {
        void run(int thread) throws Exception;
    }

    /** Nanoseconds from releasing `count` tasks at once to the last one's end. */
    static double allAtOnce(ExecutorService pool, int count, ThreadOp op)
            throws InterruptedException, java.util.concurrent.ExecutionException {
        CountDownLatch ready = new CountDownLatch(count);
        CountDownLatch go = new CountDownLatch(1);
        List<Future<Long>> ends = new ArrayList<>();
        for (int t = 0; t < count; t++) {
            final int thread = t;
            ends.add(pool.submit(() -> {
                ready.countDown();
                go.await();
                op.run(thread);
                return System.nanoTime();
            }));
        }
        ready.await();
        long start = System.nanoTime();
        go.countDown();
        long last = start;
        for (Future<Long> end : ends) {
            last = Math.max(last, end.get());
        }
        return last - start;
    }

    /**
     * Threads, each on its own connection and queue of the stand-in (its real
     * queues, not the instant answers), doing warm 1 KiB _ZTPUT/_ZTGET pairs
     * outside units of work: ns per pair on each thread, and pairs per second
     * over all. Median of RUNS runs.
     */
    static void threads(String out) throws IOException {
        setInstantMode(false);
        int pairs = Math.max(200, (int) (40_000 * SCALE));
        List<String[]> rows = new ArrayList<>();
        double single = 0;
        try {
            for (int threadCount : new int[] {1, 2, 4}) {
                ExecutorService pool = Executors.newFixedThreadPool(threadCount);
                try {
                    Pair[] each = new Pair[threadCount];
                    for (int t = 0; t < threadCount; t++) {
                        each[t] = new Pair("BENCH.THREAD." + t);
                    }
                    allAtOnce(pool, threadCount, t -> each[t].run(pairs));
                    double[] runs = new double[RUNS];
                    double[] cpu = new double[RUNS];
                    for (int r = 0; r < RUNS; r++) {
                        runs[r] = allAtOnce(pool, threadCount, t -> each[t].run(pairs));
                        double sum = 0;
                        for (Pair p : each) {
                            sum += p.cpuNs;
                        }
                        cpu[r] = sum / threadCount / pairs;
                    }
                    for (Pair p : each) {
                        p.close();
                    }
                    double wall = median(runs);
                    double perPair = wall / pairs;
                    single = threadCount == 1 ? perPair : single;
                    rows.add(new String[] {Integer.toString(threadCount), fmt(perPair), fmt(perPair / single),
                        fmt(threadCount * pairs / (wall / 1e9)), fmt(median(cpu))});
                } finally {
                    pool.shutdown();
                }
            }
        } catch (InterruptedException | java.util.concurrent.ExecutionException e) {
            throw new IllegalStateException(e);
        } finally {
            setInstantMode(true);
        }
        table("Threads (trace off): warm 1 KiB _ZTPUT/_ZTGET pairs, each thread on its own connection and queue",
                new String[] {"threads", "ns per pair, each thread", "x 1 thread", "pairs/s, all",
                    "CPU ns per pair, each thread"}, rows, out,
                "threads.csv");
    }

    /** One thread's connection, queue and objects for put/get pairs. */
    static final class Pair {
        static final int OPEN_INPUT_OUTPUT = 0x0002 | 0x0010;
        static final int PUT_NO_SYNCPOINT = 0x0004;
        static final int GET_NO_SYNCPOINT = 0x0004;
        final ZTSESSION session = new ZTSESSION();
        final Pint hconn = new Pint();
        final Pint hobj = new Pint();
        final Pint cc = new Pint();
        final Pint rc = new Pint();
        final Pint length = new Pint();
        final ZTMessageDescriptor putMd = descriptor();
        final ZTMessageDescriptor getMd = descriptor();
        final ZTPutMessageOptions pmo = new ZTPutMessageOptions(1);
        final ZTGetMessageOptions gmo = new ZTGetMessageOptions(2);
        final byte[] data = new byte[1024];
        final byte[] buffer = new byte[1024];

        Pair(String queue) {
            session._ZTCONN("QM1", hconn, cc, rc);
            check("_ZTCONN");
            session._ZTOPEN(hconn.x, new ZTObjectDescriptor(queue), OPEN_INPUT_OUTPUT, hobj, cc, rc);
            check("_ZTOPEN");
            pmo.options = PUT_NO_SYNCPOINT;
            gmo.options = GET_NO_SYNCPOINT;
            gmo.matchOptions = 0;
        }

        /** The thread's CPU time over its last run of pairs. */
        long cpuNs;

        void run(int pairs) {
            long startCpu = THREADS.getCurrentThreadCpuTime();
            for (int i = 0; i < pairs; i++) {
                session._ZTPUT(hconn.x, hobj.x, putMd, pmo, data.length, data, cc, rc);
                session._ZTGET(hconn.x, hobj.x, getMd, gmo, buffer.length, buffer, length, cc, rc);
            }
            cpuNs = THREADS.getCurrentThreadCpuTime() - startCpu;
            // Every pair is the same: one that failed would show here.
            check("_ZTPUT/_ZTGET");
            if (length.x != data.length) {
                throw new IllegalStateException("_ZTGET received " + length.x + " bytes");
            }
        }

        void close() {
            session._ZTCLOSE(hconn.x, hobj, 0, cc, rc);
            session._ZTDISC(hconn, cc, rc);
        }

        void check(String what) {
            if (cc.x != 0) {
                throw new IllegalStateException(what + " answered " + cc.x + "/" + rc.x);
            }
        }
    }

    /** Keeps the JIT from dropping the host calls whose results nobody reads. */
    static volatile long sink;

    /** The getters the XID conversion calls, as it calls them. */
    static long xidGetters(ZTXid xid) {
        return xid.getFormatId() + xid.getGlobalTransactionId().length + xid.getBranchQualifier().length;
    }

    /**
     * The first call of each verb in this JVM: its classes not yet seen, so
     * every member is looked up by name (and the Java side runs interpreted).
     * One call each, so a rough figure.
     */
    static void coldCosts(String out) throws IOException {
        byte[] kib = new byte[1024];
        ZTXid xid = new ZTXid(1, new byte[] {1, 2, 3, 4}, new byte[] {5});
        String[] names = {"_ZTCMIT", "_ZTOPEN", "_ZTPUT 1 KiB", "_ZTGET 1 KiB", "_ZTPUTMSG2 1 KiB",
            "_ZTGETMSG2 1 KiB", "xa_start_N"};
        Op[] ops = {
            () -> session._ZTCMIT(HCONN, cc, rc),
            () -> session._ZTOPEN(HCONN, new ZTObjectDescriptor("BENCH.Q"), 0x10, hobj, cc, rc),
            () -> session._ZTPUT(HCONN, HOBJ, descriptor(), new ZTPutMessageOptions(1), kib.length, kib, cc, rc),
            () -> session._ZTGET(HCONN, HOBJ, descriptor(), new ZTGetMessageOptions(2), kib.length, kib, length,
                    cc, rc),
            () -> session._ZTPUTMSG2(HCONN, HOBJ, new ZTMessage(), new ZTPutMessageOptions(1), kib.length, kib, cc,
                    rc),
            () -> session._ZTGETMSG2(HCONN, HOBJ, new ZTMessage(), new ZTGetMessageOptions(2), kib.length, kib,
                    length, cc, rc),
            () -> ZTXAi.xa_start_N(xid, 1, 0),
        };
        List<String[]> rows = new ArrayList<>();
        tracing(false);
        for (int i = 0; i < ops.length; i++) {
            long start = System.nanoTime();
            ops[i].run();
            rows.add(new String[] {names[i], fmt((System.nanoTime() - start) / 1000.0)});
        }
        table("First call in this JVM (cold, trace off; one call each)", new String[] {"verb", "us"}, rows, out,
                "cold_costs.csv");
    }

    /** Only the bytes that move: a 1 KiB message into buffers and from arrays of other sizes. */
    static void dataPath(String out) throws IOException {
        ZTMessageDescriptor md = descriptor();
        ZTPutMessageOptions pmo = new ZTPutMessageOptions(1);
        ZTGetMessageOptions gmo = new ZTGetMessageOptions(2);
        List<String[]> rows = new ArrayList<>();
        tracing(false);
        setInstantGetLength(1024);
        double base = 0;
        for (int size : new int[] {1 << 10, 64 << 10, 4 << 20}) {
            byte[] buffer = new byte[size];
            double ns = nsPerCall(() -> session._ZTGET(HCONN, HOBJ, md, gmo, buffer.length, buffer, length, cc, rc),
                    20_000);
            base = size == 1 << 10 ? ns : base;
            rows.add(new String[] {"_ZTGET 1 KiB message, " + (size >> 10) + " KiB buffer", fmt(ns), fmt(ns / base)});
        }
        setInstantGetLength(0);
        for (int size : new int[] {1 << 10, 4 << 20}) {
            byte[] data = new byte[size];
            double ns = nsPerCall(() -> session._ZTPUT(HCONN, HOBJ, md, pmo, 1024, data, cc, rc), 20_000);
            base = size == 1 << 10 ? ns : base;
            rows.add(new String[] {"_ZTPUT 1 KiB from a " + (size >> 10) + " KiB array", fmt(ns), fmt(ns / base)});
        }
        table("Data path (trace off): only the bytes that move", new String[] {"call", "ns", "x 1 KiB row"}, rows,
                out, "data_path.csv");
    }

    /** What one member lookup by name costs: the converters make one per member per call. */
    static void lookupCost() {
        String[] names = {"report", "messageType", "expiry", "feedback", "encoding", "format", "priority",
            "persistence", "backoutCount", "replyToQueueName", "replyToQueueManagerName", "userId",
            "accountingToken", "applicationIdData", "putApplicationType", "putApplicationName", "putDate",
            "putTime", "putDateTime", "applicationOriginData", "characterSet", "messageId", "correlationId"};
        String[] sigs = {"I", "I", "I", "I", "I", "Ljava/lang/String;", "I", "I", "I", "Ljava/lang/String;",
            "Ljava/lang/String;", "Ljava/lang/String;", "[B", "Ljava/lang/String;", "I", "Ljava/lang/String;",
            "Ljava/lang/String;", "Ljava/lang/String;", "Ljava/util/GregorianCalendar;", "Ljava/lang/String;", "I",
            "[B", "[B"};
        fieldLookupNs(ZTMessageDescriptor.class, names, sigs, 2_000);
        double[] runs = new double[RUNS];
        for (int r = 0; r < RUNS; r++) {
            runs[r] = fieldLookupNs(ZTMessageDescriptor.class, names, sigs, 2_000);
        }
        Arrays.sort(runs);
        System.out.println();
        System.out.println("One field lookup by name (GetFieldID on the descriptor class): " + fmt(runs[RUNS / 2])
                + " ns");
    }

    static void destinationLists(String out) throws IOException {
        int[] sizes = {1, 10, 100, 1_000, 10_000, 100_000};
        List<String[]> rows = new ArrayList<>();
        byte[] data = new byte[16];
        ZTMessageDescriptor md = descriptor();
        for (int n : sizes) {
            ZTObjectDescriptor list = ZTObjectDescriptor.distributionList(queueNames(n));
            int calls = Math.max(3, 200_000 / n);
            double open = nsPerCall(() -> session._ZTOPEN(HCONN, list, 0x10, hobj, cc, rc), calls);

            ZTPutMessageOptions pmo = new ZTPutMessageOptions(2);
            pmo.putMsgRecordFields = 0x1;
            pmo.putMessageRecords = new ZTMessageTracker[n];
            pmo.responseRecords = new ZTResponseRecord[n];
            for (int i = 0; i < n; i++) {
                pmo.putMessageRecords[i] = new ZTMessageTracker();
                pmo.responseRecords[i] = new ZTResponseRecord();
            }
            double put = nsPerCall(() -> session._ZTPUT(HCONN, HOBJ, md, pmo, data.length, data, cc, rc), calls);
            Runtime rt = Runtime.getRuntime();
            long heapMiB = (rt.totalMemory() - rt.freeMemory()) >> 20;
            rows.add(new String[] {Integer.toString(n), fmt(open / 1000), fmt(open / n), fmt(put / 1000),
                fmt(put / n), Long.toString(heapMiB)});
        }
        table("Destination lists (trace off): time per call and per record",
                new String[] {"records", "_ZTOPEN us", "ns/record", "_ZTPUT us", "ns/record", "heap MiB"}, rows, out,
                "destination_lists.csv");
    }

    static void messageSizes(String out) throws IOException {
        int[] sizes = {0, 1 << 10, 64 << 10, 1 << 20, 4 << 20};
        List<String[]> rows = new ArrayList<>();
        ZTMessageDescriptor md = descriptor();
        ZTPutMessageOptions pmo = new ZTPutMessageOptions(1);
        ZTGetMessageOptions gmo = new ZTGetMessageOptions(2);
        for (int size : sizes) {
            byte[] data = new byte[size];
            int calls = Math.max(20, (int) Math.min(100_000, (256L << 20) / Math.max(size, 1)));
            double put = nsPerCall(() -> session._ZTPUT(HCONN, HOBJ, md, pmo, data.length, data, cc, rc), calls);
            double get = nsPerCall(() -> session._ZTGET(HCONN, HOBJ, md, gmo, data.length, data, length, cc, rc),
                    calls);
            rows.add(new String[] {Integer.toString(size), fmt(put / 1000), mbPerSecond(size, put), fmt(get / 1000),
                mbPerSecond(size, get)});
        }
        table("Message sizes (trace off)", new String[] {"bytes", "_ZTPUT us", "MB/s", "_ZTGET us", "MB/s"}, rows,
                out, "message_sizes.csv");
    }

    static String[] queueNames(int n) {
        String[] names = new String[n];
        for (int i = 0; i < n; i++) {
            names[i] = "BENCH.Q" + i;
        }
        return names;
    }

    static String mbPerSecond(int size, double ns) {
        return size == 0 ? "-" : fmt(size / ns * 1e9 / 1e6);
    }

    static String fmt(double value) {
        return String.format(Locale.ROOT, value >= 100 ? "%.0f" : "%.2f", value);
    }

    static void table(String title, String[] header, List<String[]> rows, String folder, String file)
            throws IOException {
        int[] widths = new int[header.length];
        for (int c = 0; c < header.length; c++) {
            widths[c] = header[c].length();
            for (String[] row : rows) {
                widths[c] = Math.max(widths[c], row[c].length());
            }
        }
        System.out.println();
        System.out.println(title);
        printRow(header, widths);
        for (String[] row : rows) {
            printRow(row, widths);
        }
        try (PrintWriter csv = new PrintWriter(new FileWriter(folder + "/" + file))) {
            csv.println(String.join(",", header));
            for (String[] row : rows) {
                csv.println(String.join(",", row));
            }
        }
    }

    static void printRow(String[] cells, int[] widths) {
        StringBuilder line = new StringBuilder("  ");
        for (int c = 0; c < cells.length; c++) {
            String format = c == 0 ? "%-" + widths[c] + "s" : "%" + widths[c] + "s";
            line.append(String.format(format, cells[c])).append("  ");
        }
        System.out.println(line.toString().replaceAll("\\s+$", ""));
    }
}
