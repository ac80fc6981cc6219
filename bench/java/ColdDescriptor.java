import com.zel.zt.ZTMessageDescriptor;

/**
 * A descriptor class the bridge has not met: the benchmark defines it afresh in
 * a class loader of its own for each round of the member cache's cold start.
 */
public class ColdDescriptor extends ZTMessageDescriptor {
    public ColdDescriptor() {
        super(2);
    }
}
