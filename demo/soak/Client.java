import com.zel.zt.Pint;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.server.ZTSESSION;

/** One connection of the soak to the queue manager, and the checks every phase makes on a verb's outcome. */
final class Client {
    static final int INPUT_SHARED = 0x2;
    static final int OUTPUT = 0x10;
    static final int INQUIRE = 0x20;
    static final int SYNCPOINT = 0x2;

    static final int FAILED = 2;
    static final int BRIDGE_FAILURE = 2195;
    static final int HCONN_ERROR = 3002;
    static final int HOBJ_ERROR = 3003;
    static final int NO_MSG_AVAILABLE = 3016;

    final ZTSESSION session = new ZTSESSION();
    final Pint hconn = new Pint(-1);
    final Pint cc = new Pint();
    final Pint rc = new Pint();

    Client(String queueManager) {
        session._ZTCONN(queueManager, hconn, cc, rc);
        expectOk("_ZTCONN");
    }

    int open(String queue, int options) {
        Pint hobj = new Pint(-1);
        session._ZTOPEN(hconn.x, new ZTObjectDescriptor(queue), options, hobj, cc, rc);
        expectOk("_ZTOPEN " + queue);
        return hobj.x;
    }

    void disconnect() {
        session._ZTDISC(hconn, cc, rc);
        expectOk("_ZTDISC");
    }

    /** Before a verb: holders that no outcome leaves as they are. */
    void resetHolders() {
        cc.x = -1;
        rc.x = -1;
    }

    void expectOk(String verb) {
        expect(verb, 0, 0);
    }

    void expect(String verb, int compCode, int reason) {
        if (cc.x != compCode || rc.x != reason) {
            Soak.fail(verb + " ended with completion code " + cc.x + ", reason " + rc.x + ", not " + compCode
                    + "/" + reason);
        }
    }
}
