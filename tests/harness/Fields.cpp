// Fields by name, of instances and of classes.
#include "HelperScope.h"
#include "Jvm.h"

namespace zt::test {

using detail::fieldId;
using detail::Scope;
using detail::utf;

namespace detail {

jfieldID fieldId(Scope& s, jobject obj, const char* field, const char* sig) {
    if (!obj) throw JavaError(std::string("field ") + field + " of a null object");
    JNIEnv* e = s.env();
    jclass cls = e->GetObjectClass(obj);
    jfieldID id = e->GetFieldID(cls, field, sig);
    s.check(std::string("field ") + field + " " + sig);
    return id;
}

} // namespace detail

jint getInt(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetIntField(obj, fieldId(s, obj, field, "I"));
}

void setInt(jobject obj, const char* field, jint value) {
    Scope s;
    s.env()->SetIntField(obj, fieldId(s, obj, field, "I"), value);
}

bool getBoolean(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetBooleanField(obj, fieldId(s, obj, field, "Z")) != JNI_FALSE;
}

void setBoolean(jobject obj, const char* field, bool value) {
    Scope s;
    s.env()->SetBooleanField(obj, fieldId(s, obj, field, "Z"), value ? JNI_TRUE : JNI_FALSE);
}

jchar getChar(jobject obj, const char* field) {
    Scope s;
    return s.env()->GetCharField(obj, fieldId(s, obj, field, "C"));
}

void setChar(jobject obj, const char* field, jchar value) {
    Scope s;
    s.env()->SetCharField(obj, fieldId(s, obj, field, "C"), value);
}

std::optional<std::string> getString(jobject obj, const char* field) {
    Scope s;
    jobject v = s.env()->GetObjectField(obj, fieldId(s, obj, field, "Ljava/lang/String;"));
    if (!v) return std::nullopt;
    return utf(s, static_cast<jstring>(v));
}

void setString(jobject obj, const char* field, const std::optional<std::string>& value) {
    Scope s;
    jfieldID id = fieldId(s, obj, field, "Ljava/lang/String;");
    jstring v = nullptr;
    if (value) {
        v = s.env()->NewStringUTF(value->c_str());
        s.check("NewStringUTF");
    }
    s.env()->SetObjectField(obj, id, v);
}

std::optional<std::vector<uint8_t>> getBytes(jobject obj, const char* field) {
    jbyteArray a;
    {
        Scope s;
        a = s.keep(static_cast<jbyteArray>(s.env()->GetObjectField(obj, fieldId(s, obj, field, "[B"))));
    }
    if (!a) return std::nullopt;
    std::vector<uint8_t> v = byteArrayValue(a);
    deleteLocalRef(a);
    return v;
}

void setBytes(jobject obj, const char* field, const std::optional<std::vector<uint8_t>>& value) {
    jbyteArray a = value ? newByteArray(*value) : nullptr;
    {
        Scope s;
        s.env()->SetObjectField(obj, fieldId(s, obj, field, "[B"), a);
    }
    deleteLocalRef(a);
}

jobject getObject(jobject obj, const char* field, const char* sig) {
    Scope s;
    return s.keep(s.env()->GetObjectField(obj, fieldId(s, obj, field, sig)));
}

void setObject(jobject obj, const char* field, const char* sig, jobject value) {
    Scope s;
    s.env()->SetObjectField(obj, fieldId(s, obj, field, sig), value);
}

jint getStaticInt(const char* className, const char* field) {
    jclass cls = findClass(className);
    Scope s;
    jfieldID id = s.env()->GetStaticFieldID(cls, field, "I");
    s.check(std::string("static field ") + field);
    return s.env()->GetStaticIntField(cls, id);
}

jobject getStaticObject(const char* className, const char* field, const char* sig) {
    jclass cls = findClass(className);
    Scope s;
    jfieldID id = s.env()->GetStaticFieldID(cls, field, sig);
    s.check(std::string("static field ") + field);
    return s.keep(s.env()->GetStaticObjectField(cls, id));
}

} // namespace zt::test
