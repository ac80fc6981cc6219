// Member identifiers kept per class: what the host sees does not depend on
// whether a call found its classes' members in the cache (warm) or looked them
// up by name (cold), tracing off or on; classes are told apart by identity,
// never by name; and a class loader that is let go can be collected.
#include <jni.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Jvm.h"
#include "ztm.h"
#include "ztm_control.h"
#include "xa_switch.h"

#include "com_zel_zt_server_ZTSESSION.h"
#include "com_zel_zt_server_ZTXAi.h"

using namespace zt::test;

namespace {

jobject fresh(const char* simpleName) {
    return callStaticObject("zt/cache/Classes", "fresh", "(Ljava/lang/String;)Ljava/lang/Object;",
                            newString(simpleName));
}

jobject another(jobject o) {
    return callStaticObject("zt/cache/Classes", "another", "(Ljava/lang/Object;)Ljava/lang/Object;", o);
}

std::string describe(jobject o) {
    if (o == nullptr) return "null";
    return stringValue(static_cast<jstring>(callStaticObject(
                           "zt/cache/Classes", "describe", "(Ljava/lang/Object;)Ljava/lang/String;", o)))
        .value_or("null");
}

// The objects one verb call is given; `make` builds them from the classes
// it is handed (a fresh set, or new instances of a set already used).
struct Objects {
    std::vector<jobject> all;
    jbyteArray data;
};

// Everything a call leaves that the host or the queue manager can see.
struct Seen {
    std::vector<int> results;
    std::vector<std::string> objects;
    std::vector<std::string> trace;
    std::vector<std::string> records;
    long byNameLookups = 0;
};

// One verb: the answer the queue manager gives, and the call.
struct VerbCase {
    const char* name;
    std::vector<const char*> classes;
    std::function<void()> script;
    std::function<jint(JNIEnv*, const Objects&, jobject cc, jobject rc)> call;
};

Seen run(const VerbCase& v, const Objects& o) {
    ztmctl::clearCalls();
    Trace::clear();
    v.script();
    jobject cc = newPint(-1);
    jobject rc = newPint(-1);
    JniProxy proxy;
    jint result = 0;
    callNative([&] { result = v.call(proxy.env(), o, cc, rc); });
    Seen s;
    s.results = {pintValue(cc), pintValue(rc), result};
    for (jobject obj : o.all) s.objects.push_back(describe(obj));
    s.objects.push_back(describe(o.data));
    s.trace = Trace::lines();
    for (const auto& call : ztmctl::calls()) {
        for (const auto& r : call.records) {
            s.records.push_back(call.function + " " + r.first + " " +
                                std::string(r.second.begin(), r.second.end()));
        }
    }
    s.byNameLookups = proxy.count(Fn::GetFieldID) + proxy.count(Fn::GetMethodID) +
                      proxy.count(Fn::FindClass);
    EXPECT_EQ(takePendingException(), "");
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse().front();
    return s;
}

ztmctl::Answer withHook(std::function<void(void**)> hook, int dataLength = -1) {
    ztmctl::Answer a;
    a.compCode = 1;
    a.reason = 2079;
    if (dataLength >= 0) a.dataLength = dataLength;
    a.hook = std::move(hook);
    return a;
}

// What a queue manager writes into a descriptor: every character field and id.
void fillDescriptor(ZTMD* md) {
    std::memset(md->userId, 'U', sizeof md->userId);
    std::memcpy(md->putApplicationName, "CACHE.APP", 9);
    std::memcpy(md->putDate, "20261208", 8);
    std::memcpy(md->putTime, "23595999", 8);
    std::memset(md->messageId, 0x4D, sizeof md->messageId);
    std::memset(md->groupId, 0x47, sizeof md->groupId);
    md->backoutCount = 3;
    md->messageFlags = 8;
}

std::vector<VerbCase> verbs() {
    const auto put = [](const char* fn) {
        return [fn] { ztmctl::scriptNext(fn, withHook([](void** a) { fillDescriptor(static_cast<ZTMD*>(a[2])); })); };
    };
    const auto get = [](const char* fn) {
        return [fn] {
            ztmctl::scriptNext(fn, withHook(
                                       [](void** a) {
                                           fillDescriptor(static_cast<ZTMD*>(a[2]));
                                           std::memcpy(static_cast<ZTGMO*>(a[3])->resolvedQueueName, "RQ", 2);
                                           std::memset(a[5], 0x33, 6);
                                       },
                                       6));
        };
    };
    return {
        {"_ZTPUT", {"Descriptor", "PutOptions"}, put("ZTPUT"),
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTPUT(e, nullptr, 1, 1, o.all[0], o.all[1], 4, o.data, cc, rc);
             return 0;
         }},
        {"_ZTPUT1", {"ObjectDescriptor", "Descriptor", "PutOptions"},
         [] {
             ztmctl::scriptNext("ZTPUT1", withHook([](void** a) {
                                    fillDescriptor(static_cast<ZTMD*>(a[2]));
                                    std::memcpy(static_cast<ZTOD*>(a[1])->objectQMgrName, "RESOLVED.QM", 11);
                                }));
         },
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTPUT1(e, nullptr, 1, o.all[0], o.all[1], o.all[2], 4, o.data,
                                                       cc, rc);
             return 0;
         }},
        {"_ZTGET", {"Descriptor", "GetOptions"}, get("ZTGET"),
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTGET(e, nullptr, 1, 1, o.all[0], o.all[1], 8, o.data, cc, cc, rc);
             return 0;
         }},
        {"_ZTPUTMSG2", {"Message", "PutOptions"}, put("ZTPUT"),
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTPUTMSG2(e, nullptr, 1, 1, o.all[0], o.all[1], 4, o.data, cc, rc);
             return 0;
         }},
        {"_ZTGETMSG2", {"Message", "GetOptions"}, get("ZTGET"),
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTGETMSG2(e, nullptr, 1, 1, o.all[0], o.all[1], 8, o.data, cc, cc,
                                                          rc);
             return 0;
         }},
        {"_ZTOPEN", {"ObjectDescriptor"},
         [] {
             ztmctl::scriptNext("ZTOPEN", withHook([](void** a) {
                                    std::memcpy(static_cast<ZTOD*>(a[1])->objectQMgrName, "RESOLVED.QM", 11);
                                }));
         },
         [](JNIEnv* e, const Objects& o, jobject cc, jobject rc) {
             Java_com_zel_zt_server_ZTSESSION__1ZTOPEN(e, nullptr, 1, o.all[0], 0x10, cc, cc, rc);
             return 0;
         }},
        {"xa_start_N", {"Xid"},
         [] {
             ztmctl::Answer a;
             a.returnValue = XA_OK;
             ztmctl::scriptNext("zstXAStart", a);
         },
         [](JNIEnv* e, const Objects& o, jobject, jobject) {
             return Java_com_zel_zt_server_ZTXAi_xa_1start_1N(e, nullptr, o.all[0], 1, 0);
         }},
    };
}

