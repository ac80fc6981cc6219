// The exported verbs of ztm.h: each hands its arguments to the engine.
#include "engine.h"

namespace v = ztmeng::verbs;

extern "C" {

void ZTCONN(char* qmgrName, ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTCONN(qmgrName, hconn, compCode, reason);
}

void ZTCONNX(char* qmgrName, ZTCNO* connectOptions, ZTLONG* hconn, ZTLONG* compCode,
             ZTLONG* reason) {
    v::ZTCONNX(qmgrName, connectOptions, hconn, compCode, reason);
}

void lpiSPIZTConnect(char* qmgrName, ZTLCNO* spiConnect, ZTCNO* connectOptions, ZTLONG* hconn,
                     ZTLONG* compCode, ZTLONG* reason) {
    v::lpiSPIZTConnect(qmgrName, spiConnect, connectOptions, hconn, compCode, reason);
}

void ZTDISC(ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTDISC(hconn, compCode, reason);
}

void ZTBEGIN(ZTLONG hconn, ZTBO* beginOptions, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTBEGIN(hconn, beginOptions, compCode, reason);
}

void ZTCMIT(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTCMIT(hconn, compCode, reason);
}

void ZTBACK(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTBACK(hconn, compCode, reason);
}

void ZTOPEN(ZTLONG hconn, ZTOD* objDesc, ZTLONG options, ZTLONG* hobj, ZTLONG* compCode,
            ZTLONG* reason) {
    v::ZTOPEN(hconn, objDesc, options, hobj, compCode, reason);
}

void ZTCLOSE(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTCLOSE(hconn, hobj, options, compCode, reason);
}

void ZTINQ(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    v::ZTINQ(hconn, hobj, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
             charAttrs, compCode, reason);
}

void ZTSET(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    v::ZTSET(hconn, hobj, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
             charAttrs, compCode, reason);
}

void ZTPUT(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
           void* data, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTPUT(hconn, hobj, msgDesc, putOptions, dataLength, data, compCode, reason);
}

void ZTPUT1(ZTLONG hconn, ZTOD* objDesc, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
            void* data, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTPUT1(hconn, objDesc, msgDesc, putOptions, dataLength, data, compCode, reason);
}

void ZTGET(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTGMO* getOptions, ZTLONG bufferLength,
           void* buffer, ZTLONG* dataLength, ZTLONG* compCode, ZTLONG* reason) {
    v::ZTGET(hconn, hobj, msgDesc, getOptions, bufferLength, buffer, dataLength, compCode,
             reason);
}

void lpiSPIPut(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
               void* data, ZTLPOP* spiPutOptions, ZTLONG* compCode, ZTLONG* reason) {
    v::lpiSPIPut(hconn, hobj, msgDesc, putOptions, dataLength, data, spiPutOptions, compCode,
                 reason);
}

void lpiSPIActivateMessage(ZTLONG hconn, ZTLACT* activate, ZTLONG* compCode, ZTLONG* reason) {
    v::lpiSPIActivateMessage(hconn, activate, compCode, reason);
}

}  // extern "C"
