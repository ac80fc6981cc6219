// Record arrays whose elements are of different classes: every element is read
// and written through the members of its own class. Identifiers of one class
// used on an object of another read and write outside that object.
#include "Objects.h"

using namespace zt::test;

namespace objtest {
namespace {

jobject mixedList(bool subclassFirst, bool longResponse) {
    return callStaticObject("objtest/Mixed", "list", "(ZZ)Lcom/zel/zt/ZTObjectDescriptor;",
                            subclassFirst, longResponse);
}

std::string responses(jobject od) {
    return stringValue(static_cast<jstring>(callStaticObject(
                           "objtest/Mixed", "responses",
                           "(Lcom/zel/zt/ZTObjectDescriptor;)Ljava/lang/String;", od)))
        .value_or("null");
}

// The queue manager answers each destination with its own outcome.
void scriptOutcomes() {
    ztmctl::Answer a;
    a.compCode = 1;
    a.reason = ZTRC_MULTIPLE_REASONS;
    a.hobj = 7;
    a.hook = [](void** args) {
        ZTOD* rec = static_cast<ZTOD*>(args[1]);
        rec->responseRecords[0] = ZTRR{2, 11};
        rec->responseRecords[1] = ZTRR{2, 22};
    };
    ztmctl::scriptNext("ZTOPEN", a);
}

TEST_F(ObjectsTest, EachElementOfAMixedArrayIsReadAndWrittenThroughItsOwnClass) {
    for (bool subclassFirst : {true, false}) {
        SCOPED_TRACE(subclassFirst ? "subclass first" : "record class first");
        LocalFrame frame;
        ztmctl::clearCalls();
        scriptOutcomes();
        jobject od = mixedList(subclassFirst, false);
        EXPECT_EQ(open(od, ZTOO_OUTPUT, newPint()), (Outcome{1, ZTRC_MULTIPLE_REASONS}));

        // The subclass's own hiding fields reach the queue manager, not the
        // record class's fields underneath them.
        const auto call = lastOpen();
        const auto& ors = call.record("ZTOR[]");
        ASSERT_EQ(ors.size(), 2 * sizeof(ZTOR));
        const size_t own = subclassFirst ? 0 : sizeof(ZTOR);
        const size_t plain = subclassFirst ? sizeof(ZTOR) : 0;
        EXPECT_EQ(fieldText(reinterpret_cast<const char*>(ors.data()) + own, 48), "OWN.Q");
        EXPECT_EQ(fieldText(reinterpret_cast<const char*>(ors.data()) + own + 48, 48), "OWN.Q");
        EXPECT_EQ(fieldText(reinterpret_cast<const char*>(ors.data()) + plain, 48), "PLAIN.Q");
        EXPECT_EQ(fieldText(reinterpret_cast<const char*>(ors.data()) + plain + 48, 48),
                  "PLAIN.QM");

        // Write-back: the subclass's own fields take its outcome, the hidden
        // ones and its extra fields stay as they were.
        const std::string ownOut = "[own 2/11 base -1/-1 extra 0/0]";
        const std::string plainOut = "[completion code 2, reason 22]";
        const std::string ownSecond = "[own 2/22 base -1/-1 extra 0/0]";
        const std::string plainFirst = "[completion code 2, reason 11]";
        EXPECT_EQ(responses(od), subclassFirst ? ownOut + plainOut : plainFirst + ownSecond);
        EXPECT_EQ(takePendingException(), "");
    }
}

TEST_F(ObjectsTest, ASubclassDeclaringLongsOfTheSameNamesGetsTheRecordsIntFields) {
    // "completionCode" as an int is the record class's field on such an
    // element: its longs stay as they were.
    for (bool subclassFirst : {true, false}) {
        SCOPED_TRACE(subclassFirst ? "subclass first" : "record class first");
        LocalFrame frame;
        scriptOutcomes();
        jobject od = mixedList(subclassFirst, true);
        EXPECT_EQ(open(od, ZTOO_OUTPUT, newPint()), (Outcome{1, ZTRC_MULTIPLE_REASONS}));
        EXPECT_EQ(responses(od), subclassFirst
                                     ? "[long -1/-1 base 2/11][completion code 2, reason 22]"
                                     : "[completion code 2, reason 11][long -1/-1 base 2/22]");
        EXPECT_EQ(takePendingException(), "");
    }
}

}  // namespace
}  // namespace objtest
