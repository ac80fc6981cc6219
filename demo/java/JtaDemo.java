import bitronix.tm.BitronixTransactionManager;
import bitronix.tm.Configuration;
import bitronix.tm.TransactionManagerServices;
import bitronix.tm.resource.ehcache.EhCacheXAResourceProducer;
import bitronix.tm.resource.jdbc.PoolingDataSource;

import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTXAResource;
import com.zel.zt.server.ZTSESSION;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.sql.Connection;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.Statement;

/**
 * One global transaction: a database row and a message. Bitronix (a Java
 * transaction manager) drives an embedded Derby database and the queue
 * manager, the latter through com.zel.zt.ZTXAResource; one transaction is
 * committed, one rolled back. Exits with 1 when a step does not end as
 * expected.
 */
public class JtaDemo {
    private static final int OUTPUT = 0x10;
    private static final int INPUT_SHARED = 0x2;
    private static final int PUT_SYNCPOINT = 0x2;
    private static final int GET_NO_SYNCPOINT = 0x4;

    private static final ZTSESSION session = new ZTSESSION();
    private static final Pint hconn = new Pint(-1);
    private static int unexpected;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("sessbridge");
        System.loadLibrary("xabridge");
        File dir = Files.createTempDirectory("jta-demo").toFile();
        System.setProperty("derby.stream.error.file", new File(dir, "derby.log").getPath());
        System.out.println("== one global transaction: a database row and a message");

        Configuration conf = TransactionManagerServices.getConfiguration();
        conf.setServerId("zt-demo");
        conf.setLogPart1Filename(new File(dir, "btm1.tlog").getPath());
        conf.setLogPart2Filename(new File(dir, "btm2.tlog").getPath());
        conf.setDisableJmx(true);
        PoolingDataSource db = new PoolingDataSource();
        db.setUniqueName("orders-db");
        db.setClassName("org.apache.derby.jdbc.EmbeddedXADataSource");
        db.setMaxPoolSize(2);
        db.setAllowLocalTransactions(true);
        db.getDriverProperties().setProperty("databaseName", new File(dir, "db").getPath());
        db.getDriverProperties().setProperty("createDatabase", "create");
        db.init();
        // The queue manager QM1 as resource manager 1; prepared work kept in dir/qm.
        ZTXAResource qm = new ZTXAResource("QM1;state=" + new File(dir, "qm").getPath(), 1);
        EhCacheXAResourceProducer.registerXAResource("QM1", qm);
        BitronixTransactionManager tm = TransactionManagerServices.getTransactionManager();
        try (Connection c = db.getConnection(); Statement s = c.createStatement()) {
            s.executeUpdate("CREATE TABLE orders(id INT PRIMARY KEY, item VARCHAR(40))");
        }
        Pint cc = new Pint();
        Pint rc = new Pint();
        session._ZTCONN("QM1", hconn, cc, rc);
        int out = open("ORDERS.OUT", OUTPUT);
        int in = open("ORDERS.OUT", INPUT_SHARED);

        System.out.println("  Order 1: the transaction manager begins a transaction; this thread's");
        System.out.println("  queue work joins it once the queue manager is enlisted (xa_start_N).");
        tm.begin();
        tm.getTransaction().enlistResource(qm);
        insert(db, 1, "a red bicycle");
        put(out, "ship order 1");
        System.out.println("  Row 1 inserted and message \"ship order 1\" put; before commit the queue shows "
                + count(in) + " message(s).");
        tm.commit();
        System.out.println("  Committed: both resources prepared, then both committed.");
        report(db, in, 1, 1, 1);

        System.out.println("  Order 2: the same work, then the transaction is rolled back.");
        tm.begin();
        tm.getTransaction().enlistResource(qm);
        insert(db, 2, "a blue kite");
        put(out, "ship order 2");
        tm.rollback();
        System.out.println("  Rolled back: neither resource keeps anything.");
        report(db, in, 2, 0, 0);

        session._ZTDISC(hconn, cc, rc);
        tm.shutdown();
        db.close();
        delete(dir);
        System.out.println(unexpected == 0 ? "  Both resources agreed each time." : unexpected + " unexpected result(s)");
        System.exit(unexpected == 0 ? 0 : 1);
    }

    private static void delete(File f) {
        File[] children = f.listFiles();
        if (children != null) {
            for (File c : children) {
                delete(c);
            }
        }
        f.delete();
    }

    private static int open(String queue, int options) {
        Pint hobj = new Pint(-1);
        Pint cc = new Pint();
        Pint rc = new Pint();
        session._ZTOPEN(hconn.x, new ZTObjectDescriptor(queue), options, hobj, cc, rc);
        return hobj.x;
    }

    private static void put(int hobj, String text) {
        ZTPutMessageOptions pmo = new ZTPutMessageOptions();
        pmo.options = PUT_SYNCPOINT;
        byte[] data = text.getBytes(StandardCharsets.UTF_8);
        Pint cc = new Pint();
        Pint rc = new Pint();
        session._ZTPUT(hconn.x, hobj, new ZTMessageDescriptor(), pmo, data.length, data, cc, rc);
        if (cc.x != 0) {
            System.out.println("  unexpected: put failed, reason " + rc.x);
            unexpected++;
        }
    }

    /** Takes every visible message off the queue and returns how many there were. */
    private static int count(int hobj) {
        int n = 0;
        while (true) {
            ZTGetMessageOptions gmo = new ZTGetMessageOptions();
            gmo.options = GET_NO_SYNCPOINT;
            Pint length = new Pint();
            Pint cc = new Pint();
            Pint rc = new Pint();
            byte[] buffer = new byte[100];
            session._ZTGET(hconn.x, hobj, new ZTMessageDescriptor(), gmo, buffer.length, buffer, length, cc, rc);
            if (cc.x != 0) {
                return n;
            }
            n++;
        }
    }

    private static void insert(PoolingDataSource db, int id, String item) throws Exception {
        try (Connection c = db.getConnection();
                PreparedStatement s = c.prepareStatement("INSERT INTO orders VALUES (?, ?)")) {
            s.setInt(1, id);
            s.setString(2, item);
            s.executeUpdate();
        }
    }

    private static void report(PoolingDataSource db, int in, int id, int rowsExpected, int messagesExpected)
            throws Exception {
        int rows;
        try (Connection c = db.getConnection();
                PreparedStatement s = c.prepareStatement("SELECT COUNT(*) FROM orders WHERE id = ?")) {
            s.setInt(1, id);
            try (ResultSet r = s.executeQuery()) {
                r.next();
                rows = r.getInt(1);
            }
        }
        int messages = count(in);
        System.out.println("  Afterwards: " + rows + " row(s) for order " + id + " in the database, " + messages
                + " message(s) on the queue.");
        if (rows != rowsExpected || messages != messagesExpected) {
            System.out.println("  unexpected: expected " + rowsExpected + " row(s) and " + messagesExpected
                    + " message(s)");
            unexpected++;
        }
    }
}
