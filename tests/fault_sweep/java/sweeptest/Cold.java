package sweeptest;

import java.io.InputStream;
import java.lang.invoke.MethodHandles;

/** Instances of classes the bridge has never seen: each call defines a new hidden copy. */
public class Cold {
    public static Object make(String simpleName) throws Exception {
        try (InputStream in = Cold.class.getResourceAsStream(simpleName + ".class")) {
            Class<?> cls = MethodHandles.lookup().defineHiddenClass(in.readAllBytes(), true).lookupClass();
            return cls.getDeclaredConstructor().newInstance();
        }
    }
}
