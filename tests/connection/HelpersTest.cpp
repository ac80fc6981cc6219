// The JNI access helpers against real Java objects: fixed-width copies both
// ways, signed/unsigned conversions, null identifiers, failed lookups and the
// trace lines the helpers write.
#include "ConnTest.h"

#include "FieldCopy.h"
#include "NativeTrace.h"
#include "NativeUtil.h"

#include <cstring>

using namespace zt::test;
using namespace conntest;

namespace {

const char* const kFields = "zt/conntest/Fields";

jfieldID fid(const char* name, const char* sig) {
    JNIEnv* e = env();
    jfieldID id = e->GetFieldID(findClass(kFields), name, sig);
    if (e->ExceptionCheck() || id == nullptr) throw JavaError(std::string("no field ") + name);
    return id;
}

class Helpers : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        setTracing(true);
        fields = newObject(kFields, "()V");
    }
    jobject fields = nullptr;
};

}  // namespace

TEST_F(Helpers, SetStringFieldTakesAtMost99BytesAndRefusesNegativeLengths) {
    const jfieldID text = fid("text", "Ljava/lang/String;");
    const std::string longest(99, 'A');
    const std::string tooLong(100, 'B');
    JniProxy proxy;
    JNIEnv* e = proxy.env();

    EXPECT_FALSE(raisesNativeError(e, [&] { SetStringField(e, longest.c_str(), 99, fields, text); }));
    EXPECT_EQ(getString(fields, "text"), longest);
    EXPECT_EQ(Trace::lines(), Lines({"trace2 SetStringField Value:", "trace2 SetStringField " + longest}));
    EXPECT_TRUE(InternalException::logged().empty());

    for (int length : {100, -1}) {
        SCOPED_TRACE(length);
        setString(fields, "text", std::string("old"));
        Trace::clear();
        InternalException::clear();
        EXPECT_TRUE(raisesNativeError(e, [&] { SetStringField(e, tooLong.c_str(), length, fields, text); }));
        EXPECT_EQ(getString(fields, "text"), std::string("old"));
        EXPECT_EQ(Trace::lines(), Lines({"trace2 SetStringField  ***********Field length too long"}));
        EXPECT_EQ(InternalException::logged(), Lines({"103 Field length too long"}));
        EXPECT_EQ(takePendingException(), "");
    }
    EXPECT_EQ(proxy.liveLocalRefs(), 0);
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST_F(Helpers, SetStringFieldKeepsBlanksAndEndsAtTheFirstNul) {
    const jfieldID text = fid("text", "Ljava/lang/String;");
    char padded[48];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, "QM1", 3);
    asNative([&] { SetStringField(env(), padded, 48, fields, text); });
    EXPECT_EQ(getString(fields, "text"), std::string("QM1") + std::string(45, ' '));

    char nulPadded[48] = "QM2";
    std::memcpy(nulPadded + 10, "GARBAGE", 7);
    asNative([&] { SetStringField(env(), nulPadded, 48, fields, text); });
    EXPECT_EQ(getString(fields, "text"), std::string("QM2"));
}

