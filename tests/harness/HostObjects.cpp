// The host's record-keeping classes: trace lines and logged internal exceptions.
#include "Jvm.h"

namespace zt::test {

namespace {
const char* const kTrace = "com/zel/ztservices/Trace";
const char* const kInternal = "com/zel/ztservices/ZTInternalException";

std::vector<std::string> staticList(const char* cls, const char* method) {
    jobject list = callStaticObject(cls, method, "()Ljava/util/List;");
    std::vector<std::string> out = stringList(list);
    deleteLocalRef(list);
    return out;
}
} // namespace

void Trace::setOn(bool on) { callStaticVoid(kTrace, "setOn", "(Z)V", on ? JNI_TRUE : JNI_FALSE); }
void Trace::setPrint(bool print) {
    callStaticVoid(kTrace, "setPrint", "(Z)V", print ? JNI_TRUE : JNI_FALSE);
}
std::vector<std::string> Trace::lines() { return staticList(kTrace, "lines"); }
void Trace::clear() { callStaticVoid(kTrace, "clear", "()V"); }

std::vector<std::string> InternalException::logged() { return staticList(kInternal, "logged"); }
void InternalException::clear() { callStaticVoid(kInternal, "clear", "()V"); }

} // namespace zt::test
