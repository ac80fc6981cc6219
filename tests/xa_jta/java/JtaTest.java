import bitronix.tm.BitronixTransactionManager;
import bitronix.tm.Configuration;
import bitronix.tm.TransactionManagerServices;
import bitronix.tm.recovery.Recoverer;
import bitronix.tm.resource.ResourceRegistrar;
import bitronix.tm.resource.common.ResourceBean;
import bitronix.tm.resource.ehcache.EhCacheXAResourceProducer;
import bitronix.tm.resource.jdbc.PoolingDataSource;

import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTXAResource;
import com.zel.zt.ZTXid;
import com.zel.zt.server.ZTSESSION;
import com.zel.zt.server.ZTXAi;

import java.io.BufferedReader;
import java.io.File;
import java.io.InputStreamReader;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.SQLException;
import java.sql.Statement;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;

import javax.transaction.HeuristicMixedException;
import javax.transaction.RollbackException;
import javax.transaction.xa.XAException;
import javax.transaction.xa.XAResource;
import javax.transaction.xa.Xid;

/**
 * A message and a database row in one global transaction: Bitronix drives
 * Derby's XA data source and the queue manager (ZTXAResource over the XA
 * bridge).
 *
 *   JtaTest scenarios DIR     commit, one-phase commit, rollback, two
 *                             sessions committed and rolled back, two
 *                             resources built alike side by side (Bitronix's
 *                             join on and off), a failed prepare, a lost
 *                             commit, a heuristic outcome
 *   JtaTest crash DIR         a child JVM prepares all and is killed before
 *                             the queue manager commits; this JVM recovers
 *                             (twice: join on and off)
 *
 * DIR must not exist (CTest removes it first); it holds the transaction log, the database and the
 * queue manager's state directory. Prints one line per check, exits 1 when
 * one failed.
 */
public class JtaTest {
    static final String QUEUE = "JTA.ORDERS";
    static final int OUTPUT = 0x10;
    static final int INPUT_SHARED = 0x2;
    static final int SYNCPOINT = 0x2;
    static final int NO_SYNCPOINT = 0x4;
    static final int NO_MSG_AVAILABLE = 3016;
    static final String PREPARED_MARK = "child: both prepared, the queue manager's commit is next";

    /** The stand-in queue manager's control interface (libztxajta, tests only). */
    static final class Qm {
        static native int visibleDepth(String queue);

        static native int calls(String function);

        static native int branches();

        static native void scriptCommit(int code, boolean heuristic);
    }

    private static int failures;

