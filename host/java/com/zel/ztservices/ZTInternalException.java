package com.zel.ztservices;

import java.util.ArrayList;
import java.util.List;

/** The client's internal-exception logger: the natives report their own failures here. */
public class ZTInternalException {
    private static final List<String> logged = new ArrayList<>();
    private static volatile boolean print;

    public static void logZTInternalException(int probe, String message) {
        String entry = probe + " " + message;
        synchronized (logged) {
            logged.add(entry);
        }
        if (print) {
            System.err.println("[internal] probe " + entry);
        }
    }

    public static void setPrint(boolean value) {
        print = value;
    }

    /** Each logged call as "probe message". */
    public static List<String> logged() {
        synchronized (logged) {
            return new ArrayList<>(logged);
        }
    }

    public static void clear() {
        synchronized (logged) {
            logged.clear();
        }
    }
}
