import com.zel.ztservices.Trace;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * The soak: the bridges driven for a long time through the JNI binding
 * (System.loadLibrary) over the stand-in queue manager, in phases, with the
 * process's resident size, the JVM's JNI global and weak reference counts and
 * its tracked native memory sampled along the way.
 *
 *   Soak [--pairs n] [--messages n] [--errors n] [--xa n] [--only pairs,messages,errors,xa]
 *        [--size bytes] [--samples n] [--warmup-samples n]
 *        [--max-rss-growth-kib k] [--max-globalref-growth g] [--max-nmt-growth-kib k]
 *
 * Each phase is sampled --samples times (10) and its growth measured from the
 * end of its warm-up (the first --warmup-samples samples, 1: JIT, heap and
 * caches settle by then) to its largest later sample. With a bound given, a
 * phase that grows beyond it makes the exit status 1; a call that does not end
 * as expected stops the soak at once with status 1.
 */
public class Soak {
    private static final String QUEUE_MANAGER = "QM1";

    private long pairs = 2_000_000;
    private long messages = 200_000;
    private long errors = 500_000;
    private long xa = 250_000;
    private int size = 1024;
    private long samples = 10;
    private long warmupSamples = 1;
    private long maxRssGrowthKib = -1;
    private long maxGlobalGrowth = -1;
    private long maxNmtGrowthKib = -1;

    /** What one phase showed, from the end of its warm-up. */
    private static final class Result {
        Phase phase;
        Sample base;
        Sample last;
        long maxRss;
        long maxGlobal;
        long maxNmt;
        double seconds;
        List<String> problems = new ArrayList<>();
    }

    public static void main(String[] args) throws Exception {
        Soak soak = new Soak();
        soak.parse(args);
        System.exit(soak.run() ? 0 : 1);
    }

    static void fail(String what) {
        System.out.println("soak: " + what);
        System.out.flush();
        System.exit(1);
    }

    private void parse(String[] args) {
        for (int i = 0; i < args.length; i += 2) {
            if (i + 1 >= args.length) {
                throw new IllegalArgumentException("option " + args[i] + " needs a value");
            }
            String value = args[i + 1];
            switch (args[i]) {
                case "--pairs": pairs = Long.parseLong(value); break;
                case "--messages": messages = Long.parseLong(value); break;
                case "--errors": errors = Long.parseLong(value); break;
                case "--xa": xa = Long.parseLong(value); break;
                case "--only": only(value); break;
                case "--size": size = Integer.parseInt(value); break;
                case "--samples": samples = Long.parseLong(value); break;
                case "--warmup-samples": warmupSamples = Long.parseLong(value); break;
                case "--max-rss-growth-kib": maxRssGrowthKib = Long.parseLong(value); break;
                case "--max-globalref-growth": maxGlobalGrowth = Long.parseLong(value); break;
                case "--max-nmt-growth-kib": maxNmtGrowthKib = Long.parseLong(value); break;
                default: throw new IllegalArgumentException("unknown option " + args[i]);
            }
        }
        if (size < 1 || samples < 1 || warmupSamples < 0 || warmupSamples >= samples) {
            throw new IllegalArgumentException("--size and --samples must be at least 1, --warmup-samples below"
                    + " --samples");
        }
    }

    /** Leaves out the phases not named. */
    private void only(String names) {
        List<String> kept = Arrays.asList(names.split(","));
        for (String name : kept) {
            if (!Arrays.asList("pairs", "messages", "errors", "xa").contains(name)) {
                throw new IllegalArgumentException("no phase " + name);
            }
        }
        pairs = kept.contains("pairs") ? pairs : 0;
        messages = kept.contains("messages") ? messages : 0;
        errors = kept.contains("errors") ? errors : 0;
        xa = kept.contains("xa") ? xa : 0;
    }

    private boolean run() throws Exception {
        Trace.setOn(false);
        Trace.setKeep(false);
        System.loadLibrary("sessbridge");
        Client client = new Client(QUEUE_MANAGER);
        List<Phase> phases = new ArrayList<>();
        for (Phase p : new Phase[] {new SessionPhases.Pairs(client, pairs, size),
                new SessionPhases.Messages(client, messages, size), new SessionPhases.Errors(client, errors),
                new XaPhase(client, QUEUE_MANAGER, xa)}) {
            if (p.count > 0) {
                phases.add(p);
            }
        }
        System.out.printf("soak: %d phase(s), %d samples each, growth measured after %d; bounds: VmRSS %s KiB,"
                + " JNI global refs %s, NMT committed %s KiB%n", phases.size(), samples, warmupSamples,
                bound(maxRssGrowthKib), bound(maxGlobalGrowth), bound(maxNmtGrowthKib));
        List<Result> results = new ArrayList<>();
        for (Phase p : phases) {
            results.add(run(p));
        }
        client.disconnect();
        return summary(results);
    }