    static void check(boolean ok, String what) {
        System.out.println((ok ? "ok:     " : "FAILED: ") + what);
        if (!ok) {
            failures++;
        }
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("xabridge");
        System.loadLibrary("sessbridge");
        System.loadLibrary("ztxajta");
        File dir = new File(args[1]);
        switch (args[0]) {
            case "scenarios":
                scenarios(dir);
                break;
            case "crash":
                crash(dir);
                break;
            case "crash-child":
                crashChild(dir, Integer.parseInt(args[2]));
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
        System.out.println(failures == 0 ? "all checks passed" : failures + " check(s) FAILED");
        System.exit(failures == 0 ? 0 : 1);
    }

    static void scenarios(File dir) throws Exception {
        try (Env env = new Env(dir, null, 1)) {
            System.out.println("== commit: a row and a message");
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 1");
            env.insert(1, "order 1");
            check(Qm.visibleDepth(QUEUE) == 0, "the message is invisible before commit");
            int prepares = Qm.calls("zstXAPrepare");
            env.tm.commit();
            check(Qm.calls("zstXAPrepare") == prepares + 1, "the queue manager was prepared (two-phase)");
            check(env.rows("order 1") == 1, "the row is there");
            check(env.takeAll("order 1") == 1, "the message is there");

            System.out.println("== commit: the queue manager alone (one-phase)");
            prepares = Qm.calls("zstXAPrepare");
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 2");
            env.tm.commit();
            check(Qm.calls("zstXAPrepare") == prepares, "no prepare");
            check(env.takeAll("order 2") == 1, "the message is there");

            System.out.println("== rollback");
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 3");
            env.insert(3, "order 3");
            env.tm.rollback();
            check(env.rows("order 3") == 0, "no row");
            check(env.takeAll("order 3") == 0, "no message");

            check(env.qm.isSameRM(new ZTXAResource(env.openString, 1)) && !env.qm.isSameRM(env.qm2),
                    "isSameRM: the same instance (rmid and open string), not the second session's");
            for (boolean commit : new boolean[] {true, false}) {
                String n = commit ? "8" : "9";
                System.out.println("== two sessions of the queue manager (a put on one, a get on the other)"
                        + " and the database: " + (commit ? "commit" : "rollback"));
                env.putNow("request " + n);
                env.tm.begin();
                env.tm.getTransaction().enlistResource(env.qm);
                env.tm.getTransaction().enlistResource(env.qm2);
                env.put("reply " + n);
                check(("request " + n).equals(env.getOnSecond()), "the second session got the request");
                env.insert(Integer.parseInt(n), "order " + n);
                int before = Qm.calls("zstXAPrepare");
                if (commit) {
                    env.tm.commit();
                    check(Qm.calls("zstXAPrepare") == before + 2, "both sessions' branches were prepared");
                } else {
                    env.tm.rollback();
                }
                check(env.rows("order " + n) == (commit ? 1 : 0), commit ? "the row is there" : "no row");
                List<String> left = env.takeAll();
                check(Collections.frequency(left, "reply " + n) == (commit ? 1 : 0),
                        commit ? "the reply is there" : "no reply");
                check(Collections.frequency(left, "request " + n) == (commit ? 0 : 1),
                        commit ? "the request is gone" : "the request is back");
                check(Qm.branches() == 0, "the queue manager holds no branch");
            }

            check(env.qm.isSameRM(env.qmAlike), "isSameRM: a resource built alike");
            int n = 10;
            for (boolean join : new boolean[] {true, false}) {
                env.useTmJoin(join);
                for (boolean commit : new boolean[] {true, false}) {
                    String id = Integer.toString(n++);
                    System.out.println(
                        "== two resources built alike (one per session) side by side, each its own branch,"
                        + " and the database: " + (commit ? "commit" : "rollback") + ", join "
                        + (join ? "on" : "off"));
                    env.putNow("request " + id);
                    env.tm.begin();
                    env.tm.getTransaction().enlistResource(env.qm);
                    env.tm.getTransaction().enlistResource(env.qmAlike);
                    env.put("reply " + id);
                    check(("request " + id).equals(env.getOnAlike()),
                          "the alike resource's session got the request");
                    env.insert(Integer.parseInt(id), "order " + id);
                    if (commit) {
                        env.tm.commit();
                    } else {
                        env.tm.rollback();
                    }
                    List<String> left = env.takeAll();
                    check(env.rows("order " + id) == (commit ? 1 : 0)
                              && Collections.frequency(left, "reply " + id) == (commit ? 1 : 0)
                              && Collections.frequency(left, "request " + id) == (commit ? 0 : 1),
                          commit ? "the row and the reply are there, the request gone"
                                 : "no row, no reply, the request back");
                    check(Qm.branches() == 0, "the queue manager holds no branch");
                }
                String id = Integer.toString(n++);
                System.out.println(
                    "== two resources built alike, the second enlisted once the first is delisted,"
                    + " join " + (join ? "on" : "off") + ": commit");
                prepares = Qm.calls("zstXAPrepare");
                env.tm.begin();
                env.tm.getTransaction().enlistResource(env.qm);
                env.put("first " + id);
                env.tm.getTransaction().delistResource(env.qm, XAResource.TMSUCCESS);
                env.tm.getTransaction().enlistResource(env.qmAlike);
                env.putOnAlike("second " + id);
                env.insert(Integer.parseInt(id), "order " + id);
                env.tm.commit();
                System.out.println("        branches of the queue manager prepared: "
                                   + (Qm.calls("zstXAPrepare") - prepares));
                List<String> left = env.takeAll();
                check(env.rows("order " + id) == 1 && left.contains("first " + id)
                          && left.contains("second " + id),
                      "the row and both messages are there");
                check(Qm.branches() == 0, "the queue manager holds no branch");
            }
            env.useTmJoin(true);

            // What a transaction manager may do with two resources built
            // alike on one thread, by hand: join, or a branch each.
            for (boolean join : new boolean[] {true, false}) {
                String id = Integer.toString(n++);
                System.out.println(
                    "== by hand: the second resource built alike "
                    + (join ? "joins (TMJOIN)" : "starts its own branch (TMNOFLAGS, another bqual)")
                    + ", suspended and resumed meanwhile: commit");
                byte[] gtrid = ("by hand " + id).getBytes(StandardCharsets.UTF_8);
                Xid first = new ZTXid(0x5A54, gtrid, new byte[] {1});
                Xid second = join ? first : new ZTXid(0x5A54, gtrid, new byte[] {2});
                env.qm.start(first, XAResource.TMNOFLAGS);
                env.qmAlike.start(second, join ? XAResource.TMJOIN : XAResource.TMNOFLAGS);
                env.put("first " + id);
                env.qmAlike.end(second, XAResource.TMSUSPEND);
                env.qmAlike.start(second, XAResource.TMRESUME);
                env.putOnAlike("second " + id);
                env.qmAlike.end(second, XAResource.TMSUCCESS);
                env.qm.end(first, XAResource.TMSUCCESS);
                check(Qm.visibleDepth(QUEUE) == 0, "nothing visible before the commit");
                if (!join) {
                    check(env.qmAlike.prepare(second) == XAResource.XA_RDONLY,
                          "its own branch, a name for the first one, is read-only");
                }
                check(env.qm.prepare(first) == XAResource.XA_OK, "the first branch prepared");
                env.qm.commit(first, false);
                List<String> left = env.takeAll();
                check(left.contains("first " + id) && left.contains("second " + id),
                      "both messages are there");
                check(Qm.branches() == 0, "the queue manager holds no branch");
            }

            System.out.println("== the database fails at prepare (a deferred key violated)");
            env.insertLocal(4, "order 4 (before)");
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 4");
            env.insert(4, "order 4");
            check(throwsOnCommit(env.tm) instanceof RollbackException, "commit ends in RollbackException");
            check(env.rows("order 4") == 0, "no row");
            check(env.takeAll("order 4") == 0, "no message");
            check(Qm.branches() == 0, "the queue manager holds no branch");

            System.out.println("== the queue manager's commit fails after both prepared");
            Qm.scriptCommit(ZTXAi.XAER_RMFAIL, false);
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 5");
            env.insert(5, "order 5");
            Exception failed = throwsOnCommit(env.tm);
            System.out.println("        commit: " + failed);
            check(env.rows("order 5") == 1, "the row is committed");
            check(Qm.visibleDepth(QUEUE) == 0 && Qm.branches() == 1, "the message waits in a prepared branch");
            recover(env);
            check(Qm.branches() == 0, "recovery committed the branch");
            check(env.takeAll("order 5") == 1, "the message is there");

            System.out.println("== a heuristic rollback by the queue manager");
            Qm.scriptCommit(ZTXAi.XA_HEURRB, true);
            env.tm.begin();
            env.tm.getTransaction().enlistResource(env.qm);
            env.put("order 6");
            env.insert(6, "order 6");
            Exception heuristic = throwsOnCommit(env.tm);
            System.out.println("        commit: " + heuristic);
            check(heuristic instanceof HeuristicMixedException, "commit ends in HeuristicMixedException");
            check(env.rows("order 6") == 1 && env.takeAll("order 6") == 0, "the row is there, the message is not");
            recover(env);
            check(Qm.calls("zstXAForget") == 1 && Qm.branches() == 0, "the transaction manager forgot the branch");
        }
    }

    /**
     * Recovery now. Bitronix 2.1.4's recoverer, run in the transaction
     * manager that saw the commit fail, leaves that branch alone (its
     * transaction ids carry a clock that does not compare with the one the
     * recoverer uses); the workaround is a new transaction manager over the
     * same log, whose start-up recovery commits it.
     */
    static void recover(Env env) throws Exception {
        Recoverer background = TransactionManagerServices.getRecoverer();
        background.run();
        System.out.println("        the running recoverer committed " + background.getCommittedCount()
                + " and rolled back " + background.getRolledbackCount());
        env.restartTm();
        Recoverer startup = TransactionManagerServices.getRecoverer();
        System.out.println("        a new transaction manager's recovery committed " + startup.getCommittedCount()
                + " and rolled back " + startup.getRolledbackCount());
    }

    static Exception throwsOnCommit(BitronixTransactionManager tm) {
        try {
            tm.commit();
            return null;
        } catch (Exception e) {
            return e;
        }
    }

    /**
     * Twice, Bitronix's join on and off: each time the child enlists the
     * queue manager twice (two resources built alike, side by side) beside
     * the second session and the database.
     */
    static void crash(File dir) throws Exception {
        crash(new File(dir, "join"), 1);
        crash(new File(dir, "nojoin"), 3);
    }

    /** firstRmid: the rmid of the first session; the second session's is the next. */
    static void crash(File dir, int firstRmid) throws Exception {
        List<String> command = new ArrayList<>(Arrays.asList(System.getProperty("zt.java").split(" ")));
        command.addAll(ManagementFactory.getRuntimeMXBean().getInputArguments());
        command.addAll(Arrays.asList("-cp", System.getProperty("java.class.path"), "JtaTest",
                                     "crash-child", dir.getPath(), Integer.toString(firstRmid)));
        Process child = new ProcessBuilder(command).redirectErrorStream(true).start();
        boolean prepared = false;
        try (BufferedReader out = new BufferedReader(
                new InputStreamReader(child.getInputStream(), StandardCharsets.UTF_8))) {
            String line;
            while ((line = out.readLine()) != null) {
                System.out.println(line);
                if (line.equals(PREPARED_MARK)) {
                    prepared = true;
                    child.destroyForcibly();  // SIGKILL
                    break;
                }
            }
        }
        int status = child.waitFor();
        check(prepared && status == 128 + 9, "the child JVM was killed (SIGKILL) after both prepared, status "
                + status);
        System.out.println("== a new JVM, the same transaction log and state directory ("
                           + dir.getName() + ")");
        try (Env env = new Env(dir, null, firstRmid)) {
            check(env.rows("order 7") == 1, "the row is there once");
            List<String> left = env.takeAll();
            System.out.println("        the queue holds " + left);
            check(Collections.frequency(left, "order 7") == 1, "the message is there once");
            check(Collections.frequency(left, "note 7") == 1,
                  "the alike resource's session's message is there once");
            check(!left.contains("request 7"), "the request the second session got is gone");
            check(Qm.branches() == 0, "nothing left in doubt");
        }
    }

    static void crashChild(File dir, int firstRmid) throws Exception {
        Env env = new Env(dir, qm -> new Stalling(qm), firstRmid);
        env.useTmJoin(firstRmid == 1);
        BitronixTransactionManager tm = env.tm;
        env.putNow("request 7");
        tm.begin();
        tm.getTransaction().enlistResource(env.registered);
        tm.getTransaction().enlistResource(env.registeredAlike);
        tm.getTransaction().enlistResource(env.qm2);
        env.put("order 7");
        if (!"request 7".equals(env.getOnSecond())) {
            throw new IllegalStateException("the second session got no request");
        }
        // After the second session's work, so it joins the first session's
        // branch (the earliest), whose commit stalls.
        env.putOnAlike("note 7");
        env.insert(7, "order 7");
        tm.commit();
        System.out.println("child: commit returned, which it must not");
    }

    /** Blocks the queue manager's second phase until the process is killed. */
    static final class Stalling implements XAResource {
        private final XAResource qm;

        Stalling(XAResource qm) {
            this.qm = qm;
        }

        @Override
        public void commit(Xid xid, boolean onePhase) throws XAException {
            System.out.println(PREPARED_MARK);
            System.out.flush();
            while (true) {
                try {
                    Thread.sleep(60_000);
                } catch (InterruptedException e) {
                    // still waiting to be killed
                }
            }
        }

        @Override
        public void start(Xid xid, int flags) throws XAException {
            qm.start(xid, flags);
        }

        @Override
        public void end(Xid xid, int flags) throws XAException {
            qm.end(xid, flags);
        }

        @Override
        public int prepare(Xid xid) throws XAException {
            return qm.prepare(xid);
        }

        @Override
        public void rollback(Xid xid) throws XAException {
            qm.rollback(xid);
        }

        @Override
        public void forget(Xid xid) throws XAException {
            qm.forget(xid);
        }

        @Override
        public Xid[] recover(int flag) throws XAException {
            return qm.recover(flag);
        }

        @Override
        public boolean isSameRM(XAResource other) throws XAException {
            return other == this;
        }

        @Override
        public int getTransactionTimeout() throws XAException {
            return qm.getTransactionTimeout();
        }

        @Override
        public boolean setTransactionTimeout(int seconds) throws XAException {
            return qm.setTransactionTimeout(seconds);
        }
    }

    interface Wrap {
        XAResource wrap(ZTXAResource qm);
    }

    /**
     * Bitronix, Derby and the queue manager over one directory. The queue
     * manager has three sessions (connections), each with its resource: qm
     * (rmid 1) for the first, which puts, qm2 (rmid 2) for the second, which
     * gets, and qmAlike (built as qm, so rmid 1 too) for the third. The rmids
     * are firstRmid and the next.
     */
    static final class Env implements AutoCloseable {
        final File dir;
        final String openString;
        final ZTXAResource qm;
        final ZTXAResource qm2;
        final ZTXAResource qmAlike;
        final XAResource registered;
        final XAResource registeredAlike;
        final PoolingDataSource db;
        BitronixTransactionManager tm;
        final ZTSESSION session = new ZTSESSION();
        final Pint hconn = new Pint(-1);
        final Pint hconn2 = new Pint(-1);
        final Pint hconn3 = new Pint(-1);
        final int out;
        final int in;
        final int in2;
        final int in3;
        final int out3;

        Env(File dir, Wrap wrap, int firstRmid) throws Exception {
            this.dir = dir;
            dir.mkdirs();
            System.setProperty("derby.stream.error.file", new File(dir, "derby.log").getPath());
            configure();
            boolean fresh = !new File(dir, "db").exists();
            db = new PoolingDataSource();
            db.setUniqueName("derby");
            db.setClassName("org.apache.derby.jdbc.EmbeddedXADataSource");
            db.setMaxPoolSize(2);
            db.setAllowLocalTransactions(true);
            db.getDriverProperties().setProperty("databaseName", new File(dir, "db").getPath());
            db.getDriverProperties().setProperty("createDatabase", "create");
            db.init();

            openString = "QM1;state=" + new File(dir, "qm").getPath();
            qm = new ZTXAResource(openString, firstRmid);
            qm2 = new ZTXAResource(openString, firstRmid + 1);
            qmAlike = new ZTXAResource(openString, firstRmid);
            registered = wrap == null ? qm : wrap.wrap(qm);
            registeredAlike = wrap == null ? qmAlike : wrap.wrap(qmAlike);
            // One configuration: the resources built alike under one name.
            EhCacheXAResourceProducer.registerXAResource("qm", registered);
            EhCacheXAResourceProducer.registerXAResource("qm", registeredAlike);
            EhCacheXAResourceProducer.registerXAResource("qm2", qm2);
            // Starting it recovers what the log and the resources hold.
            tm = TransactionManagerServices.getTransactionManager();

            if (fresh) {
                try (Connection c = db.getConnection(); Statement s = c.createStatement()) {
                    s.executeUpdate("CREATE TABLE orders(id INT NOT NULL, what VARCHAR(40),"
                            + " CONSTRAINT orders_pk PRIMARY KEY (id) INITIALLY DEFERRED)");
                }
            }
            Pint cc = new Pint();
            Pint rc = new Pint();
            session._ZTCONN("QM1", hconn, cc, rc);
            expect("_ZTCONN", cc, rc);
            session._ZTCONN("QM1", hconn2, cc, rc);
            expect("_ZTCONN", cc, rc);
            session._ZTCONN("QM1", hconn3, cc, rc);
            expect("_ZTCONN", cc, rc);
            out = open(hconn, OUTPUT);
            in = open(hconn, INPUT_SHARED);
            in2 = open(hconn2, INPUT_SHARED);
            in3 = open(hconn3, INPUT_SHARED);
            out3 = open(hconn3, OUTPUT);
        }

        /** Whether Bitronix joins a resource to an ended one of the same resource manager. */
        void useTmJoin(boolean join) {
            ((ResourceBean) ResourceRegistrar.get("qm")).setUseTmJoin(join);
        }

        /** Before each start: a shut down transaction manager forgets its configuration. */
        private void configure() {
            Configuration conf = TransactionManagerServices.getConfiguration();
            conf.setServerId("zt-jta");
            conf.setLogPart1Filename(new File(dir, "btm1.tlog").getPath());
            conf.setLogPart2Filename(new File(dir, "btm2.tlog").getPath());
            conf.setDisableJmx(true);
            conf.setDefaultTransactionTimeout(600);  // the emulated 32-bit JVM is slow
            conf.setBackgroundRecoveryIntervalSeconds(3600);
            conf.setWarnAboutZeroResourceTransaction(false);
        }

        /** The workaround of recover(): a new transaction manager over the same log. */
        void restartTm() {
            tm.shutdown();
            configure();
            tm = TransactionManagerServices.getTransactionManager();
        }

        private int open(Pint connection, int options) {
            Pint hobj = new Pint(-1);
            Pint cc = new Pint();
            Pint rc = new Pint();
            session._ZTOPEN(connection.x, new ZTObjectDescriptor(QUEUE), options, hobj, cc, rc);
            expect("_ZTOPEN", cc, rc);
            return hobj.x;
        }

        /** A put under syncpoint on the first session: it joins that session's branch. */
        void put(String text) {
            put(text, SYNCPOINT);
        }

        /** A put outside any unit of work. */
        void putNow(String text) {
            put(text, NO_SYNCPOINT);
        }

        /** A put under syncpoint on the third session (qmAlike's). */
        void putOnAlike(String text) { put(hconn3, out3, text, SYNCPOINT); }

        private void put(String text, int options) { put(hconn, out, text, options); }

        private void put(Pint connection, int hobj, String text, int options) {
            byte[] data = text.getBytes(StandardCharsets.UTF_8);
            ZTPutMessageOptions pmo = new ZTPutMessageOptions();
            pmo.options = options;
            Pint cc = new Pint();
            Pint rc = new Pint();
            session._ZTPUT(connection.x, hobj, new ZTMessageDescriptor(), pmo, data.length, data,
                           cc, rc);
            expect("_ZTPUT", cc, rc);
        }

        /** A get under syncpoint on the second session; the text got. */
        String getOnSecond() { return getUnderSyncpoint(hconn2, in2); }

        /** A get under syncpoint on the third session (qmAlike's); the text got. */
        String getOnAlike() { return getUnderSyncpoint(hconn3, in3); }

        private String getUnderSyncpoint(Pint connection, int hobj) {
            String text = get(connection, hobj, SYNCPOINT);
            if (text == null) {
                throw new IllegalStateException("_ZTGET: no message");
            }
            return text;
        }

        /** Gets every visible message; returns how many were text. */
        int takeAll(String text) {
            return Collections.frequency(takeAll(), text);
        }

        /** Gets every visible message; returns their texts. */
        List<String> takeAll() {
            List<String> texts = new ArrayList<>();
            for (String text = get(hconn, in, NO_SYNCPOINT); text != null; text = get(hconn, in, NO_SYNCPOINT)) {
                texts.add(text);
            }
            return texts;
        }

        /** The text of the next message, or null when there is none. */
        private String get(Pint connection, int hobj, int options) {
            byte[] buffer = new byte[100];
            Pint length = new Pint();
            Pint cc = new Pint();
            Pint rc = new Pint();
            ZTGetMessageOptions gmo = new ZTGetMessageOptions();
            gmo.options = options;
            session._ZTGET(connection.x, hobj, new ZTMessageDescriptor(), gmo, buffer.length, buffer, length, cc, rc);
            if (cc.x == 2 && rc.x == NO_MSG_AVAILABLE) {
                return null;
            }
            expect("_ZTGET", cc, rc);
            return new String(buffer, 0, length.x, StandardCharsets.UTF_8);
        }

        void insert(int id, String what) throws SQLException {
            try (Connection c = db.getConnection();
                    PreparedStatement s = c.prepareStatement("INSERT INTO orders VALUES (?, ?)")) {
                s.setInt(1, id);
                s.setString(2, what);
                s.executeUpdate();
            }
        }

        /** Outside any global transaction (the connection commits it at once). */
        void insertLocal(int id, String what) throws SQLException {
            insert(id, what);
        }

        int rows(String what) throws SQLException {
            try (Connection c = db.getConnection();
                    PreparedStatement s = c.prepareStatement("SELECT COUNT(*) FROM orders WHERE what = ?")) {
                s.setString(1, what);
                try (ResultSet r = s.executeQuery()) {
                    r.next();
                    return r.getInt(1);
                }
            }
        }

        @Override
        public void close() {
            Pint cc = new Pint();
            Pint rc = new Pint();
            session._ZTDISC(hconn, cc, rc);
            session._ZTDISC(hconn2, cc, rc);
            session._ZTDISC(hconn3, cc, rc);
            tm.shutdown();
            db.close();
            // The next Env of this JVM (the crash test's second round) registers its own.
            EhCacheXAResourceProducer.unregisterXAResource("qm", registered);
            EhCacheXAResourceProducer.unregisterXAResource("qm", registeredAlike);
            EhCacheXAResourceProducer.unregisterXAResource("qm2", qm2);
        }

        private static void expect(String verb, Pint cc, Pint rc) {
            if (cc.x != 0) {
                throw new IllegalStateException(verb + ": completion code " + cc.x + ", reason " + rc.x);
            }
        }
    }
}
