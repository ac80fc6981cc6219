// A queue manager that answers every verb with hostile out values: every
// record the verb gets back filled with bytes 0x00, 0x80, 0xFF, 'A' (names
// without a NUL, counts and lengths zero, negative, huge) or INT_MAX words;
// scalar outputs (handles, data lengths, recover counts) zero, negative, one
// more than asked, INT_MAX. The verb must write nothing outside a Java array,
// raise nothing, and report what the queue manager answered.
#include "Natives.h"

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <iostream>
#include <map>

using namespace zt::test;
using namespace sweep;

namespace {

struct Pattern {
    const char* name;
    int fill;        // byte filling records; -1: INT_MAX in every word
    int64_t scalar;  // handles, lengths, counts; INT64_MIN: one more than asked
};

constexpr int64_t kOneMore = INT64_MIN;
const Pattern kPatterns[] = {
    {"zeros", 0x00, 0},        {"0x80 bytes", 0x80, -1},  {"0xFF bytes", 0xFF, INT_MIN},
    {"no NUL", 0x41, kOneMore}, {"INT_MAX", -1, INT_MAX},
};

void fill(void* p, size_t n, const Pattern& pat) {
    if (p == nullptr || n == 0) return;
    if (pat.fill >= 0) {
        std::memset(p, pat.fill, n);
        return;
    }
    const int32_t word = INT32_MAX;
    for (size_t i = 0; i + 4 <= n; i += 4) std::memcpy(static_cast<char*>(p) + i, &word, 4);
}

long pmrSize(ZTLONG fields) {
    return (fields & ZTPMRF_MSG_ID ? 24 : 0) + (fields & ZTPMRF_CORREL_ID ? 24 : 0) +
           (fields & ZTPMRF_GROUP_ID ? 24 : 0) + (fields & ZTPMRF_FEEDBACK ? 4 : 0) +
           (fields & ZTPMRF_ACCOUNTING_TOKEN ? 32 : 0);
}

// A record with its arrays: the arrays as the bridge passed them (their sizes
// from the counts it put in), then the record itself, pointers kept.
template <class Rec>
void fillRecord(Rec* r, const Pattern& pat) {
    fill(r, sizeof *r, pat);
}
void fillOD(ZTOD* od, const Pattern& pat) {
    if (od->version >= 2 && od->recsPresent > 0) {
        fill(od->responseRecords, size_t(od->recsPresent) * sizeof(ZTRR), pat);
    }
    ZTOR* records = od->objectRecords;
    ZTRR* responses = od->responseRecords;
    fill(od, sizeof *od, pat);
    od->objectRecords = records;
    od->responseRecords = responses;
}
void fillPMO(ZTPMO* pmo, const Pattern& pat) {
    if (pmo->version >= 2 && pmo->recordCount > 0) {
        fill(pmo->responseRecords, size_t(pmo->recordCount) * sizeof(ZTRR), pat);
        fill(pmo->putMsgRecords, size_t(pmo->recordCount) * size_t(pmrSize(pmo->putMsgRecordFields)), pat);
    }
    ZTBYTE* records = pmo->putMsgRecords;
    ZTRR* responses = pmo->responseRecords;
    fill(pmo, sizeof *pmo, pat);
    pmo->putMsgRecords = records;
    pmo->responseRecords = responses;
}

enum class Out { Long, DataLength, MD, GMO, PMO, OD, IntAttrs, CharAttrs, Xids };
struct Slot {
    int arg;
    Out kind;
    int countArg = -1;
};

// Where each queue manager function puts its outputs, by argument position.
const std::map<std::string, std::vector<Slot>>& outputs() {
    static const std::map<std::string, std::vector<Slot>> table = {
        {"ZTCONN", {{1, Out::Long}}},
        {"ZTCONNX", {{2, Out::Long}}},
        {"lpiSPIZTConnect", {{3, Out::Long}}},
        {"ZTDISC", {{0, Out::Long}}},
        {"ZTOPEN", {{1, Out::OD}, {3, Out::Long}}},
        {"ZTCLOSE", {{1, Out::Long}}},
        {"ZTINQ", {{5, Out::IntAttrs, 4}, {7, Out::CharAttrs, 6}}},
        {"ZTPUT", {{2, Out::MD}, {3, Out::PMO}}},
        {"ZTPUT1", {{1, Out::OD}, {2, Out::MD}, {3, Out::PMO}}},
        {"lpiSPIPut", {{2, Out::MD}, {3, Out::PMO}}},
        {"ZTGET", {{2, Out::MD}, {3, Out::GMO}, {6, Out::DataLength, 4}}},
        {"zstXARecover", {{0, Out::Xids, 1}}},
    };
    return table;
}

int32_t scalar(const Pattern& pat, int64_t asked) {
    return int32_t(pat.scalar == kOneMore ? asked + 1 : pat.scalar);
}

}  // namespace

