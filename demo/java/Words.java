/** Completion codes and the stand-in queue manager's reasons in plain words. */
final class Words {
    private Words() {
    }

    static String compCode(int cc) {
        switch (cc) {
            case 0: return "ok";
            case 1: return "warning";
            case 2: return "failed";
            default: return "unknown";
        }
    }

    static String reason(int reason) {
        switch (reason) {
            case 0: return "none";
            case 2195: return "unexpected error";
            case 3001: return "not supported yet";
            case 3002: return "connection handle not valid";
            case 3003: return "object handle not valid";
            case 3004: return "queue manager name not valid";
            case 3005: return "record not valid";
            case 3006: return "options not valid";
            case 3007: return "no unit of work";
            case 3008: return "already connected";
            case 3009: return "not open for input";
            case 3010: return "not open for output";
            case 3011: return "not open for inquire";
            case 3012: return "not open for set";
            case 3013: return "unknown object name";
            case 3014: return "object type not valid";
            case 3015: return "selector not valid";
            case 3016: return "no message available";
            case 3017: return "truncated message accepted";
            case 3018: return "truncated message refused";
            case 3019: return "put inhibited";
            case 3020: return "get inhibited";
            case 3021: return "queue full";
            case 3022: return "data length not valid";
            case 3023: return "buffer not valid";
            case 3024: return "multiple reasons";
            case 3025: return "unknown message key";
            case 3026: return "action not valid";
            case 3027: return "character attribute length not valid";
            case 3028: return "integer attribute count not valid";
            case 3029: return "selector count not valid";
            case 3030: return "unit of work in progress";
            case 3031: return "unit of work belongs to an XA branch";
            case 3032: return "unknown object queue manager";
            case 3033: return "object name not valid";
            case 3034: return "object in use";
            case 3035: return "record count not valid";
            case 3036: return "attribute cannot be set";
            case 3037: return "attribute value not valid";
            case 3038: return "unit of work not active";
            case 3039: return "wait interval not valid";
            case 3040: return "buffer length not valid";
            case 3041: return "duplicate message key";
            default: return "reason " + reason;
        }
    }
}
