package sweeptest;

import java.lang.reflect.Field;
import java.lang.reflect.Modifier;

/** What a hostile queue manager's answer left in an object's string fields. */
public class Strings {
    /** The longest string in the instance fields of o (its superclasses too); -1 when none. */
    public static int longest(Object o) throws Exception {
        int max = -1;
        for (Class<?> c = o.getClass(); c != null; c = c.getSuperclass()) {
            for (Field f : c.getDeclaredFields()) {
                if (f.getType() != String.class || Modifier.isStatic(f.getModifiers())) continue;
                f.setAccessible(true);
                String s = (String) f.get(o);
                if (s != null) max = Math.max(max, s.length());
            }
        }
        return max;
    }
}
