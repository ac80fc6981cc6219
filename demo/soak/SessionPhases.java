import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessage;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;
import com.zel.zt.ZTResponseRecord;
import com.zel.zt.server.ZTSESSION;
import com.zel.ztservices.Trace;
import com.zel.ztservices.ZTInternalException;
import java.util.List;

/** The phases over libsessbridge: put/get pairs, traced message-object calls, calls that must fail. */
final class SessionPhases {
    private SessionPhases() {
    }

    private static byte[] pattern(int size) {
        byte[] data = new byte[size];
        for (int i = 0; i < size; i++) {
            data[i] = (byte) ('a' + i % 26);
        }
        return data;
    }

    /** A put and a get of the same message, with new descriptor objects each time as a client makes them. */
    static final class Pairs extends Phase {
        private final Client client;
        private final byte[] data;
        private final byte[] buffer;
        private final Pint length = new Pint();
        private int out;
        private int in;

        Pairs(Client client, long count, int size) {
            super("pairs", "put/get pairs of " + size + " bytes", count);
            this.client = client;
            data = pattern(size);
            buffer = new byte[size];
        }

        @Override
        void begin() {
            out = client.open("SOAK.Q", Client.OUTPUT);
            in = client.open("SOAK.Q", Client.INPUT_SHARED);
        }

        @Override
        void step(long n) {
            ZTSESSION s = client.session;
            s._ZTPUT(client.hconn.x, out, new ZTMessageDescriptor(), new ZTPutMessageOptions(), data.length, data,
                    client.cc, client.rc);
            client.expectOk("_ZTPUT");
            length.x = -1;
            s._ZTGET(client.hconn.x, in, new ZTMessageDescriptor(), new ZTGetMessageOptions(), buffer.length, buffer,
                    length, client.cc, client.rc);
            client.expectOk("_ZTGET");
            if (length.x != data.length || buffer[data.length - 1] != data[data.length - 1]) {
                Soak.fail("_ZTGET returned " + length.x + " bytes, not the " + data.length + " put");
            }
        }
    }

    /**
     * Message-object verbs with the trace on: a put, a get, a put-one and a get, each its own step. The trace
     * class keeps no lines meanwhile (Trace.setKeep(false)), so the Java heap does not fill with them and what
     * is measured is the bridge making its lines and handing them over.
     */
    static final class Messages extends Phase {
        private static final String QUEUE = "SOAK.MSG";

        private final Client client;
        private final byte[] data;
        private final byte[] buffer;
        private final Pint length = new Pint();
        private int out;
        private int in;

        Messages(Client client, long count, int size) {
            super("messages", "traced message-object calls (put, get, put-one, get) of " + size + " bytes",
                    count);
            this.client = client;
            data = pattern(size);
            buffer = new byte[size];
        }

        @Override
        void begin() {
            out = client.open(QUEUE, Client.OUTPUT);
            in = client.open(QUEUE, Client.INPUT_SHARED);
            Trace.setOn(true);
            // One pair before the count with the lines kept: they must reach the trace class.
            Trace.clear();
            Trace.setKeep(true);
            step(1);
            step(2);
            Trace.setKeep(false);
            List<String> lines = Trace.lines();
            Trace.clear();
            if (lines.stream().noneMatch(l -> l.contains("_ZTPUTMSG2"))
                    || lines.stream().noneMatch(l -> l.contains("_ZTGETMSG2"))) {
                Soak.fail("tracing is on but no line of _ZTPUTMSG2 and _ZTGETMSG2 reached the trace class ("
                        + lines.size() + " lines)");
            }
        }

        @Override
        void step(long n) {
            ZTSESSION s = client.session;
            switch ((int) (n % 4)) {
                case 1:
                    s._ZTPUTMSG2(client.hconn.x, out, new ZTMessage(), new ZTPutMessageOptions(), data.length, data,
                            client.cc, client.rc);
                    client.expectOk("_ZTPUTMSG2");
                    break;
                case 3:
                    s._ZTPUT1MSG2(client.hconn.x, new ZTObjectDescriptor(QUEUE), new ZTMessage(),
                            new ZTPutMessageOptions(), data.length, data, client.cc, client.rc);
                    client.expectOk("_ZTPUT1MSG2");
                    break;
                default:
                    get();
                    break;
            }
        }

