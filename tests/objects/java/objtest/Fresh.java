package objtest;

import java.io.InputStream;
import java.lang.invoke.MethodHandles;

/** Classes the bridge has never seen: each call defines a new one. */
public class Fresh {
    /** A new hidden class with the bytes of a class of this package. */
    public static Class<?> copyOf(String simpleName) throws Exception {
        try (InputStream in = Fresh.class.getResourceAsStream(simpleName + ".class")) {
            return MethodHandles.lookup().defineHiddenClass(in.readAllBytes(), true).lookupClass();
        }
    }

    /** A destination list whose response records are of a class never seen before. */
    public static com.zel.zt.ZTObjectDescriptor listWithFreshResponses(String[] names) throws Exception {
        com.zel.zt.ZTObjectDescriptor od = com.zel.zt.ZTObjectDescriptor.distributionList(names);
        Class<?> cls = copyOf("OwnResponse");
        for (int i = 0; i < names.length; i++) {
            od.responseRecords[i] = (com.zel.zt.ZTResponseRecord) cls.getDeclaredConstructor().newInstance();
            od.responseRecords[i].completionCode = -1;
            od.responseRecords[i].reason = -1;
        }
        return od;
    }
}
