/** One phase of the soak: count steps, step(n) making the n-th (from 1). */
abstract class Phase {
    final String name;
    /** What one step is, for the report ("put/get pairs"). */
    final String unit;
    final long count;

    Phase(String name, String unit, long count) {
        this.name = name;
        this.unit = unit;
        this.count = count;
    }

    void begin() throws Exception {
    }

    abstract void step(long n) throws Exception;

    /** Before each sample: what must hold between steps (nothing left behind in the queue manager, ...). */
    void atSample() throws Exception {
    }

    void end() throws Exception {
    }
}
