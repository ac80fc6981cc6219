package zt.cache;

import java.io.File;
import java.io.InputStream;
import java.lang.invoke.MethodHandles;
import java.lang.ref.WeakReference;
import java.lang.reflect.Array;
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;

/** Classes the bridge has never seen, class loaders that can go away, and what objects hold. */
public class Classes {
    /** An instance of a new hidden class with the bytes of a class of this package. */
    public static Object fresh(String simpleName) throws Exception {
        try (InputStream in = Classes.class.getResourceAsStream(simpleName + ".class")) {
            Class<?> cls = MethodHandles.lookup().defineHiddenClass(in.readAllBytes(), true).lookupClass();
            return cls.getDeclaredConstructor().newInstance();
        }
    }

    /** A new instance of the same class as `o`. */
    public static Object another(Object o) throws Exception {
        return o.getClass().getDeclaredConstructor().newInstance();
    }

    /** An instance of `className` from `jar`, loaded by a loader of its own, and that loader weakly. */
    public static Object[] isolated(String jar, String className) throws Exception {
        URLClassLoader loader = new URLClassLoader(new URL[] {new File(jar).toURI().toURL()},
                Classes.class.getClassLoader());
        Object instance = loader.loadClass(className).getDeclaredConstructor().newInstance();
        return new Object[] {instance, new WeakReference<ClassLoader>(loader)};
    }

    /** Whether what `ref` refers to is collected within a few collections. */
    public static boolean collected(WeakReference<?> ref) throws InterruptedException {
        for (int i = 0; i < 20 && ref.get() != null; i++) {
            System.gc();
            Thread.sleep(20);
        }
        return ref.get() == null;
    }

    /** Every field of `o` and its superclasses, by declaring class, with values. */
    public static String describe(Object o) throws Exception {
        StringBuilder b = new StringBuilder();
        for (Class<?> c = o.getClass(); c != null && c != Object.class; c = c.getSuperclass()) {
            for (Field f : c.getDeclaredFields()) {
                if (Modifier.isStatic(f.getModifiers())) {
                    continue;
                }
                f.setAccessible(true);
                b.append(c.getSimpleName().replaceAll("/.*", "")).append('.').append(f.getName()).append('=');
                append(b, f.get(o));
                b.append('\n');
            }
        }
        return b.toString();
    }

    private static void append(StringBuilder b, Object v) throws Exception {
        if (v == null || !v.getClass().isArray()) {
            b.append(v instanceof java.util.Calendar ? ((java.util.Calendar) v).getTimeInMillis() : v);
            return;
        }
        b.append('[');
        for (int i = 0; i < Array.getLength(v); i++) {
            Object e = Array.get(v, i);
            if (e != null && !e.getClass().isArray() && e.getClass().getName().startsWith("com.zel")) {
                b.append('{').append(describe(e).replace('\n', ';')).append('}');
            } else {
                append(b, e);
            }
            b.append(',');
        }
        b.append(']');
    }
}
