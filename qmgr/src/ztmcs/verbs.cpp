// Recording and scripting of the object and message verbs; the work itself
// is in objects.cpp and messages.cpp.
#include "state.h"

namespace ztmeng {

size_t putMsgRecordSize(ZTLONG flags) {
    size_t n = 0;
    if (flags & ZTPMRF_MSG_ID) n += ZT_MSG_ID_LENGTH;
    if (flags & ZTPMRF_CORREL_ID) n += ZT_CORREL_ID_LENGTH;
    if (flags & ZTPMRF_GROUP_ID) n += ZT_GROUP_ID_LENGTH;
    if (flags & ZTPMRF_FEEDBACK) n += sizeof(ZTLONG);
    if (flags & ZTPMRF_ACCOUNTING_TOKEN) n += ZT_ACCOUNTING_TOKEN_LENGTH;
    return n;
}

namespace {

bool countFits(ZTLONG n) { return n >= 1 && n <= ZT_MAX_RECORDS; }

// The object descriptor and the arrays it points to, as they are on entry.
void recordObjectDescriptor(Call& call, const ZTOD* od, const char* responseName) {
    call.record("ZTOD", od, sizeof(ZTOD));
    if (od == nullptr || od->version < 2 || !countFits(od->recsPresent)) return;
    const size_t n = static_cast<size_t>(od->recsPresent);
    call.record("ZTOR[]", od->objectRecords, n * sizeof(ZTOR));
    call.record(responseName, od->responseRecords, n * sizeof(ZTRR));
}

void recordPutOptions(Call& call, const ZTPMO* pmo) {
    call.record("ZTPMO", pmo, sizeof(ZTPMO));
    if (pmo == nullptr || pmo->version < 2 || !countFits(pmo->recordCount)) return;
    const size_t n = static_cast<size_t>(pmo->recordCount);
    call.record("ZTPMR[]", pmo->putMsgRecords, n * putMsgRecordSize(pmo->putMsgRecordFields));
    call.record("ZTRR[]", pmo->responseRecords, n * sizeof(ZTRR));
}

void recordData(Call& call, const void* data, ZTLONG length) {
    if (length > 0 && length <= ZT_MAX_MESSAGE_LENGTH)
        call.record("data", data, static_cast<size_t>(length));
}

void recordAttributes(Call& call, ZTLONG selectorCount, const ZTLONG* selectors,
                      ZTLONG intAttrCount, const ZTLONG* intAttrs, ZTLONG charAttrLength,
                      const char* charAttrs) {
    // Bounded so that a wild count cannot make the recorder read far away.
    const ZTLONG kMaxRecorded = 1 << 20;
    // A selector count the queue manager refuses is not read at all.
    if (selectorCount > 0 && selectorCount <= ZT_MAX_SELECTORS)
        call.record("selectors", selectors, sizeof(ZTLONG) * static_cast<size_t>(selectorCount));
    if (intAttrCount > 0 && intAttrCount <= kMaxRecorded)
        call.record("intAttrs", intAttrs, sizeof(ZTLONG) * static_cast<size_t>(intAttrCount));
    if (charAttrLength > 0 && charAttrLength <= kMaxRecorded)
        call.record("charAttrs", charAttrs, static_cast<size_t>(charAttrLength));
}

using AttributeWork = void (*)(ZTLONG, ZTLONG, ZTLONG, ZTLONG*, ZTLONG, ZTLONG*, ZTLONG, char*,
                               ZTLONG&, ZTLONG&);

// ZTINQ and ZTSET take the same arguments.
void attributeVerb(const char* function, AttributeWork work, ZTLONG hconn, ZTLONG hobj,
                   ZTLONG selectorCount, ZTLONG* selectors, ZTLONG intAttrCount,
                   ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs, ZTLONG* compCode,
                   ZTLONG* reason) {
    Call call(function);
    call.arg("hconn", hconn).arg("hobj", hobj).arg("selectorCount", selectorCount)
        .arg("intAttrCount", intAttrCount).arg("charAttrLength", charAttrLength)
        .pointer("selectors", selectors).pointer("intAttrs", intAttrs)
        .pointer("charAttrs", charAttrs).pointer("compCode", compCode).pointer("reason", reason);
    recordAttributes(call, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
                     charAttrs);
    void* args[] = {&hconn, &hobj, &selectorCount, selectors, &intAttrCount, intAttrs,
                    &charAttrLength, charAttrs, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        work(hconn, hobj, selectorCount, selectors, intAttrCount, intAttrs, charAttrLength,
             charAttrs, cc, rc);
    });
}

}  // namespace

namespace verbs {

void ZTOPEN(ZTLONG hconn, ZTOD* objDesc, ZTLONG options, ZTLONG* hobj, ZTLONG* compCode,
            ZTLONG* reason) {
    Call call("ZTOPEN");
    call.arg("hconn", hconn).arg("options", options)
        .pointer("ZTOD", objDesc).pointer("hobj", hobj)
        .pointer("compCode", compCode).pointer("reason", reason);
    recordObjectDescriptor(call, objDesc, "ZTRR[]");
    void* args[] = {&hconn, objDesc, &options, hobj, compCode, reason};
    Outs outs;
    outs.hobj = hobj;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        workOpen(hconn, objDesc, options, hobj, cc, rc);
    });
}

