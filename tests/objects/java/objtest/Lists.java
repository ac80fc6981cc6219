package objtest;

import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTResponseRecord;
import java.util.Arrays;

/** Large destination lists, built and checked on the Java side (no local references piled up in C++). */
public class Lists {
    /** n destinations: the first n - 1 name the same queue, the last one an invalid name. */
    public static ZTObjectDescriptor sameQueueThenInvalid(int n, String queue) {
        String[] names = new String[n];
        Arrays.fill(names, queue);
        names[n - 1] = "BAD NAME";
        return ZTObjectDescriptor.distributionList(names);
    }

    /** How many response records hold exactly this completion code and reason. */
    public static int responsesWith(ZTObjectDescriptor od, int completionCode, int reason) {
        int n = 0;
        for (ZTResponseRecord r : od.responseRecords) {
            if (r != null && r.completionCode == completionCode && r.reason == reason) {
                n++;
            }
        }
        return n;
    }

    /** Loads a native library for the classes of the application class loader, as the host does. */
    public static void load(String path) {
        System.load(path);
    }
}
