package com.zel.zt.server;

import com.zel.zt.Pint;

/**
 * The session class of the server-bindings client. Its natives live in
 * libsessbridge (session verbs) and libdeferbridge (deferred messages); the
 * caller loads the libraries it needs.
 */
public class ZTSESSION {
    // Connection and unit of work
    public native void _ZTCONN(String qmgrName, Pint hconn, Pint compCode, Pint reason);

    public native void _ZTCONNX(String qmgrName, int options, Pint hconn, Pint compCode, Pint reason);

    public native int _spiConnect(String qmgrName, int options, Pint hconn, Pint compCode, Pint reason);

    public native void _ZTDISC(Pint hconn, Pint compCode, Pint reason);

    public native void _ZTBEGIN(int hconn, Object beginOptions, Pint compCode, Pint reason);

    public native void _ZTCMIT(int hconn, Pint compCode, Pint reason);

    public native void _ZTBACK(int hconn, Pint compCode, Pint reason);

    public native void _honourPVXInternal(Object unused, Pint compCode, Pint reason);

    public native int init_conversion();
}