void ZTCLOSE(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTCLOSE");
    call.arg("hconn", hconn);
    if (hobj != nullptr) call.arg("hobj", *hobj);
    call.arg("options", options).pointer("hobj", hobj)
        .pointer("compCode", compCode).pointer("reason", reason);
    void* args[] = {&hconn, hobj, &options, compCode, reason};
    Outs outs;
    outs.hobj = hobj;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        workClose(hconn, hobj, options, cc, rc);
    });
}

void ZTINQ(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    attributeVerb("ZTINQ", workInquire, hconn, hobj, selectorCount, selectors, intAttrCount,
                  intAttrs, charAttrLength, charAttrs, compCode, reason);
}

void ZTSET(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
           ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength, char* charAttrs,
           ZTLONG* compCode, ZTLONG* reason) {
    attributeVerb("ZTSET", workSet, hconn, hobj, selectorCount, selectors, intAttrCount,
                  intAttrs, charAttrLength, charAttrs, compCode, reason);
}

void ZTPUT(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
           void* data, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTPUT");
    call.arg("hconn", hconn).arg("hobj", hobj).arg("dataLength", dataLength)
        .pointer("ZTMD", msgDesc).pointer("ZTPMO", putOptions).pointer("data", data)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("ZTMD", msgDesc, sizeof(ZTMD));
    recordPutOptions(call, putOptions);
    recordData(call, data, dataLength);
    void* args[] = {&hconn, &hobj, msgDesc, putOptions, &dataLength, data, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        workPut(hconn, hobj, msgDesc, putOptions, dataLength, data, nullptr, cc, rc);
    });
}

void ZTPUT1(ZTLONG hconn, ZTOD* objDesc, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
            void* data, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTPUT1");
    call.arg("hconn", hconn).arg("dataLength", dataLength)
        .pointer("ZTOD", objDesc).pointer("ZTMD", msgDesc).pointer("ZTPMO", putOptions)
        .pointer("data", data).pointer("compCode", compCode).pointer("reason", reason);
    recordObjectDescriptor(call, objDesc, "ZTOD.ZTRR[]");
    call.record("ZTMD", msgDesc, sizeof(ZTMD));
    recordPutOptions(call, putOptions);
    recordData(call, data, dataLength);
    void* args[] = {&hconn, objDesc, msgDesc, putOptions, &dataLength, data, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        workPut1(hconn, objDesc, msgDesc, putOptions, dataLength, data, cc, rc);
    });
}

void ZTGET(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTGMO* getOptions, ZTLONG bufferLength,
           void* buffer, ZTLONG* dataLength, ZTLONG* compCode, ZTLONG* reason) {
    Call call("ZTGET");
    call.arg("hconn", hconn).arg("hobj", hobj).arg("bufferLength", bufferLength)
        .pointer("ZTMD", msgDesc).pointer("ZTGMO", getOptions).pointer("buffer", buffer)
        .pointer("dataLength", dataLength).pointer("compCode", compCode)
        .pointer("reason", reason)
        .record("ZTMD", msgDesc, sizeof(ZTMD))
        .record("ZTGMO", getOptions, sizeof(ZTGMO));
    void* args[] = {&hconn, &hobj, msgDesc, getOptions, &bufferLength, buffer, dataLength,
                    compCode, reason};
    Outs outs;
    outs.dataLength = dataLength;
    call.run(args, compCode, reason, outs, [&](ZTLONG& cc, ZTLONG& rc) {
        workGet(hconn, hobj, msgDesc, getOptions, bufferLength, buffer, dataLength, cc, rc);
    });
}

void lpiSPIPut(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions, ZTLONG dataLength,
               void* data, ZTLPOP* spiPutOptions, ZTLONG* compCode, ZTLONG* reason) {
    Call call("lpiSPIPut");
    call.arg("hconn", hconn).arg("hobj", hobj).arg("dataLength", dataLength)
        .pointer("ZTMD", msgDesc).pointer("ZTPMO", putOptions).pointer("data", data)
        .pointer("ZTLPOP", spiPutOptions).pointer("compCode", compCode)
        .pointer("reason", reason)
        .record("ZTMD", msgDesc, sizeof(ZTMD));
    recordPutOptions(call, putOptions);
    recordData(call, data, dataLength);
    call.record("ZTLPOP", spiPutOptions, sizeof(ZTLPOP));
    void* args[] = {&hconn, &hobj, msgDesc, putOptions, &dataLength, data, spiPutOptions,
                    compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        if (spiPutOptions == nullptr ||
            !eyeCatcherIs(spiPutOptions->eyeCatcher, ZTLPOP_EYE_CATCHER)) {
            std::lock_guard<std::mutex> lock(engine().mu);
            return fail(cc, rc, findConn(hconn) ? ZTRC_RECORD_ERROR : ZTRC_HCONN_ERROR);
        }
        workPut(hconn, hobj, msgDesc, putOptions, dataLength, data, spiPutOptions, cc, rc);
    });
}

void lpiSPIActivateMessage(ZTLONG hconn, ZTLACT* activate, ZTLONG* compCode, ZTLONG* reason) {
    Call call("lpiSPIActivateMessage");
    call.arg("hconn", hconn).pointer("ZTLACT", activate)
        .pointer("compCode", compCode).pointer("reason", reason)
        .record("ZTLACT", activate, sizeof(ZTLACT));
    void* args[] = {&hconn, activate, compCode, reason};
    call.run(args, compCode, reason, Outs(), [&](ZTLONG& cc, ZTLONG& rc) {
        workActivate(hconn, activate, cc, rc);
    });
}

}  // namespace verbs
}  // namespace ztmeng
