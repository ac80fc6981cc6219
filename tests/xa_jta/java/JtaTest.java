import bitronix.tm.BitronixTransactionManager;
import bitronix.tm.Configuration;
import bitronix.tm.TransactionManagerServices;
import bitronix.tm.recovery.Recoverer;
import bitronix.tm.resource.ehcache.EhCacheXAResourceProducer;
import bitronix.tm.resource.jdbc.PoolingDataSource;

import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTXAResource;
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
 *                             sessions committed and rolled back, a failed
 *                             prepare, a lost commit, a heuristic outcome
 *   JtaTest crash DIR         a child JVM prepares both and is killed before
 *                             the queue manager commits; this JVM recovers
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
                crashChild(dir);
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
        System.out.println(failures == 0 ? "all checks passed" : failures + " check(s) FAILED");
        System.exit(failures == 0 ? 0 : 1);
    }

    static void scenarios(File dir) throws Exception {
        try (Env env = new Env(dir, null)) {

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

    static void crash(File dir) throws Exception {
        List<String> command = new ArrayList<>(Arrays.asList(System.getProperty("zt.java").split(" ")));
        command.addAll(ManagementFactory.getRuntimeMXBean().getInputArguments());
        command.addAll(Arrays.asList("-cp", System.getProperty("java.class.path"), "JtaTest", "crash-child",
                dir.getPath()));
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
        System.out.println("== a new JVM, the same transaction log and state directory");
        try (Env env = new Env(dir, null)) {
            check(env.rows("order 7") == 1, "the row is there once");
            check(env.takeAll("order 7") == 1, "the message is there once");
            check(env.takeAll("request 7") == 0, "the request the second session got is gone");
            check(Qm.branches() == 0, "nothing left in doubt");
        }
    }

    static void crashChild(File dir) throws Exception {
        Env env = new Env(dir, qm -> new Stalling(qm));
        BitronixTransactionManager tm = env.tm;
        env.putNow("request 7");
        tm.begin();
        tm.getTransaction().enlistResource(env.registered);
        tm.getTransaction().enlistResource(env.qm2);
        env.put("order 7");
        if (!"request 7".equals(env.getOnSecond())) {
            throw new IllegalStateException("the second session got no request");
        }
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
     * manager has two sessions (connections), each with its resource: qm
     * (rmid 1) for the first, which puts, and qm2 (rmid 2) for the second,
     * which gets.
     */
    static final class Env implements AutoCloseable {
        final File dir;
        final String openString;
        final ZTXAResource qm;
        final ZTXAResource qm2;
        final XAResource registered;
        final PoolingDataSource db;
        BitronixTransactionManager tm;
        final ZTSESSION session = new ZTSESSION();
        final Pint hconn = new Pint(-1);
        final Pint hconn2 = new Pint(-1);
        final int out;
        final int in;
        final int in2;

        Env(File dir, Wrap wrap) throws Exception {
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
            qm = new ZTXAResource(openString, 1);
            qm2 = new ZTXAResource(openString, 2);
            registered = wrap == null ? qm : wrap.wrap(qm);
            EhCacheXAResourceProducer.registerXAResource("qm", registered);
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
            out = open(hconn, OUTPUT);
            in = open(hconn, INPUT_SHARED);
            in2 = open(hconn2, INPUT_SHARED);
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

        private void put(String text, int options) {
            byte[] data = text.getBytes(StandardCharsets.UTF_8);
            ZTPutMessageOptions pmo = new ZTPutMessageOptions();
            pmo.options = options;
            Pint cc = new Pint();
            Pint rc = new Pint();
            session._ZTPUT(hconn.x, out, new ZTMessageDescriptor(), pmo, data.length, data, cc, rc);
            expect("_ZTPUT", cc, rc);
        }

        /** A get under syncpoint on the second session; the text got. */
        String getOnSecond() {
            String text = get(hconn2, in2, SYNCPOINT);
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
            tm.shutdown();
            db.close();
        }

        private static void expect(String verb, Pint cc, Pint rc) {
            if (cc.x != 0) {
                throw new IllegalStateException(verb + ": completion code " + cc.x + ", reason " + rc.x);
            }
        }
    }
}
