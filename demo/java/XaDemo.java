import com.zel.zt.ZTXid;
import com.zel.zt.server.ZTXAi;

import java.nio.charset.StandardCharsets;

/**
 * A Java transaction manager in miniature driving the queue manager through
 * the XA natives of libxabridge: a two-phase commit, a rolled-back branch,
 * and a branch left in doubt that recover lists until it is resolved.
 * Exits with 1 when a step does not end as expected.
 */
public class XaDemo {
    private static final int RMID = 1;
    private static int unexpected;

    public static void main(String[] args) {
        System.loadLibrary("xabridge");
        System.out.println("XA demo: a Java transaction manager through com.zel.zt.server.ZTXAi");
        String qmgr = args.length > 0 ? args[0] : "ZTQM";

        section("open the queue manager as resource manager " + RMID);
        step("xa_open_N(\"" + qmgr + "\")", ZTXAi.xa_open_N(qmgr, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);

        ZTXid committed = xid("order-1001", 1);
        section("two-phase commit of " + committed);
        step("xa_start_N", ZTXAi.xa_start_N(committed, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_end_N TMSUCCESS", ZTXAi.xa_end_N(committed, RMID, ZTXAi.TMSUCCESS), ZTXAi.XA_OK);
        step("xa_prepare_N", ZTXAi.xa_prepare_N(committed, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_commit_N", ZTXAi.xa_commit_N(committed, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_commit_N again", ZTXAi.xa_commit_N(committed, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XAER_NOTA);

        ZTXid rolledBack = xid("order-1002", 1);
        section("a branch that fails and is rolled back: " + rolledBack);
        step("xa_start_N", ZTXAi.xa_start_N(rolledBack, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_end_N TMFAIL", ZTXAi.xa_end_N(rolledBack, RMID, ZTXAi.TMFAIL), ZTXAi.XA_OK);
        step("xa_prepare_N", ZTXAi.xa_prepare_N(rolledBack, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_RBROLLBACK);
        step("xa_rollback_N", ZTXAi.xa_rollback_N(rolledBack, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XAER_NOTA);
        ZTXid undone = xid("order-1003", 1);
        step("xa_start_N " + undone, ZTXAi.xa_start_N(undone, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_end_N TMSUCCESS", ZTXAi.xa_end_N(undone, RMID, ZTXAi.TMSUCCESS), ZTXAi.XA_OK);
        step("xa_rollback_N", ZTXAi.xa_rollback_N(undone, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);

        ZTXid inDoubt = xid("order-1004", 2);
        section("a prepared branch left in doubt: " + inDoubt);
        step("xa_start_N", ZTXAi.xa_start_N(inDoubt, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        step("xa_end_N TMSUCCESS", ZTXAi.xa_end_N(inDoubt, RMID, ZTXAi.TMSUCCESS), ZTXAi.XA_OK);
        step("xa_prepare_N", ZTXAi.xa_prepare_N(inDoubt, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        note("... the transaction manager loses track of it; its recovery asks the queue manager:");
        ZTXid[] found = new ZTXid[8];
        int n = ZTXAi.xa_recover_N(found, RMID, ZTXAi.TMSTARTRSCAN | ZTXAi.TMENDRSCAN);
        listed("xa_recover_N TMSTARTRSCAN|TMENDRSCAN", n, 1);
        for (int i = 0; i < Math.max(n, 0); i++) {
            note("in doubt: " + found[i]);
        }
        check(n == 1 && inDoubt.equals(found[0]), "recover lists the prepared branch");
        if (n == 1) {
            step("xa_commit_N of the recovered XID", ZTXAi.xa_commit_N(found[0], RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);
        }
        listed("xa_recover_N again", ZTXAi.xa_recover_N(found, RMID, ZTXAi.TMSTARTRSCAN | ZTXAi.TMENDRSCAN), 0);

        section("close");
        step("xa_close_N(\"" + qmgr + "\")", ZTXAi.xa_close_N(qmgr, RMID, ZTXAi.TMNOFLAGS), ZTXAi.XA_OK);

        System.out.println();
        if (unexpected > 0) {
            System.out.println(unexpected + " step(s) did not end as expected");
            System.exit(1);
        }
        System.out.println("XA demo complete");
    }

    private static ZTXid xid(String gtrid, int branch) {
        return new ZTXid(0x5a54, gtrid.getBytes(StandardCharsets.US_ASCII), new byte[] {(byte) branch});
    }

    private static void section(String title) {
        System.out.println();
        System.out.println("== " + title);
    }

    private static void note(String text) {
        System.out.println("    " + text);
    }

    private static void step(String what, int code, int expected) {
        System.out.println(String.format("  %-40s -> %d (%s)", what, code, words(code)));
        check(code == expected, "expected " + expected + " (" + words(expected) + ")");
    }

    private static void listed(String what, int n, int expected) {
        System.out.println(String.format("  %-40s -> %d %s", what, n, n < 0 ? "(" + words(n) + ")" : "XID(s) in doubt"));
        check(n == expected, "expected " + expected + " XID(s)");
    }

    private static void check(boolean ok, String what) {
        if (!ok) {
            System.out.println("  ^ unexpected: " + what);
            unexpected++;
        }
    }

    private static String words(int code) {
        switch (code) {
            case ZTXAi.XA_OK: return "XA_OK";
            case ZTXAi.XA_RDONLY: return "XA_RDONLY";
            case ZTXAi.XA_RBROLLBACK: return "XA_RBROLLBACK";
            case ZTXAi.XAER_RMERR: return "XAER_RMERR";
            case ZTXAi.XAER_NOTA: return "XAER_NOTA";
            case ZTXAi.XAER_INVAL: return "XAER_INVAL";
            case ZTXAi.XAER_PROTO: return "XAER_PROTO";
            case ZTXAi.XAER_DUPID: return "XAER_DUPID";
            case -1: return "bridge failure";
            default: return "XA code";
        }
    }
}
