package sweeptest;

import java.lang.reflect.Array;
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.Random;

/**
 * Random values in the fields of an object graph a caller could set (public,
 * not final), from a seed. A private final field is the class's own promise
 * (a ZTXid's parts are never null): breaking it through reflection makes an
 * object no caller can pass.
 */
public class Scramble {
    private static final int[] INTS = {0, 1, 2, 3, -1, Integer.MAX_VALUE, Integer.MIN_VALUE, 48, 49, 65536};

    public static Object of(Object o, long seed) throws Exception {
        // An XID with odd parts comes from another class, whose parts are public.
        if (o instanceof com.zel.zt.ZTXid) o = new OddXid((com.zel.zt.ZTXid) o);
        fill(o, new Random(seed), 0);
        return o;
    }

    static String text(Random r) {
        int n = r.nextInt(8) == 0 ? 49 + r.nextInt(80) : r.nextInt(12);
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            switch (r.nextInt(6)) {
                case 0: b.append('\0'); break;
                case 1: b.append((char) (0xD800 + r.nextInt(0x800))); break; // lone surrogates
                case 2: b.append('\u00ff'); break;
                case 3: b.append("\uD83D\uDE00"); break;
                default: b.append((char) ('A' + r.nextInt(26)));
            }
        }
        return b.toString();
    }

    static Object element(Class<?> type, Random r, int depth) throws Exception {
        switch (r.nextInt(5)) {
            case 0: return null;
            case 1: {
                String hiding = type == com.zel.zt.ZTResponseRecord.class ? "HidingResponse"
                        : type == com.zel.zt.ZTObjectRecord.class ? "HidingRecord"
                        : type == com.zel.zt.ZTMessageTracker.class ? "HidingTracker" : null;
                if (hiding != null) return fill(Class.forName("sweeptest." + hiding).getDeclaredConstructor().newInstance(), r, depth + 1);
            }
            // fall through
            default:
                return fill(type.getDeclaredConstructor().newInstance(), r, depth + 1);
        }
    }

    static Object fill(Object o, Random r, int depth) throws Exception {
        for (Class<?> c = o.getClass(); c != null && c != Object.class; c = c.getSuperclass()) {
            for (Field f : c.getDeclaredFields()) {
                final int m = f.getModifiers();
                if (Modifier.isStatic(m) || Modifier.isFinal(m) || !Modifier.isPublic(m)) continue;
                if (r.nextInt(3) == 0) continue;
                f.setAccessible(true);
                Class<?> t = f.getType();
                if (t == int.class) f.setInt(o, r.nextBoolean() ? INTS[r.nextInt(INTS.length)] : r.nextInt());
                else if (t == long.class) f.setLong(o, r.nextLong());
                else if (t == boolean.class) f.setBoolean(o, r.nextBoolean());
                else if (t == String.class) f.set(o, r.nextInt(6) == 0 ? null : text(r));
                else if (t == byte[].class) {
                    if (r.nextInt(5) == 0) f.set(o, null);
                    else {
                        byte[] b = new byte[r.nextInt(8) == 0 ? 33 + r.nextInt(40) : r.nextInt(33)];
                        r.nextBytes(b);
                        f.set(o, b);
                    }
                } else if (t.isArray() && !t.getComponentType().isPrimitive() && depth == 0) {
                    if (r.nextInt(5) == 0) { f.set(o, null); continue; }
                    Object a = Array.newInstance(t.getComponentType(), r.nextInt(5));
                    for (int i = 0; i < Array.getLength(a); i++) Array.set(a, i, element(t.getComponentType(), r, depth));
                    f.set(o, a);
                }
            }
        }
        return o;
    }
}
