import com.zel.zt.ZTMessageDescriptor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.util.GregorianCalendar;

/**
 * A descriptor of a class that lacks a member, handed to a native where a
 * ZTMessageDescriptor is declared: what a client built against another
 * version of the host classes gives the bridge. Java's type rules forbid it,
 * so the reference is stored into a field of the declared type with
 * sun.misc.Unsafe (reached by reflection: no compile-time warning) and only
 * ever passed on to a native, never used as a descriptor in Java. The bridge
 * looks members up on the object's own class and must end the verb as its
 * own failure, with NoSuchFieldError pending.
 */
final class Forged {
    /** Every member a version-2 descriptor has, but "correlationId". */
    static final class NoCorrelationIdDescriptor {
        public int report;
        public int messageType = 8;
        public int expiry = -1;
        public int feedback;
        public int encoding = 546;
        public int characterSet = 1208;
        public String format = "";
        public int priority = -1;
        public int persistence = 2;
        public byte[] messageId = new byte[24];
        public int backoutCount;
        public String replyToQueueName = "";
        public String replyToQueueManagerName = "";
        public String userId = "";
        public byte[] accountingToken = new byte[32];
        public String applicationIdData = "";
        public int putApplicationType;
        public String putApplicationName = "";
        public String putDate = "";
        public String putTime = "";
        public String applicationOriginData = "";
        public GregorianCalendar putDateTime;
        public byte[] groupId = new byte[24];
        public int messageSequenceNumber = 1;
        public int offset;
        public int messageFlags;
        public int originalLength = -1;

        public int getVersion() {
            return 2;
        }

        public void setDateAndTime(int year, int month, int day, int hour, int minute, int second, int millis) {
        }
    }

    private static final class Slot {
        ZTMessageDescriptor descriptor;
    }

    private static final Object UNSAFE;
    private static final Method PUT_OBJECT;
    private static final long OFFSET;

    static {
        try {
            Class<?> unsafeClass = Class.forName("sun.misc.Unsafe");
            Field theUnsafe = unsafeClass.getDeclaredField("theUnsafe");
            theUnsafe.setAccessible(true);
            UNSAFE = theUnsafe.get(null);
            PUT_OBJECT = unsafeClass.getMethod("putObject", Object.class, long.class, Object.class);
            Method offset = unsafeClass.getMethod("objectFieldOffset", Field.class);
            OFFSET = (Long) offset.invoke(UNSAFE, Slot.class.getDeclaredField("descriptor"));
        } catch (ReflectiveOperationException e) {
            throw new ExceptionInInitializerError(e);
        }
    }

    private Forged() {
    }

    /** A new descriptor lacking "correlationId", typed as the host's descriptor. Pass it to a native only. */
    static ZTMessageDescriptor descriptorWithoutCorrelationId() throws ReflectiveOperationException {
        Slot slot = new Slot();
        PUT_OBJECT.invoke(UNSAFE, slot, OFFSET, new NoCorrelationIdDescriptor());
        return slot.descriptor;
    }
}
