package com.zel.zt.server;

import com.zel.zt.Pint;
import com.zel.zt.ZTGetMessageOptions;
import com.zel.zt.ZTMessage;
import com.zel.zt.ZTMessageDescriptor;
import com.zel.zt.ZTObjectDescriptor;
import com.zel.zt.ZTPutMessageOptions;

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

    // Objects
    public native void _ZTOPEN(int hconn, ZTObjectDescriptor objDesc, int options, Pint hobj, Pint compCode,
            Pint reason);

    public native void _ZTCLOSE(int hconn, Pint hobj, int options, Pint compCode, Pint reason);

    public native void _ZTINQ(int hconn, int hobj, int selectorCount, int[] selectors, int intAttrCount,
            int[] intAttrs, int charAttrLength, byte[] charAttrs, Pint compCode, Pint reason);

    public native void _ZTSET(int hconn, int hobj, int selectorCount, int[] selectors, int intAttrCount,
            int[] intAttrs, int charAttrLength, byte[] charAttrs, Pint compCode, Pint reason);

    // Messages with descriptor objects
    public native void _ZTPUT(int hconn, int hobj, ZTMessageDescriptor msgDesc, ZTPutMessageOptions putOptions,
            int dataLength, byte[] data, Pint compCode, Pint reason);

    public native void _ZTPUT1(int hconn, ZTObjectDescriptor objDesc, ZTMessageDescriptor msgDesc,
            ZTPutMessageOptions putOptions, int dataLength, byte[] data, Pint compCode, Pint reason);

    public native void _ZTGET(int hconn, int hobj, ZTMessageDescriptor msgDesc, ZTGetMessageOptions getOptions,
            int bufferLength, byte[] buffer, Pint dataLength, Pint compCode, Pint reason);

    // Messages with message objects
    public native void _ZTPUTMSG2(int hconn, int hobj, ZTMessage message, ZTPutMessageOptions putOptions,
            int dataLength, byte[] data, Pint compCode, Pint reason);

    public native void _ZTPUT1MSG2(int hconn, ZTObjectDescriptor objDesc, ZTMessage message,
            ZTPutMessageOptions putOptions, int dataLength, byte[] data, Pint compCode, Pint reason);

    public native void _ZTGETMSG2(int hconn, int hobj, ZTMessage message, ZTGetMessageOptions getOptions,
            int bufferLength, byte[] buffer, Pint dataLength, Pint compCode, Pint reason);

    // Deferred messages (libdeferbridge)
    public native void _spiDefPut(int hconn, int hobj, ZTMessage message, ZTPutMessageOptions putOptions,
            int dataLength, byte[] data, Pint compCode, Pint reason);

    public native void _spiDefActivate(int hconn, byte[] messageKey, Pint compCode, Pint reason);

    public native void _spiDefCancel(int hconn, byte[] messageKey, Pint compCode, Pint reason);

    // Alternate forms that this platform does not support: they trace one line.
    public native int _ZTINQ(int hconn, int hobj, int selector, int value, Pint compCode, Pint reason);

    public native void _ZTSET(int hconn, int hobj, int selector, String value, int length, Pint compCode,
            Pint reason);
}