// zt.cacheload.Options from `jar` through a loader of its own: the object,
// and a weak reference to the loader.
std::pair<jobject, jobject> isolatedOptions(const char* jar) {
    auto pair = static_cast<jobjectArray>(callStaticObject(
        "zt/cache/Classes", "isolated", "(Ljava/lang/String;Ljava/lang/String;)[Ljava/lang/Object;",
        newString(jar), newString("zt.cacheload.Options")));
    return {env()->GetObjectArrayElement(pair, 0), env()->GetObjectArrayElement(pair, 1)};
}

// _ZTPUT of one byte with a plain descriptor and the given options, through
// `e`; the completion code.
int putWith(jobject options, JNIEnv* e = env()) {
    jobject cc = newPint(-1), rc = newPint(-1);
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTPUT(e, nullptr, 1, 1,
                                                 newObject("com/zel/zt/ZTMessageDescriptor", "()V"), options,
                                                 1, newByteArray({1}), cc, rc);
    });
    return pintValue(cc);
}

// Switches the host's trace; one verb carries the switch into native code (a
// holder-first verb binds its holder before it refreshes the flag).
void setTracing(bool on) {
    Trace::setOn(on);
    ztmctl::scriptNext("ZTOPEN", ztmctl::Answer{});
    jobject cc = newPint(-1);
    callNative([&] {
        Java_com_zel_zt_server_ZTSESSION__1ZTOPEN(env(), nullptr, 1,
                                                  newObject("com/zel/zt/ZTObjectDescriptor", "()V"), 0x10,
                                                  cc, cc, cc);
    });
    Trace::clear();
}

class MemberCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ztmctl::reset(); }
    void TearDown() override {
        Trace::setOn(false);
        Trace::clear();
        ztmctl::reset();
    }
};

TEST_F(MemberCacheTest, ColdAndWarmCallsLeaveTheSameForEveryVerbTracingOffAndOn) {
    for (bool tracing : {false, true}) {
        setTracing(tracing);
        for (const VerbCase& v : verbs()) {
            SCOPED_TRACE(std::string(v.name) + (tracing ? ", tracing" : ""));
            LocalFrame frame(64);
            Objects cold;
            for (const char* c : v.classes) cold.all.push_back(fresh(c));
            cold.data = newByteArray({1, 2, 3, 4, 5, 6, 7, 8});
            Objects warm;
            for (jobject obj : cold.all) warm.all.push_back(another(obj));
            warm.data = newByteArray({1, 2, 3, 4, 5, 6, 7, 8});

            const Seen first = run(v, cold);
            const Seen second = run(v, warm);
            EXPECT_GT(first.byNameLookups, 0) << "the cold call looked its members up";
            EXPECT_EQ(second.byNameLookups, 0) << "the warm call found them kept";
            EXPECT_EQ(first.results, second.results);
            EXPECT_EQ(first.objects, second.objects);
            EXPECT_EQ(first.trace, second.trace);
            EXPECT_EQ(first.records, second.records);
            EXPECT_FALSE(first.records.empty());
            const bool traces = std::string(v.name).rfind("xa_", 0) != 0;  // XA natives do not
            EXPECT_EQ(first.trace.empty(), !(tracing && traces));
        }
    }
}

// Two classes of one name from two class loaders, laid out differently: each
// is read through identifiers of its own.
TEST_F(MemberCacheTest, OneClassNameInTwoLoadersGetsIdentifiersOfItsOwn) {
    for (const char* jar : {ZT_CACHE_JAR_A, ZT_CACHE_JAR_B, ZT_CACHE_JAR_A, ZT_CACHE_JAR_B}) {
        SCOPED_TRACE(jar);
        LocalFrame frame(32);
        jobject options = isolatedOptions(jar).first;
        setInt(options, "options", 0x2004);
        setInt(options, "contextReferenceHandle", 77);
        ztmctl::clearCalls();
        ztmctl::scriptNext("ZTPUT", withHook([](void** a) {
                               auto* p = static_cast<ZTPMO*>(a[3]);
                               std::memcpy(p->resolvedQueueName, "RQ.OWN", 6);
                               p->knownDestCount = 5;
                           }));
        ASSERT_EQ(putWith(options), 1);
        const ZTPMO sent = ztmctl::callsOf("ZTPUT").at(0).recordAs<ZTPMO>("ZTPMO");
        EXPECT_EQ(sent.version, 1);
        EXPECT_EQ(sent.options, 0x2004);
        EXPECT_EQ(sent.context, 77);
        EXPECT_EQ(getString(options, "resolvedQueueName"), "RQ.OWN");
        EXPECT_EQ(getInt(options, "knownDestCount"), 5);
        EXPECT_EQ(takePendingException(), "");
    }
}

