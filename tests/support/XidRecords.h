// XID records and recorded zstXA calls, for the XA tests.
#ifndef XA_TEST_XID_RECORDS_H
#define XA_TEST_XID_RECORDS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Bytes.h"
#include "xa_switch.h"
#include "ztm.h"
#include "ztm_control.h"
#include "ztm_xa_control.h"

// A record filled with fill everywhere, then the given parts.
inline XID makeXid(long format, const zt::test::Bytes& gtrid, const zt::test::Bytes& bqual,
                   uint8_t fill = 0)
{
    XID x;
    std::memset(&x, fill, sizeof x);
    x.formatID = format;
    x.gtrid_length = static_cast<long>(gtrid.size());
    x.bqual_length = static_cast<long>(bqual.size());
    if (!gtrid.empty()) {
        std::memcpy(x.data, gtrid.data(), gtrid.size());
    }
    if (!bqual.empty()) {
        std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
    }
    return x;
}

// A branch of test number n: gtrid "tx<n>", bqual "b<branch>".
inline XID branchXid(int n, int branch = 1)
{
    std::string g = "tx" + std::to_string(n);
    std::string b = "b" + std::to_string(branch);
    return makeXid(0x5a54, zt::test::Bytes(g.begin(), g.end()),
                   zt::test::Bytes(b.begin(), b.end()));
}

inline zt::test::Bytes gtridOf(const XID& x)
{
    return zt::test::Bytes(x.data, x.data + x.gtrid_length);
}

inline zt::test::Bytes bqualOf(const XID& x)
{
    return zt::test::Bytes(x.data + x.gtrid_length, x.data + x.gtrid_length + x.bqual_length);
}

// Same format, lengths and bytes within the lengths.
inline bool sameXid(const XID& a, const XID& b)
{
    return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length &&
           a.bqual_length == b.bqual_length &&
           std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// The recorded calls of one zstXA function; fails the test unless there is
// exactly one.
inline ztmctl::RecordedCall onlyCall(const std::string& function)
{
    auto calls = ztmctl::callsOf(function);
    EXPECT_EQ(calls.size(), 1u) << function;
    if (calls.empty()) {
        return ztmctl::RecordedCall{};
    }
    return calls.front();
}

inline std::string recordedString(const ztmctl::RecordedCall& call, const std::string& name)
{
    const auto& r = call.record(name);
    return std::string(r.begin(), r.end());
}

// The flags word as an entry receives it: the same bits in a long.
inline int64_t asFlags(uint32_t bits)
{
    return static_cast<int64_t>(static_cast<long>(static_cast<unsigned long>(bits)));
}

#endif  // XA_TEST_XID_RECORDS_H
