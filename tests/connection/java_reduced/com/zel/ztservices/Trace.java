package com.zel.ztservices;

import java.util.ArrayList;
import java.util.List;

/** A trace class without "exit": the natives skip exit lines. */
public class Trace {
    private static volatile boolean on;
    private static final List<String> lines = new ArrayList<>();

    public static boolean isOn() {
        return on;
    }

    public static void setOn(boolean value) {
        on = value;
    }

    public static void entry(String className, String methodName) {
        record("entry " + className + " " + methodName);
    }

    public static void trace(String methodName, String text) {
        record("trace " + methodName + " " + text);
    }

    public static void trace(int level, String methodName, String text) {
        record("trace" + level + " " + methodName + " " + text);
    }

    private static void record(String line) {
        synchronized (lines) {
            lines.add(line);
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
