package zt.selftest;

/** Fields and methods of every kind the harness helpers touch. */
public class Holder {
    public int i;
    public boolean flag;
    public char c;
    public String s;
    public byte[] bytes;
    public Object any;
    public static int counter = 5;

    public Holder() {
    }

    public Holder(int i, String s) {
        this.i = i;
        this.s = s;
    }

    public static int add(int a, int b) {
        return a + b;
    }

    public int times(int k) {
        return i * k;
    }

    public void bump(int by) {
        i += by;
    }

    public static void say(String text) {
        System.out.println(text);
    }

    public static void fail(String message) {
        throw new IllegalStateException(message);
    }
}