        private void get() {
            length.x = -1;
            buffer[data.length - 1] = 0;
            client.session._ZTGETMSG2(client.hconn.x, in, new ZTMessage(), new ZTGetMessageOptions(), buffer.length,
                    buffer, length, client.cc, client.rc);
            client.expectOk("_ZTGETMSG2");
            if (length.x != data.length || buffer[data.length - 1] != data[data.length - 1]) {
                Soak.fail("_ZTGETMSG2 returned " + length.x + " bytes, not the " + data.length + " put");
            }
        }

        @Override
        void end() {
            Trace.setOn(false);
            // A count that stopped after a put leaves that message: take it.
            if (count % 2 == 1) {
                get();
            }
        }
    }

    /**
     * Calls that end in the bridge's failure (2/2195) or the queue manager's, several kinds in turn, each
     * checked for its completion code and reason, the exception it raises (none for most) and what it logs
     * to the internal-exception logger. The trace is on for every other round of kinds, so the failure
     * paths' trace lines are made too.
     */
    static final class Errors extends Phase {
        private static final String QUEUE = "SOAK.ERR";
        private static final int BAD_HANDLE = 0x7ffff00;

        private interface Call {
            void run() throws Exception;
        }

        private static final class Kind {
            final String name;
            final int reason;
            final Class<? extends Throwable> thrown;
            final String logged;
            final Call call;
            long made;

            Kind(String name, int reason, Class<? extends Throwable> thrown, String logged, Call call) {
                this.name = name;
                this.reason = reason;
                this.thrown = thrown;
                this.logged = logged;
                this.call = call;
            }
        }

        /** Put options that count one response record more than their array holds. */
        static final class OvercountedPutOptions extends ZTPutMessageOptions {
            OvercountedPutOptions() {
                super(2);
                responseRecords = new ZTResponseRecord[] {new ZTResponseRecord(), new ZTResponseRecord()};
            }

            @Override
            public int getNumResponseRecords() {
                return responseRecords.length + 1;
            }
        }

        /** A descriptor whose class cannot say its version: a host method that throws. */
        static final class VersionlessDescriptor extends ZTMessageDescriptor {
            @Override
            public int getVersion() {
                throw new IllegalStateException("no version");
            }
        }

        private final Client client;
        private final Kind[] kinds;
        private final byte[] data = pattern(64);
        private int out;
        private int in;

