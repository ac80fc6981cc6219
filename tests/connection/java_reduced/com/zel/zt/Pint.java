package com.zel.zt;

/** An integer holder whose field is not called "x": the natives cannot bind it. */
public class Pint {
    public int value;

    public Pint(int value) {
        this.value = value;
    }
}