// The cache holds its classes weakly: a loader the application lets go is
// collected, and a class loaded afresh under the same name works as before.
// Loaded and let go again and again, far more often than the cache has places,
// the class leaves the JVM's weak references flat: a place whose class was
// unloaded is taken over with its weak reference deleted.
TEST_F(MemberCacheTest, ALoaderLetGoIsCollectedAfterItsClassWasUsedAndChurnLeavesWeakReferencesFlat) {
    constexpr int kLoads = 24;
    JniProxy proxy;
    for (int i = 0; i < kLoads; ++i) {
        SCOPED_TRACE(i);
        jobject ref = nullptr;
        {
            LocalFrame frame(32);
            const auto isolated = isolatedOptions(i % 2 == 0 ? ZT_CACHE_JAR_B : ZT_CACHE_JAR_A);
            ref = env()->NewGlobalRef(isolated.second);
            ztmctl::scriptNext("ZTPUT", withHook([](void**) {}));
            ASSERT_EQ(putWith(isolated.first, proxy.env()), 1);
        }
        ASSERT_TRUE(callStaticBoolean("zt/cache/Classes", "collected", "(Ljava/lang/ref/WeakReference;)Z", ref));
        env()->DeleteGlobalRef(ref);
        EXPECT_EQ(takePendingException(), "");
    }
    EXPECT_GT(proxy.count(Fn::NewWeakGlobalRef), 2 * 8) << "places of the cache were taken over again and again";
    EXPECT_LE(proxy.count(Fn::NewWeakGlobalRef) - proxy.count(Fn::DeleteWeakGlobalRef), 8)
        << "weak references held: at most one per place of the cache";
    EXPECT_TRUE(proxy.misuse().empty()) << proxy.misuse().front();
}

// Eight threads meet two classes first together: each class gets one entry
// (one weak reference), and every put reads its own object right.
TEST_F(MemberCacheTest, ConcurrentFirstUseKeepsOneEntryPerClass) {
    constexpr int kThreads = 8;
    jobject md = env()->NewGlobalRef(fresh("Descriptor"));
    jobject pmo = env()->NewGlobalRef(fresh("PutOptions"));
    std::vector<jobject> mds, pmos;
    for (int i = 0; i < kThreads; ++i) {
        jobject m = another(md);
        setInt(m, "priority", i);
        mds.push_back(env()->NewGlobalRef(m));
        pmos.push_back(env()->NewGlobalRef(another(pmo)));
    }
    ztmctl::Answer a;
    for (int i = 0; i < kThreads; ++i) ztmctl::scriptNext("ZTPUT", a);
    std::atomic<int> ready{0}, weakRefs{0}, ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            {
                JniProxy proxy(env());
                // The thread adding an entry holds still, so the others reach
                // the cache while the entry is being made.
                proxy.before(Fn::NewWeakGlobalRef, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
                ++ready;
                while (ready.load() < kThreads) std::this_thread::yield();
                jobject cc = newPint(-1), rc = newPint(-1);
                callNative([&] {
                    Java_com_zel_zt_server_ZTSESSION__1ZTPUT(proxy.env(), nullptr, 1, 1, mds[i], pmos[i], 1,
                                                             newByteArray({1}), cc, rc);
                });
                weakRefs += static_cast<int>(proxy.count(Fn::NewWeakGlobalRef));
                if (pintValue(cc) == 0 && proxy.misuse().empty() && takePendingException().empty()) ++ok;
            }
            detachThread();
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(ok.load(), kThreads);
    EXPECT_EQ(weakRefs.load(), 2) << "one entry for each of the two new classes";
    std::vector<int> priorities;
    for (const auto& call : ztmctl::callsOf("ZTPUT")) priorities.push_back(call.recordAs<ZTMD>("ZTMD").priority);
    std::sort(priorities.begin(), priorities.end());
    EXPECT_EQ(priorities, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    for (jobject g : mds) env()->DeleteGlobalRef(g);
    for (jobject g : pmos) env()->DeleteGlobalRef(g);
    env()->DeleteGlobalRef(md);
    env()->DeleteGlobalRef(pmo);
}

}  // namespace
