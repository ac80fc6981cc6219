#include "NativeUtil.h"

#include <algorithm>
#include <cstring>

#include "CheckedJni.h"
#include "InternalError.h"
#include "JavaStrings.h"
#include "NativeTrace.h"

namespace {
const int kStringFieldMax = 99;

// Unsigned values of the first three bytes. Only read while tracing is on: the
// array length costs a JNI call, and a shorter array has fewer lines.
void traceFirstBytes(JNIEnv* env, NativeTrace& trace, jbyteArray array, const jbyte* bytes) {
    if (!NativeTrace::isOn()) {
        return;
    }
    static const char* const labels[] = {"Byte 0", "Byte 1", "Byte 2"};
    jsize length = checked::arrayLength(env, array);
    for (jsize i = 0; i < 3 && i < length; ++i) {
        trace.trace(2, "GetByteArrayField", labels[i], static_cast<unsigned char>(bytes[i]));
    }
}

// Whether the string field already holds `text`, plain ASCII of `length`
// bytes: then it is left as it is (a string cannot change, so nobody can tell).
// A Java string of `length` characters holds that text exactly when its first
// `length` bytes of modified UTF-8 are it: any other character would put a
// byte of 0x80 or more among them. Any other text is stored afresh.
bool holdsAsciiText(JNIEnv* env, jobject obj, jfieldID id, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
    }
    FramedRef<jstring> held(env, static_cast<jstring>(checked::getObjectField(env, obj, id)));
    if (held.get() == nullptr ||
        checked::stringLength(env, held.get()) != static_cast<jsize>(length)) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    // Room for three bytes a character: the region is written whatever it holds.
    char bytes[3 * kStringFieldMax + 1];
    checked::stringUtfPrefix(env, held.get(), static_cast<jsize>(length), bytes);
    return std::memcmp(bytes, text, length) == 0;
}

bool hasElement(JNIEnv* env, jarray array) {
    return checked::arrayLength(env, array) > 0;
}

// A lookup that found nothing traces the name it missed and ends in DoException.
template <typename Id>
Id requireFound(JNIEnv* env, NativeTrace& trace, Id id, const char* helper, const char* label,
                const char* name, int probe) {
    if (id == nullptr) {
        trace.trace(2, helper, label);
        trace.trace(2, helper, name);
        DoException(env, 2, 2195, probe, name);
    }
    return id;
}
}  // namespace

extern "C" {

jfieldID GetFieldID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    NativeTrace trace(env);
    return requireFound(env, trace, checked::fieldId(env, cls, name, sig), "GetFieldID",
                        "***********Cant find Field ", name, 103);
}

jmethodID GetMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    NativeTrace trace(env);
    return requireFound(env, trace, checked::methodId(env, cls, name, sig), "GetMethodID",
                        "***********Cant find Method ", name, 104);
}

jmethodID GetStaticMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    NativeTrace trace(env);
    return requireFound(env, trace, checked::staticMethodId(env, cls, name, sig),
                        "GetStaticMethodID", "***********Cant find Method ", name, 104);
}

jint GetIntField(JNIEnv* env, jobject obj, jfieldID id) {
    NativeTrace trace(env);
    jint value = 0;
    if (id != nullptr) {
        value = checked::getIntField(env, obj, id);
    }
    trace.trace(2, "GetIntField", "Int field:", value);
    return value;
}

void SetIntField(JNIEnv* env, jint value, jobject obj, jfieldID id) {
    NativeTrace trace(env);
    if (id == nullptr) {
        return;
    }
    checked::setIntField(env, obj, id, value);
    trace.trace(2, "SetIntField", "Int field:", value);
}

void SetCharField(JNIEnv* env, char value, jobject obj, jfieldID id) {
    NativeTrace trace(env);
    if (id == nullptr) {
        return;
    }
    const auto widened = static_cast<signed char>(value);
    checked::setCharField(env, obj, id, static_cast<jchar>(static_cast<jshort>(widened)));
    trace.trace(2, "SetCharField", "Int field:", widened);
}

