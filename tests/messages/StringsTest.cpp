// Character fields the queue manager fills come back as Java strings. Bytes
// that are modified UTF-8 go through as they are; anything else is decoded
// (a four-byte UTF-8 sequence to its surrogate pair, a stray byte to U+FFFD)
// instead of being handed to the JVM as it is.
#include "MessageTest.h"

using namespace zt::test;
using namespace msgtest;

namespace {

std::u16string chars(jstring s) {
    JNIEnv* e = env();
    std::u16string out(static_cast<size_t>(e->GetStringLength(s)), u'\0');
    e->GetStringRegion(s, 0, static_cast<jsize>(out.size()), reinterpret_cast<jchar*>(&out[0]));
    return out;
}

std::string hex(const std::u16string& s) {
    std::string out;
    char unit[8];
    for (char16_t c : s) {
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

class Strings : public MessageTest {};

TEST_F(Strings, QueueManagerBytesBecomeTheCharactersTheyMean) {
    struct Case {
        std::string bytes;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"PLAIN.ASCII", u"PLAIN.ASCII"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        // Surrogates as modified UTF-8 writes them: taken as they are.
        {"\xED\xA0\xBD\xED\xB8\x80", u"\xD83D\xDE00"},
        // Standard UTF-8 beyond the first plane: the surrogate pair.
        {"a\xF0\x9F\x98\x80" "b", u"a\xD83D\xDE00" u"b"},
        {"x\xFFy", u"x\uFFFDy"},
        {"\x80\xBF", u"\uFFFD\uFFFD"},
        // Overlong and cut sequences: each stray byte on its own.
        {"\xC1\x81", u"\uFFFD\uFFFD"},
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"cut\xE2\x82", u"cut\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (bool tracing : {false, true}) {
        Trace::setOn(tracing);
        for (const Case& c : cases) {
            SCOPED_TRACE(hex(c.expected) + (tracing ? " traced" : ""));
            LocalFrame frame;
            ztmctl::Answer a;
            a.dataLength = 0;
            const std::string bytes = c.bytes;
            a.hook = [bytes](void** args) {
                ZTMD* md = static_cast<ZTMD*>(args[2]);
                std::memset(md->applicationIdData, 0, sizeof md->applicationIdData);
                std::memcpy(md->applicationIdData, bytes.data(), bytes.size());
            };
            ztmctl::scriptNext("ZTGET", a);
            jobject md = newObject(kDescriptor, "()V");
            const Outcome o = get(1, 1, md, newObject(kGetOptions, "(I)V", 1), 4,
                                  newByteArray(Bytes(4)), newPint(-1));
            ASSERT_EQ(o.cc, 0) << o.pending;
            EXPECT_EQ(o.pending, "");
            auto s = static_cast<jstring>(getObject(md, "applicationIdData", "Ljava/lang/String;"));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(hex(chars(s)), hex(c.expected));
        }
    }
    Trace::setOn(false);
    Trace::clear();
}

}  // namespace
