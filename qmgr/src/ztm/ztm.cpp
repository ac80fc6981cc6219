// The exported verbs of ztm.h: each hands its arguments to the engine.
#include <cstdio>
#include <exception>

#include "engine.h"

namespace v = ztmeng::verbs;

namespace {

// Nothing C++ leaves a verb: a failure inside (no memory) is its failure.
template <typename Verb>
void guarded(const char* name, ZTLONG* compCode, ZTLONG* reason, Verb&& verb) noexcept {
    try {
        verb();
        return;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected failure\n", name);
    }
    if (compCode != nullptr) *compCode = ZTCC_FAILED;
    if (reason != nullptr) *reason = ZTRC_UNEXPECTED_ERROR;
}

}  // namespace

extern "C" {

void ZTCONN(char* qmgrName, ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTCONN", compCode, reason, [&] {
        v::ZTCONN(qmgrName, hconn, compCode, reason);
    });
}

void ZTCONNX(char* qmgrName, ZTCNO* connectOptions, ZTLONG* hconn, ZTLONG* compCode,
             ZTLONG* reason) {
    guarded("ZTCONNX", compCode, reason, [&] {
        v::ZTCONNX(qmgrName, connectOptions, hconn, compCode, reason);
    });
}

void lpiSPIZTConnect(char* qmgrName, ZTLCNO* spiConnect, ZTCNO* connectOptions, ZTLONG* hconn,
                     ZTLONG* compCode, ZTLONG* reason) {
    guarded("lpiSPIZTConnect", compCode, reason, [&] {
        v::lpiSPIZTConnect(qmgrName, spiConnect, connectOptions, hconn, compCode, reason);
    });
}

void ZTDISC(ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTDISC", compCode, reason, [&] {
        v::ZTDISC(hconn, compCode, reason);
    });
}

void ZTBEGIN(ZTLONG hconn, ZTBO* beginOptions, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTBEGIN", compCode, reason, [&] {
        v::ZTBEGIN(hconn, beginOptions, compCode, reason);
    });
}

void ZTCMIT(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTCMIT", compCode, reason, [&] {
        v::ZTCMIT(hconn, compCode, reason);
    });
}

void ZTBACK(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTBACK", compCode, reason, [&] {
        v::ZTBACK(hconn, compCode, reason);
    });
}

void ZTOPEN(ZTLONG hconn, ZTOD* objDesc, ZTLONG options, ZTLONG* hobj, ZTLONG* compCode,
            ZTLONG* reason) {
    guarded("ZTOPEN", compCode, reason, [&] {
        v::ZTOPEN(hconn, objDesc, options, hobj, compCode, reason);
    });
}

void ZTCLOSE(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTCLOSE", compCode, reason, [&] {
        v::ZTCLOSE(hconn, hobj, options, compCode, reason);
    });
}

void ZTINQ(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTINQ", compCode, reason, [&] {
        v::ZTINQ(hconn, hobj, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
                 charAttrs, compCode, reason);
    });
}

void ZTSET(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTSET", compCode, reason, [&] {
        v::ZTSET(hconn, hobj, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
                 charAttrs, compCode, reason);
    });
}

void ZTPUT(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
           void* data, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTPUT", compCode, reason, [&] {
        v::ZTPUT(hconn, hobj, msgDesc, putOptions, dataLength, data, compCode, reason);
    });
}

void ZTPUT1(ZTLONG hconn, ZTOD* objDesc, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
            void* data, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTPUT1", compCode, reason, [&] {
        v::ZTPUT1(hconn, objDesc, msgDesc, putOptions, dataLength, data, compCode, reason);
    });
}

void ZTGET(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTGMO* getOptions, ZTLONG bufferLength,
           void* buffer, ZTLONG* dataLength, ZTLONG* compCode, ZTLONG* reason) {
    guarded("ZTGET", compCode, reason, [&] {
        v::ZTGET(hconn, hobj, msgDesc, getOptions, bufferLength, buffer, dataLength, compCode,
                 reason);
    });
}

void lpiSPIPut(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
               void* data, ZTLPOP* spiPutOptions, ZTLONG* compCode, ZTLONG* reason) {
    guarded("lpiSPIPut", compCode, reason, [&] {
        v::lpiSPIPut(hconn, hobj, msgDesc, putOptions, dataLength, data, spiPutOptions, compCode,
                     reason);
    });
}

void lpiSPIActivateMessage(ZTLONG hconn, ZTLACT* activate, ZTLONG* compCode, ZTLONG* reason) {
    guarded("lpiSPIActivateMessage", compCode, reason, [&] {
        v::lpiSPIActivateMessage(hconn, activate, compCode, reason);
    });
}

}  // extern "C"
