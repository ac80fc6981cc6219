package com.zel.ztservices;

/** A trace class without "isOn": the natives cannot tell whether to trace. */
public class Trace {
    public static void entry(String className, String methodName) {
    }

    public static void exit(String className, String methodName) {
    }

    public static void trace(int level, String methodName, String text) {
    }
}
