package com.zel.zt;

/** An integer holder: the natives write handles, completion codes and reasons into it. */
public class Pint {
    public int x;

    public Pint() {
    }

    public Pint(int x) {
        this.x = x;
    }

    @Override
    public String toString() {
        return Integer.toString(x);
    }
}