        Errors(Client client, long count) {
            super("errors", "calls that must fail", count);
            this.client = client;
            ZTSESSION s = client.session;
            Pint cc = client.cc;
            Pint rc = client.rc;
            Pint h = client.hconn;
            kinds = new Kind[] {
                new Kind("_ZTPUT1, descriptor class without correlationId", Client.BRIDGE_FAILURE,
                        NoSuchFieldError.class, "103 correlationId",
                        () -> s._ZTPUT1(h.x, new ZTObjectDescriptor(QUEUE), Forged.descriptorWithoutCorrelationId(),
                                new ZTPutMessageOptions(), data.length, data, cc, rc)),
                new Kind("_ZTPUT, null descriptor", Client.BRIDGE_FAILURE, null, null,
                        () -> s._ZTPUT(h.x, out, null, new ZTPutMessageOptions(), data.length, data, cc, rc)),
                new Kind("_ZTGET, null get options", Client.BRIDGE_FAILURE, null, null,
                        () -> s._ZTGET(h.x, in, new ZTMessageDescriptor(), null, data.length, new byte[data.length],
                                new Pint(-1), cc, rc)),
                new Kind("_ZTPUT, length beyond its array", Client.BRIDGE_FAILURE, null, null,
                        () -> s._ZTPUT(h.x, out, new ZTMessageDescriptor(), new ZTPutMessageOptions(),
                                data.length + 1, data, cc, rc)),
                new Kind("_ZTPUTMSG2, length beyond its array", Client.BRIDGE_FAILURE, null, null,
                        () -> s._ZTPUTMSG2(h.x, out, new ZTMessage(), new ZTPutMessageOptions(), data.length + 1,
                                data, cc, rc)),
                new Kind("_ZTINQ, 3 selectors in an array of 2", Client.BRIDGE_FAILURE, null, null,
                        () -> s._ZTINQ(h.x, in, 3, new int[] {3, 15}, 2, new int[2], 0, null, cc, rc)),
                new Kind("_ZTPUT, response records fewer than counted", Client.BRIDGE_FAILURE, null,
                        "103 responseRecords",
                        () -> s._ZTPUT(h.x, out, new ZTMessageDescriptor(), new OvercountedPutOptions(), data.length,
                                data, cc, rc)),
                new Kind("_ZTPUT, getVersion throws", Client.BRIDGE_FAILURE, IllegalStateException.class, null,
                        () -> s._ZTPUT(h.x, out, new VersionlessDescriptor(), new ZTPutMessageOptions(), data.length,
                                data, cc, rc)),
                new Kind("_ZTPUT, unknown object handle", Client.HOBJ_ERROR, null, null,
                        () -> s._ZTPUT(h.x, BAD_HANDLE, new ZTMessageDescriptor(), new ZTPutMessageOptions(),
                                data.length, data, cc, rc)),
                new Kind("_ZTGET, unknown connection handle", Client.HCONN_ERROR, null, null,
                        () -> s._ZTGET(BAD_HANDLE, in, new ZTMessageDescriptor(), new ZTGetMessageOptions(),
                                data.length, new byte[data.length], new Pint(-1), cc, rc)),
                // Also proves that none of the puts above reached the queue.
                new Kind("_ZTGETMSG2, empty queue", Client.NO_MSG_AVAILABLE, null, null,
                        () -> s._ZTGETMSG2(h.x, in, new ZTMessage(), new ZTGetMessageOptions(), data.length,
                                new byte[data.length], new Pint(-1), cc, rc)),
            };
        }

        @Override
        void begin() {
            out = client.open(QUEUE, Client.OUTPUT);
            in = client.open(QUEUE, Client.INPUT_SHARED | Client.INQUIRE);
            ZTInternalException.clear();
        }

        @Override
        void step(long n) throws Exception {
            long round = (n - 1) / kinds.length;
            Kind kind = kinds[(int) ((n - 1) % kinds.length)];
            Trace.setOn(round % 2 == 1);
            client.resetHolders();
            Throwable thrown = null;
            try {
                kind.call.run();
            } catch (Throwable t) {
                thrown = t;
            }
            if (kind.thrown == null ? thrown != null : !kind.thrown.isInstance(thrown)) {
                Soak.fail(kind.name + ": " + (thrown == null ? "nothing" : thrown.toString()) + " thrown, not "
                        + (kind.thrown == null ? "nothing" : kind.thrown.getName()));
            }
            client.expect(kind.name, Client.FAILED, kind.reason);
            List<String> logged = ZTInternalException.logged();
            boolean asExpected = kind.logged == null ? logged.isEmpty()
                                                     : logged.size() == 1 && logged.get(0).equals(kind.logged);
            if (!asExpected) {
                Soak.fail(kind.name + ": logged " + logged + ", not " + (kind.logged == null ? "nothing" : kind.logged));
            }
            if (!logged.isEmpty()) {
                ZTInternalException.clear();
            }
            kind.made++;
        }

        @Override
        void end() {
            Trace.setOn(false);
            for (Kind k : kinds) {
                System.out.printf("  %9d x %s -> 2/%d%s%n", k.made, k.name, k.reason,
                        k.thrown == null ? "" : ", " + k.thrown.getSimpleName() + " thrown");
            }
        }
    }
}
