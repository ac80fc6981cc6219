import com.zel.zt.Pint;
import com.zel.zt.server.ZTSESSION;

/** Connect three ways, commit one unit of work, back out another, disconnect. */
final class ConnectionDemo {
    private ConnectionDemo() {
    }

    static void run(ZTSESSION session) {
        Demo.section("Connections and units of work");
        Pint cc = new Pint();
        Pint rc = new Pint();

        Pint plain = new Pint(-99);
        session._ZTCONN("QM1", plain, cc, rc);
        Demo.outcome("_ZTCONN QM1", cc, rc, 0);
        Demo.note("connection handle " + plain.x);

        Pint withOptions = new Pint(-99);
        session._ZTCONNX("QM1", 0, withOptions, cc, rc);
        Demo.outcome("_ZTCONNX QM1", cc, rc, 0);
        Demo.note("connection handle " + withOptions.x);

        Pint spi = new Pint(-99);
        int spiResult = session._spiConnect("QM1", 0, spi, cc, rc);
        Demo.outcome("_spiConnect QM1", cc, rc, 0);
        Demo.note("connection handle " + spi.x + ", "
                + (spiResult == 1 ? "through the service-provider connect" : "through the ZTCONNX fallback"));

        session._ZTBEGIN(plain.x, null, cc, rc);
        Demo.outcome("_ZTBEGIN", cc, rc, 0);
        session._ZTCMIT(plain.x, cc, rc);
        Demo.outcome("_ZTCMIT (unit of work committed)", cc, rc, 0);

        session._ZTBEGIN(plain.x, null, cc, rc);
        Demo.outcome("_ZTBEGIN", cc, rc, 0);
        session._ZTBACK(plain.x, cc, rc);
        Demo.outcome("_ZTBACK (unit of work backed out)", cc, rc, 0);

        for (Pint handle : new Pint[] {plain, withOptions, spi}) {
            int before = handle.x;
            session._ZTDISC(handle, cc, rc);
            Demo.outcome("_ZTDISC " + before, cc, rc, 0);
            Demo.note("handle is now " + handle.x);
        }

        int stale = plain.x;
        session._ZTCMIT(stale, cc, rc);
        Demo.outcome("_ZTCMIT on a closed handle", cc, rc, 2);

        Pint missing = new Pint(-99);
        session._ZTCONN("NOSUCHQM", missing, cc, rc);
        Demo.outcome("_ZTCONN NOSUCHQM", cc, rc, 2);
        Demo.check(missing.x == -99, "the handle holder must keep its value after a failed connect");
    }
}
