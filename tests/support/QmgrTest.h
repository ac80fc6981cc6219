// Shared fixture and helpers of the queue manager tests.
#ifndef QMGR_TEST_H
#define QMGR_TEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ztm.h"
#include "ztm_control.h"

// A 48-byte name field, NUL padded (or blank padded when asked).
struct NameField {
    char bytes[48];
    explicit NameField(const std::string& s, char pad = '\0') {
        std::memset(bytes, pad, sizeof bytes);
        std::memcpy(bytes, s.data(), s.size() < sizeof bytes ? s.size() : sizeof bytes);
    }
};

struct Result {
    ZTLONG cc = -1;
    ZTLONG rc = -1;
};

class QmgrTest : public ::testing::Test {
protected:
    void SetUp() override { ztmctl::reset(); }
    void TearDown() override { ztmctl::reset(); }

    // Connects to the default queue manager; fails the test otherwise.
    ZTLONG connect(const std::string& name = "") {
        NameField n(name);
        ZTLONG h = 0;
        Result r;
        ZTCONN(n.bytes, &h, &r.cc, &r.rc);
        EXPECT_EQ(r.cc, ZTCC_OK);
        EXPECT_EQ(r.rc, ZTRC_NONE);
        return h;
    }
};

inline ZTBO beginOptions() {
    ZTBO bo;
    std::memcpy(bo.eyeCatcher, ZTBO_EYE_CATCHER, 4);
    bo.version = 1;
    bo.options = 0;
    return bo;
}

inline ZTCNO connectOptions(ZTLONG options = 0) {
    ZTCNO cno;
    std::memcpy(cno.eyeCatcher, ZTCNO_EYE_CATCHER, 4);
    cno.version = 1;
    cno.options = options;
    return cno;
}

inline ZTLCNO spiConnectRecord() {
    ZTLCNO l;
    std::memset(&l, 0, sizeof l);
    std::memcpy(l.eyeCatcher, ZTLCNO_EYE_CATCHER, 4);
    l.version = 2;
    l.word8 = 0x80;
    l.word16 = -1;
    l.word140 = -1;
    return l;
}

inline ZTOD objectDescriptor(const std::string& name, ZTLONG version = 1) {
    ZTOD od;
    std::memset(&od, 0, sizeof od);
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, 4);
    od.version = version;
    od.objectType = ZTOT_Q;
    std::memcpy(od.objectName, name.data(), name.size() < 48 ? name.size() : 48);
    return od;
}

inline ZTOR objectRecord(const std::string& name, const std::string& qmgr = "") {
    ZTOR r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.objectName, name.data(), name.size() < 48 ? name.size() : 48);
    std::memcpy(r.objectQMgrName, qmgr.data(), qmgr.size() < 48 ? qmgr.size() : 48);
    return r;
}

// Opens a queue on hconn; fails the test unless cc 0.
inline ZTLONG openQueue(ZTLONG hconn, const std::string& name, ZTLONG options) {
    ZTOD od = objectDescriptor(name);
    ZTLONG hobj = 0, cc = -1, rc = -1;
    ZTOPEN(hconn, &od, options, &hobj, &cc, &rc);
    EXPECT_EQ(cc, ZTCC_OK) << name;
    EXPECT_EQ(rc, ZTRC_NONE) << name;
    return hobj;
}

inline ZTMD messageDescriptor(ZTLONG version = 2) {
    ZTMD md;
    std::memset(&md, 0, sizeof md);
    std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
    md.version = version;
    return md;
}

inline ZTPMO putOptions(ZTLONG options = 0, ZTLONG version = 1) {
    ZTPMO pmo;
    std::memset(&pmo, 0, sizeof pmo);
    std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
    pmo.version = version;
    pmo.options = options;
    return pmo;
}

inline ZTGMO getOptions(ZTLONG options = 0, ZTLONG waitInterval = 0, ZTLONG version = 1) {
    ZTGMO gmo;
    std::memset(&gmo, 0, sizeof gmo);
    std::memcpy(gmo.eyeCatcher, ZTGMO_EYE_CATCHER, 4);
    gmo.version = version;
    gmo.options = options;
    gmo.waitInterval = waitInterval;
    return gmo;
}

// Puts text with a persistence; returns the descriptor as the put left it.
inline ZTMD putMessage(ZTLONG hconn, ZTLONG hobj, const std::string& text, ZTLONG options,
                       ZTLONG persistence, Result& r) {
    ZTMD md = messageDescriptor();
    md.persistence = persistence;
    ZTPMO pmo = putOptions(options);
    ZTPUT(hconn, hobj, &md, &pmo, static_cast<ZTLONG>(text.size()),
          const_cast<char*>(text.data()), &r.cc, &r.rc);
    return md;
}

// Puts text, not persistent; returns the descriptor as the put left it.
inline ZTMD putText(ZTLONG hconn, ZTLONG hobj, const std::string& text, ZTLONG options = 0,
                    Result* out = nullptr) {
    Result r;
    const ZTMD md = putMessage(hconn, hobj, text, options, ZTPER_NOT_PERSISTENT, r);
    if (out != nullptr)
        *out = r;
    else
        EXPECT_EQ(r.cc, ZTCC_OK) << r.rc;
    return md;
}

// Gets one message as text ("" and the result when there is none).
struct Got {
    Result r;
    std::string text;
    ZTLONG length = -1;
    ZTMD md = messageDescriptor();
    ZTGMO gmo = getOptions();
};

inline Got getText(ZTLONG hconn, ZTLONG hobj, ZTLONG options = 0, ZTLONG waitInterval = 0,
                   size_t bufferLength = 1000) {
    Got g;
    g.gmo = getOptions(options, waitInterval);
    std::string buf(bufferLength, '\0');
    ZTGET(hconn, hobj, &g.md, &g.gmo, static_cast<ZTLONG>(bufferLength), &buf[0], &g.length,
          &g.r.cc, &g.r.rc);
    if (g.r.cc != ZTCC_FAILED && g.length >= 0)
        g.text = buf.substr(0, std::min(static_cast<size_t>(g.length), bufferLength));
    return g;
}

#endif
