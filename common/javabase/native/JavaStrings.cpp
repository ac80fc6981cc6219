#include "JavaStrings.h"

#include <cstring>
#include <vector>

#include "CheckedJni.h"

namespace {

bool continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed modified UTF-8 sequence at p (1 to 3), or 0. Its
// two-byte form includes C0 80, its NUL; its three-byte form includes the
// surrogates, by which it encodes characters beyond the first plane.
size_t modifiedSequence(const unsigned char* p) {
    const unsigned char b = p[0];
    if (b >= 0x01 && b <= 0x7F) {
        return 1;
    }
    if (b == 0xC0) {
        return p[1] == 0x80 ? 2 : 0;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        return continuation(p[1]) ? 2 : 0;
    }
    if (b >= 0xE0 && b <= 0xEF) {
        // E0 with a second byte below A0 would be an overlong form.
        if (!continuation(p[1]) || (b == 0xE0 && p[1] < 0xA0) || !continuation(p[2])) {
            return 0;
        }
        return 3;
    }
    return 0;
}

// A standard UTF-8 four-byte sequence (U+10000 to U+10FFFF) at p, as a code
// point, or 0 when there is none.
unsigned long fourByteSequence(const unsigned char* p) {
    const unsigned char b = p[0];
    if (b < 0xF0 || b > 0xF4 || !continuation(p[1]) || !continuation(p[2]) ||
        !continuation(p[3])) {
        return 0;
    }
    if ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F)) {
        return 0;
    }
    return (static_cast<unsigned long>(b & 0x07) << 18) |
           (static_cast<unsigned long>(p[1] & 0x3F) << 12) |
           (static_cast<unsigned long>(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
}

}  // namespace

bool isModifiedUtf8(const char* bytes) {
    auto p = reinterpret_cast<const unsigned char*>(bytes);
    while (*p != 0) {
        // Plain ASCII, the usual case, one test a byte.
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const size_t n = modifiedSequence(p);
        if (n == 0) {
            return false;
        }
        p += n;
    }
    return true;
}

jstring newJavaString(JNIEnv* env, const char* bytes) {
    if (isModifiedUtf8(bytes)) {
        return checked::newStringUtf(env, bytes);
    }
    auto p = reinterpret_cast<const unsigned char*>(bytes);
    std::vector<jchar> chars;
    chars.reserve(std::strlen(bytes));
    while (*p != 0) {
        const size_t n = modifiedSequence(p);
        if (n == 1) {
            chars.push_back(*p);
        } else if (n == 2) {
            chars.push_back(static_cast<jchar>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F)));
        } else if (n == 3) {
            chars.push_back(
                static_cast<jchar>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
        } else if (const unsigned long code = fourByteSequence(p)) {
            const unsigned long offset = code - 0x10000;
            chars.push_back(static_cast<jchar>(0xD800 + (offset >> 10)));
            chars.push_back(static_cast<jchar>(0xDC00 + (offset & 0x3FF)));
            p += 4;
            continue;
        } else {
            chars.push_back(0xFFFD);
            p += 1;
            continue;
        }
        p += n;
    }
    return checked::newString(env, chars.data(), static_cast<jsize>(chars.size()));
}