    /** Prints each phase's figures and problems; true when there were none. */
    private static boolean summary(List<Result> results) {
        System.out.println();
        System.out.println("soak summary (growth: from the end of each phase's warm-up to its largest later sample)");
        StringBuilder header = new StringBuilder(String.format("%-9s %9s %10s %10s %8s %8s %8s %6s %11s %11s %8s %21s",
                "phase", "count", "RSS warm", "RSS end", "growth", "B/unit", "globals", "weak", "NMT warm", "NMT end",
                "growth", "NMT reserved"));
        for (String c : Sample.CATEGORIES) {
            header.append(String.format(" %11s", c));
        }
        System.out.println(header.append(String.format(" %8s", "seconds")));
        boolean ok = true;
        for (Result r : results) {
            long rssGrowth = r.maxRss - r.base.rssKib;
            long units = r.phase.count - r.base.units;
            boolean nmt = r.last.tracksNative();
            StringBuilder row = new StringBuilder(String.format("%-9s %9d %10d %10d %8d %8.2f %8s %6s %11s %11s %8s %21s",
                    r.phase.name, r.phase.count, r.base.rssKib, r.last.rssKib, rssGrowth,
                    units > 0 ? rssGrowth * 1024.0 / units : 0.0, r.base.globalRefs + "->" + r.last.globalRefs,
                    r.base.weakRefs + "->" + r.last.weakRefs,
                    nmt ? Long.toString(r.base.nmtCommittedKib) : "-", nmt ? Long.toString(r.last.nmtCommittedKib) : "-",
                    nmt ? Long.toString(r.maxNmt - r.base.nmtCommittedKib) : "-",
                    nmt ? r.base.nmtReservedKib + "->" + r.last.nmtReservedKib : "-"));
            for (int i = 0; i < Sample.CATEGORIES.length; i++) {
                row.append(String.format(" %11s", nmt ? r.base.categoryKib[i] + "->" + r.last.categoryKib[i] : "-"));
            }
            System.out.println(row.append(String.format(" %8.1f", r.seconds)));
            for (String problem : r.problems) {
                System.out.println("soak: " + r.phase.name + ": " + problem);
                ok = false;
            }
        }
        System.out.println(ok ? "soak: flat" : "soak: growing");
        return ok;
    }

    private Result run(Phase phase) throws Exception {
        long every = Math.max(1, phase.count / samples);
        long warmup = Math.min(phase.count, every * warmupSamples);
        System.out.println();
        System.out.printf("== %s: %d %s; a sample every %d, warm-up %d%n", phase.name, phase.count, phase.unit, every,
                warmup);
        phase.begin();
        System.out.println(Sample.header());
        Result r = new Result();
        r.phase = phase;
        long start = System.nanoTime();
        Sample first = Sample.take(0, start);
        System.out.println(first.line());
        if (warmup == 0) {
            r.base = first;
        }
        for (long n = 1; n <= phase.count; n++) {
            phase.step(n);
            if (n % every == 0 || n == warmup || n == phase.count) {
                phase.atSample();
                Sample s = Sample.take(n, start);
                System.out.println(s.line());
                r.last = s;
                if (n == warmup) {
                    r.base = s;
                    System.out.println("  (end of warm-up: growth is measured from here)");
                } else if (r.base != null) {
                    r.maxRss = Math.max(r.maxRss, s.rssKib);
                    r.maxGlobal = Math.max(r.maxGlobal, s.globalRefs);
                    r.maxNmt = Math.max(r.maxNmt, s.nmtCommittedKib);
                }
            }
        }
        phase.end();
        r.seconds = (System.nanoTime() - start) / 1e9;
        if (r.maxRss == 0) {
            // A warm-up as long as the phase: the end is the only later sample.
            r.maxRss = r.last.rssKib;
            r.maxGlobal = r.last.globalRefs;
            r.maxNmt = r.last.nmtCommittedKib;
        }
        check(r);
        return r;
    }

    private void check(Result r) {
        long rssGrowth = r.maxRss - r.base.rssKib;
        if (maxRssGrowthKib >= 0 && rssGrowth > maxRssGrowthKib) {
            r.problems.add("VmRSS grew by " + rssGrowth + " KiB, more than " + maxRssGrowthKib);
        }
        long globalGrowth = r.maxGlobal - r.base.globalRefs;
        if (maxGlobalGrowth >= 0 && globalGrowth > maxGlobalGrowth) {
            r.problems.add("JNI global refs grew by " + globalGrowth + ", more than " + maxGlobalGrowth);
        }
        if (maxNmtGrowthKib >= 0) {
            if (!r.base.tracksNative()) {
                r.problems.add("a bound on native memory needs -XX:NativeMemoryTracking=summary");
            } else if (r.maxNmt - r.base.nmtCommittedKib > maxNmtGrowthKib) {
                r.problems.add("NMT committed grew by " + (r.maxNmt - r.base.nmtCommittedKib) + " KiB, more than "
                        + maxNmtGrowthKib);
            }
        }
    }

    private static String bound(long value) {
        return value < 0 ? "unbounded" : "+" + value;
    }

}
