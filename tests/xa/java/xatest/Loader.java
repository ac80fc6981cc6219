package xatest;

/**
 * Loads a native library for the classes of the application class loader
 * (the host classes among them), as the host does with System.loadLibrary.
 */
public class Loader {
    public static void load(String path) {
        System.load(path);
    }
}