TEST_F(Helpers, ZTCopyStringWritesTheNulOnlyWhenThereIsRoom) {
    const jfieldID text = fid("text", "Ljava/lang/String;");
    // Copies the field into a 48-byte destination with two guard bytes after it.
    // The untraced copy (copyStringRegion, counting the bytes itself) must put
    // the same bytes there and agree on whether the copy was exact.
    auto copied = [&](const std::optional<std::string>& value) {
        setString(fields, "text", value);
        std::vector<uint8_t> dest(50, 0xEE);
        std::vector<uint8_t> region(50, 0xEE);
        JniProxy proxy;
        asNative([&] {
            jstring string = nullptr;
            const char* chars = GetStringField(proxy.env(), fields, text, &string);
            const bool exact = chars != nullptr && copiedExactly(chars, 48);
            ZTCopyString(proxy.env(), string, chars, reinterpret_cast<char*>(dest.data()), 48);
            EXPECT_EQ(proxy.liveLocalRefs(), 0) << "the string's reference ends with the copy";
            EXPECT_EQ(copyStringRegion(proxy.env(), fields, text, reinterpret_cast<char*>(region.data()), 48),
                      exact);
        });
        EXPECT_EQ(region, dest);
        EXPECT_EQ(proxy.count(Fn::ReleaseStringUTFChars), value ? 1 : 0);
        EXPECT_TRUE(proxy.misuse().empty());
        return dest;
    };

    std::vector<uint8_t> d = copied(std::string("ABCDEFGHIJ"));
    EXPECT_EQ(std::string(d.begin(), d.begin() + 10), "ABCDEFGHIJ");
    EXPECT_EQ(d[10], 0);
    EXPECT_EQ(std::vector<uint8_t>(d.begin() + 11, d.end()), std::vector<uint8_t>(39, 0xEE));
    EXPECT_EQ(Trace::lines(), Lines({"trace2 GetStringField  ABCDEFGHIJ"}));

    const std::string sixty = std::string(48, 'Q') + "RSTUVWXYZ012";
    for (const std::string& value : {std::string(48, 'Q'), sixty}) {
        d = copied(value);
        EXPECT_EQ(std::string(d.begin(), d.begin() + 48), std::string(48, 'Q'));
        EXPECT_EQ(d[48], 0xEE) << "no terminator after a full field";
        EXPECT_EQ(d[49], 0xEE);
    }

    Trace::clear();
    d = copied(std::nullopt);
    EXPECT_EQ(d, std::vector<uint8_t>(50, 0xEE));
    EXPECT_EQ(Trace::lines(), Lines({"trace2 GetStringField Cant find fieldValue"}));

    // Characters of two and three bytes (modified UTF-8, as the JVM takes it):
    // é, ÿ, €, NUL, a surrogate pair, a lone surrogate, and more than fit.
    std::string euros;
    std::string accents;
    for (int i = 0; i < 30; ++i) euros += "\xE2\x82\xAC";
    for (int i = 0; i < 130; ++i) accents += "\xC3\xA9";
    for (const std::string& value : {std::string(""), std::string("caf\xC3\xA9"), std::string("\xC3\xBF\xC3\xBF"),
                                     std::string("\xE2\x82\xAC" "100"), std::string("A\xC0\x80" "B"),
                                     std::string("\xED\xA0\xBD\xED\xB8\x80!"), std::string("\xED\xA0\x80 lone"),
                                     euros, accents}) {
        SCOPED_TRACE(value.size());
        copied(value);
    }
}

TEST_F(Helpers, ByteArraysCopyTheShorterLengthAndTraceOnlyBytesThatExist) {
    const jfieldID bytes = fid("bytes", "[B");
    // Copies the field into a 24-byte destination with two guard bytes; the
    // trace lines the read wrote are returned in `traced`.
    auto copied = [&](const std::vector<uint8_t>& value, Lines& traced) {
        setBytes(fields, "bytes", value);
        Trace::clear();
        std::vector<uint8_t> dest(26, 0xEE);
        JniProxy proxy;
        asNative([&] {
            jbyteArray array = nullptr;
            jbyte* elements = GetByteArrayField(proxy.env(), fields, bytes, &array);
            ZTCopyByteArray(proxy.env(), array, elements, dest.data(), 24);
            EXPECT_EQ(proxy.liveLocalRefs(), 0) << "the array's reference ends with the copy";
        });
        EXPECT_EQ(proxy.count(Fn::ReleaseByteArrayElements), 1);
        EXPECT_TRUE(proxy.misuse().empty());
        traced = Trace::lines();
        return dest;
    };

    std::vector<uint8_t> thirty(30);
    for (size_t i = 0; i < thirty.size(); ++i) thirty[i] = static_cast<uint8_t>(0xF0 + i);
    Lines traced;
    std::vector<uint8_t> d = copied(thirty, traced);
    EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 24),
              std::vector<uint8_t>(thirty.begin(), thirty.begin() + 24));
    EXPECT_EQ(d[24], 0xEE);
    EXPECT_EQ(traced, Lines({"trace2 GetByteArrayField Byte 0 240", "trace2 GetByteArrayField Byte 1 241",
                             "trace2 GetByteArrayField Byte 2 242"}));

    const std::vector<uint8_t> ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    d = copied(ten, traced);
    EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 10), ten);
    EXPECT_EQ(std::vector<uint8_t>(d.begin() + 10, d.end()), std::vector<uint8_t>(16, 0xEE));

    // Arrays shorter than three bytes: one line per byte there is, none beyond.
    d = copied({0xFF, 0x80}, traced);
    EXPECT_EQ(traced, Lines({"trace2 GetByteArrayField Byte 0 255", "trace2 GetByteArrayField Byte 1 128"}));
    d = copied({0x7F}, traced);
    EXPECT_EQ(traced, Lines({"trace2 GetByteArrayField Byte 0 127"}));
    EXPECT_EQ(d[1], 0xEE);
    d = copied({}, traced);
    EXPECT_TRUE(traced.empty());
    EXPECT_EQ(d, std::vector<uint8_t>(26, 0xEE));
}

