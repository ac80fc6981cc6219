package com.zel.ztservices;

import java.util.ArrayList;
import java.util.List;

/**
 * The client's trace facility. The natives ask {@link #isOn()} at every verb and,
 * while it is on, send their lines here. Lines are kept in memory and can also be
 * printed to standard error.
 */
public class Trace {
    private static volatile boolean on;
    private static volatile boolean print;
    private static volatile boolean keep = true;
    private static final List<String> lines = new ArrayList<>();

    public static boolean isOn() {
        return on;
    }

    public static void setOn(boolean value) {
        on = value;
    }

    /** Also print every line to standard error. */
    public static void setPrint(boolean value) {
        print = value;
    }

    /** Keep lines in memory (the default); off discards them, for measurements. */
    public static void setKeep(boolean value) {
        keep = value;
    }

    public static void entry(String className, String methodName) {
        record("entry " + className + " " + methodName);
    }

    public static void exit(String className, String methodName) {
        record("exit " + className + " " + methodName);
    }

    public static void trace(String methodName, String text) {
        record("trace " + methodName + " " + text);
    }

    public static void trace(int level, String methodName, String text) {
        record("trace" + level + " " + methodName + " " + text);
    }

    private static void record(String line) {
        if (keep) {
            synchronized (lines) {
                lines.add(line);
            }
        }
        if (print) {
            System.err.println("[trace] " + line);
        }
    }

    public static List<String> lines() {
        synchronized (lines) {
            return new ArrayList<>(lines);
        }
    }

    public static void clear() {
        synchronized (lines) {
            lines.clear();
        }
    }
}
