package zt.conntest;

/** One field of each kind the access helpers read and write. */
public class Fields {
    public int number;
    public char letter;
    public String text;
    public byte[] bytes;

    public Fields() {
    }

    public void touch() {
    }
}