TEST_F(Helpers, ByteArrayReadAsksNoLengthWhileTracingIsOff) {
    setTracing(false);
    const jfieldID bytes = fid("bytes", "[B");
    setBytes(fields, "bytes", std::vector<uint8_t>{1, 2, 3, 4});
    JniProxy proxy;
    asNative([&] {
        jbyteArray array = nullptr;
        jbyte* elements = GetByteArrayField(proxy.env(), fields, bytes, &array);
        EXPECT_EQ(proxy.count(Fn::GetArrayLength), 0);
        uint8_t dest[4] = {};
        ZTCopyByteArray(proxy.env(), array, elements, dest, 4);
        EXPECT_EQ(dest[3], 4);
    });
    EXPECT_TRUE(Trace::lines().empty());
}

TEST_F(Helpers, IntAndCharFieldsWithAndWithoutIdentifier) {
    const jfieldID number = fid("number", "I");
    const jfieldID letter = fid("letter", "C");
    setInt(fields, "number", 42);
    JniProxy proxy;
    JNIEnv* e = proxy.env();
    jint got = -1;
    asNative([&] { got = GetIntField(e, fields, number); });
    EXPECT_EQ(got, 42);
    asNative([&] { got = GetIntField(e, fields, nullptr); });
    EXPECT_EQ(got, 0);
    EXPECT_EQ(proxy.count(Fn::GetIntField), 1) << "a null identifier leaves the object alone";
    EXPECT_EQ(Trace::lines(), Lines({"trace2 GetIntField Int field: 42", "trace2 GetIntField Int field: 0"}));

    Trace::clear();
    asNative([&] { SetIntField(e, -5, fields, number); });
    asNative([&] { SetIntField(e, 9, fields, nullptr); });
    EXPECT_EQ(getInt(fields, "number"), -5);
    EXPECT_EQ(proxy.count(Fn::SetIntField), 1);
    EXPECT_EQ(Trace::lines(), Lines({"trace2 SetIntField Int field: -5"}));

    // Characters widen as signed bytes.
    Trace::clear();
    asNative([&] { SetCharField(e, 0x41, fields, letter); });
    EXPECT_EQ(getChar(fields, "letter"), 0x0041);
    asNative([&] { SetCharField(e, static_cast<char>(0xC1), fields, letter); });
    EXPECT_EQ(getChar(fields, "letter"), 0xFFC1);
    asNative([&] { SetCharField(e, 0x42, fields, nullptr); });
    EXPECT_EQ(getChar(fields, "letter"), 0xFFC1);
    EXPECT_EQ(Trace::lines(), Lines({"trace2 SetCharField Int field: 65", "trace2 SetCharField Int field: -63"}));
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST_F(Helpers, SetByteArrayFieldStoresExactlyTheLengthGiven) {
    const jfieldID bytes = fid("bytes", "[B");
    const std::vector<uint8_t> source{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    setBytes(fields, "bytes", std::vector<uint8_t>{0x55});

    JniProxy proxy;
    asNative([&] { SetByteArrayField(proxy.env(), source.data(), 6, fields, bytes); });
    EXPECT_EQ(getBytes(fields, "bytes"), std::vector<uint8_t>(source.begin(), source.begin() + 6));

    // A null identifier makes the array but stores nothing.
    setBytes(fields, "bytes", std::vector<uint8_t>{0x55});
    proxy.resetCounts();
    asNative([&] {
        SetByteArrayField(proxy.env(), source.data(), 10, fields, nullptr);
        EXPECT_EQ(proxy.liveLocalRefs(), 0);
    });
    EXPECT_EQ(proxy.count(Fn::NewByteArray), 1);
    EXPECT_EQ(proxy.count(Fn::SetObjectField), 0);
    EXPECT_EQ(getBytes(fields, "bytes"), std::vector<uint8_t>{0x55});

    // A null source does nothing at all.
    proxy.resetCounts();
    asNative([&] { SetByteArrayField(proxy.env(), nullptr, 10, fields, bytes); });
    EXPECT_EQ(proxy.total(), 0);
    EXPECT_EQ(getBytes(fields, "bytes"), std::vector<uint8_t>{0x55});
    EXPECT_TRUE(proxy.misuse().empty());
}

TEST_F(Helpers, FailedLookupsTraceLogAndLeaveTheJvmErrorForTheHost) {
    struct Lookup {
        const char* helper;
        const char* missing;
        const char* label;
        const char* probe;
        const char* error;
        std::function<void(JNIEnv*, jclass, const char*)> call;
    };
    const Lookup lookups[] = {
        {"GetFieldID", "noSuchField", "***********Cant find Field ", "103", "java.lang.NoSuchFieldError",
         [](JNIEnv* e, jclass c, const char* n) { GetFieldID(e, c, n, "I"); }},
        {"GetMethodID", "noSuchMethod", "***********Cant find Method ", "104", "java.lang.NoSuchMethodError",
         [](JNIEnv* e, jclass c, const char* n) { GetMethodID(e, c, n, "()V"); }},
        {"GetStaticMethodID", "noSuchStatic", "***********Cant find Method ", "104",
         "java.lang.NoSuchMethodError", [](JNIEnv* e, jclass c, const char* n) { GetStaticMethodID(e, c, n, "()V"); }},
    };
    const jclass cls = findClass(kFields);
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.helper);
        Trace::clear();
        InternalException::clear();
        JniProxy proxy;
        EXPECT_TRUE(raisesNativeError(proxy.env(), [&] { l.call(proxy.env(), cls, l.missing); }));
        EXPECT_EQ(Trace::lines(), Lines({std::string("trace2 ") + l.helper + " " + l.label,
                                         std::string("trace2 ") + l.helper + " " + l.missing}));
        EXPECT_EQ(InternalException::logged(), Lines({std::string(l.probe) + " " + l.missing}));
        EXPECT_EQ(takePendingException(), l.error) << "raised again as the native returns";
        EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse()[0];
    }

    // Found: an identifier, and nothing traced or logged.
    Trace::clear();
    InternalException::clear();
    jfieldID found = nullptr;
    jmethodID method = nullptr;
    EXPECT_FALSE(raisesNativeError(env(), [&] {
        found = GetFieldID(env(), cls, "number", "I");
        method = GetMethodID(env(), cls, "touch", "()V");
    }));
    EXPECT_NE(found, nullptr);
    EXPECT_NE(method, nullptr);
    EXPECT_TRUE(Trace::lines().empty());
    EXPECT_TRUE(InternalException::logged().empty());
}

TEST_F(Helpers, ValueLinesAreTextBlankNumberCutTo51Characters) {
    const std::string longText(100, 'L');
    asNative([&] {
        NativeTrace trace(env());
        trace.trace(2, "m", "CompCode: ", 0);
        trace.trace(2, "m", "Reason:", 2195);
        trace.trace(2, "m", "Reason:", -2147483647 - 1);
        trace.trace(2, "m", longText.c_str(), 7);
        trace.trace(2, "m", std::string(45, 'T').c_str(), 123456789);
    });
    EXPECT_EQ(Trace::lines(), Lines({"trace2 m CompCode:  0", "trace2 m Reason: 2195",
                                     "trace2 m Reason: -2147483648", "trace2 m " + longText.substr(0, 51),
                                     "trace2 m " + std::string(45, 'T') + " 12345"}));
}