void sweep::hostile(const std::string& function, void** args, int pattern) {
    const Pattern& pat = kPatterns[pattern];
    auto it = outputs().find(function);
    if (it == outputs().end()) return;
    for (const Slot& s : it->second) {
        void* p = args[s.arg];
        switch (s.kind) {
        case Out::Long: *static_cast<ZTLONG*>(p) = scalar(pat, *static_cast<ZTLONG*>(p)); break;
        case Out::DataLength: *static_cast<ZTLONG*>(p) = scalar(pat, *static_cast<ZTLONG*>(args[s.countArg])); break;
        case Out::MD: fillRecord(static_cast<ZTMD*>(p), pat); break;
        case Out::GMO: fillRecord(static_cast<ZTGMO*>(p), pat); break;
        case Out::PMO: fillPMO(static_cast<ZTPMO*>(p), pat); break;
        case Out::OD: fillOD(static_cast<ZTOD*>(p), pat); break;
        case Out::IntAttrs: fill(p, size_t(std::max<ZTLONG>(0, *static_cast<ZTLONG*>(args[s.countArg]))) * sizeof(ZTLONG), pat); break;
        case Out::CharAttrs: fill(p, size_t(std::max<ZTLONG>(0, *static_cast<ZTLONG*>(args[s.countArg]))), pat); break;
        case Out::Xids: fill(p, size_t(std::max(0L, *static_cast<long*>(args[s.countArg]))) * sizeof(XID), pat); break;
        }
    }
}

int sweep::hostilePatterns() { return int(std::size(kPatterns)); }

namespace {

class HostileQm : public ::testing::Test {
protected:
    void TearDown() override {
        ztmctl::clearScripts();
        ztmctl::reset();
    }
};

TEST_F(HostileQm, EveryVerbSurvivesHostileOutValues) {
    long runs = 0, bad = 0;
    size_t swept = 0;
    for (const Native& n : natives()) {
        if (n.kind == Kind::NoQm) continue;
        ++swept;
        for (const Shape& s : shapesOf(n, false)) {
            // Which queue manager function the verb ends in.
            std::string function;
            {
                LocalFrame frame(64);
                Call c = n.prepare(s);
                callNative([&] { c.run(env()); });
                ASSERT_EQ(takePendingException(), "") << n.name;
                ASSERT_GE(ztmctl::callCount(), 1u) << n.name;
                function = ztmctl::call(ztmctl::callCount() - 1).function;
            }
            for (const Pattern& pat : kPatterns) {
                for (int32_t cc : {0, 1}) {
                    ++runs;
                    LocalFrame frame(64);
                    Trace::setOn(s.trace);
                    Call c = n.prepare(s);
                    ztmctl::Answer a;
                    a.runReal = true;
                    a.compCode = cc;
                    a.reason = cc == 0 ? 0 : 2079;
                    const int32_t rv = n.name == std::string("xa_recover")
                                           ? (pat.scalar == kOneMore ? 5 : scalar(pat, 0))
                                           : scalar(pat, 0);
                    if (n.kind == Kind::XaReturn) a.returnValue = rv;
                    const int index = int(&pat - kPatterns);
                    a.hook = [function, index](void** args) { hostile(function, args, index); };
                    ztmctl::scriptNext(function, a);
                    JniProxy proxy;
                    callNative([&] { c.run(proxy.env()); });
                    Trace::setOn(false);
                    std::vector<std::string> v;
                    const std::string pending = takePendingException();
                    if (!pending.empty()) v.push_back("pending " + pending);
                    for (const auto& m : proxy.misuse()) v.push_back(m);
                    if (ztmctl::pendingScripts(function) != 0) v.push_back("the script was not used");
                    if (n.kind == Kind::Holders && (pintValue(c.cc) != a.compCode || pintValue(c.rc) != a.reason))
                        v.push_back("holders " + std::to_string(pintValue(c.cc)) + "/" + std::to_string(pintValue(c.rc)));
                    if (n.kind == Kind::XaReturn) {
                        const jint r = *c.result;
                        const jint len = c.xids ? env()->GetArrayLength(c.xids) : 0;
                        const bool ok = c.xids ? (r == std::min(rv, len) || r == XAER_RMERR || (rv < 0 && r == rv))
                                               : r == rv;
                        if (!ok) v.push_back("returned " + std::to_string(r) + " for " + std::to_string(rv));
                    }
                    for (jobject o : c.objects) {
                        const jint longest = callStaticInt("sweeptest/Strings", "longest", "(Ljava/lang/Object;)I", o);
                        if (longest > 48) v.push_back("a string of " + std::to_string(longest) + " characters");
                    }
                    if (c.buffer) {
                        const auto got = byteArrayValue(c.buffer);
                        const jint reported = pintValue(c.dataLength);
                        const jint received = std::max(0, std::min<jint>(reported, kBufferLength));
                        if (reported != scalar(pat, kBufferLength))
                            v.push_back("data length " + std::to_string(reported) + " reported");
                        for (jint i = received; i < kBufferLength; ++i)
                            if (got[size_t(i)] != kCanary) {
                                v.push_back("buffer written at " + std::to_string(i) + " beyond " + std::to_string(received));
                                break;
                            }
                    }
                    if (v.empty()) continue;
                    ++bad;
                    std::string what = std::string(n.name) + " [" + s.text() + "] " + pat.name + " cc " + std::to_string(cc) + ":";
                    for (const auto& line : v) what += "\n    " + line;
                    ADD_FAILURE() << what;
                }
            }
        }
    }
    std::cout << "hostile queue manager: " << swept << " natives, " << runs
              << " hostile answers (shapes x " << std::size(kPatterns) << " patterns x 2 completion codes), "
              << bad << " with violations\n";
}

}  // namespace
