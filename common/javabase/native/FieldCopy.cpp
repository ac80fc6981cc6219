#include "FieldCopy.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "CheckedJni.h"
#include "JniGuards.h"
#include "NativeTrace.h"

namespace {
// Characters read into a buffer on the stack up to this many; a longer
// string (longer than any native field) into one from the heap.
const jsize kStackCharacters = 128;

// The bytes the JVM wrote for `length` characters (UTF-16 units): one to three
// each, told by the first, in modified UTF-8; a JVM writing a pair of
// surrogates as one four-byte sequence is counted too. Never past `room`.
size_t utfRegionSize(const char* bytes, jsize length, size_t room) {
    size_t at = 0;
    for (jsize i = 0; i < length && at < room; ++i) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead >= 0xF0) {
            at += 4;
            ++i;
        } else {
            at += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
        }
    }
    return at < room ? at : room;
}
}  // namespace

bool copiedExactly(const char* bytes, int width) {
    size_t size = 0;
    for (; bytes[size] != '\0'; ++size) {
        if (static_cast<unsigned char>(bytes[size]) >= 0x80) {
            return false;
        }
    }
    return width > 0 && size < static_cast<size_t>(width);
}

bool copyStringRegion(JNIEnv* env, jobject obj, jfieldID id, char* destination, int width) {
    if (id == nullptr) {
        return false;
    }
    FramedRef<jstring> string(env, static_cast<jstring>(checked::getObjectField(env, obj, id)));
    if (string.get() == nullptr) {
        return false;
    }
    // Modified UTF-8 takes up to three bytes a character.
    const jsize length = checked::stringLength(env, string.get());
    const size_t room = 3 * static_cast<size_t>(length) + 1;
    char small[3 * kStackCharacters + 1];
    std::vector<char> large;
    char* bytes = small;
    if (length > kStackCharacters) {
        large.resize(room);
        bytes = large.data();
    }
    // An empty string has no characters to read.
    if (length > 0) {
        checked::stringUtfPrefix(env, string.get(), length, bytes);
    }
    const size_t size = utfRegionSize(bytes, length, room - 1);
    bytes[size] = '\0';
    // As ZTCopyString: with its NUL when shorter than the field, cut to the
    // width with no NUL otherwise.
    const size_t fieldWidth = width > 0 ? static_cast<size_t>(width) : 0;
    std::memcpy(destination, bytes, size >= fieldWidth ? fieldWidth : size + 1);
    return copiedExactly(bytes, width);
}

void copyByteArrayRegion(JNIEnv* env, jobject obj, jfieldID id, void* destination, int width) {
    if (id == nullptr) {
        return;
    }
    FramedRef<jbyteArray> array(env,
                                static_cast<jbyteArray>(checked::getObjectField(env, obj, id)));
    if (array.get() == nullptr) {
        return;
    }
    // As ZTCopyByteArray: min(array length, width) bytes.
    const jsize count =
        std::max<jsize>(0, std::min<jsize>(checked::arrayLength(env, array.get()), width));
    if (count > 0) {
        checked::byteArrayPrefix(env, array.get(), count, static_cast<jbyte*>(destination));
    }
}

jclass requireObjectClass(JNIEnv* env, jobject obj, const char* what) {
    if (obj == nullptr) {
        NativeTrace trace(env);
        trace.trace(2, what, "***********Null object");
        throw NativeError();
    }
    return checked::objectClass(env, obj);
}

void requireRecords(JNIEnv* env, jobjectArray array, jint count, const char* field) {
    if (array == nullptr || checked::arrayLength(env, array) < count) {
        NativeTrace trace(env);
        trace.trace(2, field, "***********Too few records");
        DoException(env, 2, 2195, 103, field);
    }
}
