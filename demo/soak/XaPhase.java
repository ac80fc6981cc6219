import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTXid;
import com.zel.zt.server.ZTXAi;

/**
 * XA start/end pairs through libxabridge, each with a fresh XID object. The
 * queue manager keeps an ended branch until it is committed or rolled back,
 * so every branch is completed: most by a one-phase commit, every tenth
 * after a put under syncpoint by prepare and commit (the message then
 * arrives), every hundredth of those ended with TMFAIL (prepare rolls it
 * back, the message never arrives), the fifth of every ten by rollback.
 */
final class XaPhase extends Phase {
    private static final int RMID = 7;
    private static final int FORMAT = 0x534f414b;
    private static final String QUEUE = "SOAK.XA";

    private final Client client;
    private final String queueManager;
    private final byte[] data = {'x', 'a'};
    private final byte[] buffer = new byte[8];
    private final Pint length = new Pint();
    private final long[] outcomes = new long[4];
    private ZTXid last;
    private int out;
    private int in;

    XaPhase(Client client, String queueManager, long count) {
        super("xa", "XA start/end pairs, every branch completed", count);
        this.client = client;
        this.queueManager = queueManager;
    }

    @Override
    void begin() {
        System.loadLibrary("xabridge");
        out = client.open(QUEUE, Client.OUTPUT);
        in = client.open(QUEUE, Client.INPUT_SHARED);
        expect("xa_open_N", ZTXAi.xa_open_N(queueManager, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
    }

    @Override
    void step(long n) {
        byte[] gtrid = new byte[8];
        for (int i = 0; i < 8; i++) {
            gtrid[i] = (byte) (n >>> (8 * i));
        }
        ZTXid xid = new ZTXid(FORMAT, gtrid, new byte[] {(byte) n});
        expect("xa_start_N", ZTXAi.xa_start_N(xid, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        boolean withWork = n % 10 == 0;
        boolean failed = n % 1000 == 0;
        if (withWork) {
            ZTPutMessageOptions pmo = new ZTPutMessageOptions();
            pmo.options = Client.SYNCPOINT;
            client.session._ZTPUT(client.hconn.x, out, new ZTMessageDescriptor(), pmo, data.length, data, client.cc,
                    client.rc);
            client.expectOk("_ZTPUT in a branch");
        }
        expect("xa_end_N", ZTXAi.xa_end_N(xid, RMID, failed ? ZTXAi.TMFAIL : ZTXAi.TMSUCCESS), ZTXAi.XA_OK);
        if (failed) {
            expect("xa_prepare_N of a failed branch", ZTXAi.xa_prepare_N(xid, RMID, ZTXAi.TMNOFLAGS),
                    ZTXAi.XA_RBROLLBACK);
            expectMessage(false);
            outcomes[0]++;
        } else if (withWork) {
            expect("xa_prepare_N", ZTXAi.xa_prepare_N(xid, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
            expect("xa_commit_N", ZTXAi.xa_commit_N(xid, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
            expectMessage(true);
            outcomes[1]++;
        } else if (n % 10 == 5) {
            expect("xa_rollback_N", ZTXAi.xa_rollback_N(xid, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
            outcomes[2]++;
        } else {
            expect("xa_commit_N TMONEPHASE", ZTXAi.xa_commit_N(xid, RMID, ZTXAi.TMONEPHASE), ZTXAi.XA_OK);
            outcomes[3]++;
        }
        last = xid;
    }

    /** The last branch is gone from the queue manager and none is in doubt. */
    @Override
    void atSample() {
        if (last != null) {
            expect("xa_commit_N of a completed branch", ZTXAi.xa_commit_N(last, RMID, ZTXAi.TMNOFLAGS),
                    ZTXAi.XAER_NOTA);
        }
        ZTXid[] found = new ZTXid[4];
        expect("xa_recover_N", ZTXAi.xa_recover_N(found, RMID, ZTXAi.TMSTARTRSCAN | ZTXAi.TMENDRSCAN), 0);
    }

    @Override
    void end() {
        atSample();
        expect("xa_close_N", ZTXAi.xa_close_N(queueManager, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        System.out.printf("  %9d rolled back by prepare after TMFAIL, %d prepared and committed with a message,"
                + " %d rolled back, %d committed in one phase%n", outcomes[0], outcomes[1], outcomes[2], outcomes[3]);
    }

    /** The branch's message arrived (committed) or did not (rolled back). */
    private void expectMessage(boolean committed) {
        length.x = -1;
        client.session._ZTGET(client.hconn.x, in, new ZTMessageDescriptor(), new ZTGetMessageOptions(),
                buffer.length, buffer, length, client.cc, client.rc);
        if (committed) {
            client.expectOk("_ZTGET after commit");
            if (length.x != data.length) {
                Soak.fail("_ZTGET after commit returned " + length.x + " bytes, not " + data.length);
            }
        } else {
            client.expect("_ZTGET after rollback", Client.FAILED, Client.NO_MSG_AVAILABLE);
        }
    }

    private static void expect(String call, int code, int expected) {
        if (code != expected) {
            Soak.fail(call + " returned " + code + ", not " + expected);
        }
    }
}