void SetStringField(JNIEnv* env, const char* source, int length, jobject obj, jfieldID id) {
    NativeTrace trace(env);
    if (source == nullptr) {
        return;
    }
    if (length > kStringFieldMax || length < 0) {
        trace.trace(2, "SetStringField", " ***********Field length too long");
        DoException(env, 2, 2195, 103, "Field length too long");
    }
    // The text up to the field's first NUL, copied in the one pass that finds it.
    char buffer[kStringFieldMax + 1];
    size_t size = 0;
    for (; size < static_cast<size_t>(length) && source[size] != '\0'; ++size) {
        buffer[size] = source[size];
    }
    buffer[size] = '\0';
    trace.trace(2, "SetStringField", "Value:");
    trace.traceMade(2, "SetStringField", buffer);
    if (id != nullptr && holdsAsciiText(env, obj, id, buffer, size)) {
        return;
    }
    jstring string = newJavaString(env, buffer);
    if (string != nullptr && id != nullptr) {
        checked::setObjectField(env, obj, id, string);
    }
    checked::releaseLocalRef(env, string);
}

const char* GetStringField(JNIEnv* env, jobject obj, jfieldID id, jstring* string) {
    NativeTrace trace(env);
    const char* chars = nullptr;
    if (id == nullptr || string == nullptr) {
        return nullptr;
    }
    *string = static_cast<jstring>(checked::getObjectField(env, obj, id));
    if (*string != nullptr) {
        chars = checked::stringUtfChars(env, *string);
    } else {
        trace.trace(2, "GetStringField", "Cant find fieldValue");
    }
    if (chars != nullptr) {
        trace.traceMade(2, "GetStringField ", chars);
    }
    return chars;
}

void ZTCopyString(JNIEnv* env, jstring string, const char* chars, char* destination,
                  int length) {
    if (chars == nullptr) {
        checked::deleteLocalRef(env, string);
        return;
    }
    // Modified UTF-8 holds no NUL byte, so strlen is the string's byte length.
    const size_t size = std::strlen(chars);
    const size_t width = length > 0 ? static_cast<size_t>(length) : 0;
    if (size >= width) {
        std::memcpy(destination, chars, width);
    } else {
        std::memcpy(destination, chars, size + 1);
    }
    checked::releaseStringUtfChars(env, string, chars);
    checked::deleteLocalRef(env, string);
}

jbyte* GetByteArrayField(JNIEnv* env, jobject obj, jfieldID id, jbyteArray* array) {
    NativeTrace trace(env);
    jbyte* elements = nullptr;
    if (id == nullptr || array == nullptr) {
        return nullptr;
    }
    *array = static_cast<jbyteArray>(checked::getObjectField(env, obj, id));
    if (*array != nullptr) {
        elements = checked::byteArrayElements(env, *array);
    } else {
        trace.trace(2, "GetByteArrayField", "Cant find fieldValue");
    }
    if (elements != nullptr) {
        traceFirstBytes(env, trace, *array, elements);
    }
    return elements;
}

void ZTCopyByteArray(JNIEnv* env, jbyteArray array, jbyte* elements, void* destination,
                     int length) {
    if (elements == nullptr) {
        checked::deleteLocalRef(env, array);
        return;
    }
    const jsize available = checked::arrayLength(env, array);
    const jsize count = std::max<jsize>(0, std::min<jsize>(available, length));
    std::memcpy(destination, elements, static_cast<size_t>(count));
    checked::releaseByteArrayElements(env, array, elements);
    checked::deleteLocalRef(env, array);
}

void SetByteArrayField(JNIEnv* env, const void* source, int length, jobject obj, jfieldID id) {
    if (source == nullptr || length < 0) {
        return;
    }
    jbyteArray array = checked::newByteArray(env, length);
    if (array == nullptr) {
        return;
    }
    checked::fillNewByteArray(env, array, length, static_cast<const jbyte*>(source));
    if (id != nullptr) {
        checked::setObjectField(env, obj, id, array);
    }
    checked::releaseLocalRef(env, array);
}

jbyte* GetByteArrayElements(JNIEnv* env, jbyteArray array) {
    NativeTrace trace(env);
    if (array == nullptr) {
        return nullptr;
    }
    jbyte* elements = checked::byteArrayElements(env, array);
    if (elements != nullptr && NativeTrace::isOn() && hasElement(env, array)) {
        trace.trace(2, "GetByteArrayElements", "Byte 0", elements[0]);
    }
    return elements;
}

jint* GetIntArrayElements(JNIEnv* env, jintArray array) {
    NativeTrace trace(env);
    if (array == nullptr) {
        return nullptr;
    }
    jint* elements = checked::intArrayElements(env, array);
    if (elements != nullptr && NativeTrace::isOn() && hasElement(env, array)) {
        trace.trace(2, "GetIntArrayElements", "Byte 0", elements[0]);
    }
    return elements;
}

void DoException(JNIEnv* env, int /*compCode*/, int /*reason*/, int probe, const char* message) {
    raiseInternalError(env, probe, message);
}

}  // extern "C"
