package com.zel.zt;

/**
 * A response-record class that lacks "reason". It lives in a jar of its own,
 * loaded by a class loader of its own, beside the host's class of that name.
 */
public class ZTResponseRecord {
    public int completionCode;
}
