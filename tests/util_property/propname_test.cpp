// Property names: the shared name table, its hash and chains, the typed
// classes, redeclaration, dumps and the table's lifetime.
#include <Lmr_Util/PropName.h>
#include <Lmr_Util/Property.h>
#include <Lmr_Util/String.h>

#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::string dumped(const PropName &name) {
    std::ostringstream os;
    name.Dump(os);
    return os.str();
}

} // namespace

TEST(PropNameTable, HashAndBucket) {
    EXPECT_EQ(StringPropTypeChMap::Hash("", 0), 0u);
    // 'a' & 0x5F = 65; 65 ^ (65 << 7) = 8385; (8385 + 5189204) mod 29 = 6.
    EXPECT_EQ(StringPropTypeChMap::Hash("a", 1), 8385u);
    EXPECT_EQ(StringPropTypeChMap::Bucket("a", 1), 6u);
    // Upper and lower case hash alike.
    EXPECT_EQ(StringPropTypeChMap::Hash("A", 1), 8385u);
    // "ab": 8385 + 66 = 8451 = 0x2103; 0x2103 ^ 0x108180 = 0x10A083.
    EXPECT_EQ(StringPropTypeChMap::Hash("ab", 2), 0x10A083u);
    EXPECT_EQ(StringPropTypeChMap::Bucket("ab", 2), 23u);
    // The empty name: 5189204 = 29 * 178938 + 2.
    EXPECT_EQ(StringPropTypeChMap::Bucket("", 0), 2u);
}

TEST(PropNameTable, NewEntriesGoInFrontOfTheirChain) {
    longProp lower(String("a"));
    NodeProp upper(String("A"));
    ASSERT_NE(PropName::PropNameTable, nullptr);
    EXPECT_EQ(PropName::PropNameTable->Buckets(), 29u);
    // Same bucket, but case-sensitive names: two entries, the later first.
    EXPECT_NE(lower, upper);
    const PropNameEntry *chain = PropName::PropNameTable->Chain(6);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->name, "A");
    EXPECT_EQ(chain->type, NODEPROP);
    ASSERT_NE(chain->next, nullptr);
    EXPECT_EQ(chain->next->name, "a");
    EXPECT_EQ(chain->next->type, LONGPROP);
}

TEST(PropName, SameTextSameTypeIsEqual) {
    longProp a(String("width"));
    longProp b(String("width"));
    longProp c(String("height"));
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_TRUE(a != c);
    EXPECT_EQ(static_cast<int>(a), 1);
    EXPECT_EQ(a.RetName(), "width");
    EXPECT_EQ(a.RetType(), LONGPROP);
    PropName copy = c;
    EXPECT_TRUE(copy == c);
    copy = a;
    EXPECT_TRUE(copy == b);
    EXPECT_EQ(copy.RetType(), LONGPROP);
}

TEST(PropName, RedeclarationWithOtherTypeEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    longProp width(String("width"));
    EXPECT_EXIT(NodeProp(String("width")), testing::ExitedWithCode(2),
                "PropName: 'width' redeclared with different PropType\n"
                "Unexpected error detected\\.");
}

TEST(PropName, RedeclarationInsideAnInProcessRun) {
    // With an exit hook that throws, the failed declaration leaves no name
    // behind and the table stays usable.
    const long alive = PropName::ObjectsAlive();
    longProp width(String("width"));
    pt_exit_hook_t previous = pt_set_exit_hook(pt_throw_exit_request);
    testing::internal::CaptureStderr();
    int status = -1;
    try {
        NodeProp again(String("width"));
    } catch (const pt_exit_request &request) {
        status = request.status;
    }
    const std::string message = testing::internal::GetCapturedStderr();
    pt_set_exit_hook(previous);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(message.rfind("PropName: 'width' redeclared with different PropType\n"
                            "Unexpected error detected.\n",
                            0),
              0u);
    EXPECT_EQ(PropName::ObjectsAlive(), alive + 1);
    EXPECT_TRUE(longProp(String("width")) == width);
}

TEST(PropName, NamesWithoutEntry) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    GenericProp none(0);
    EXPECT_EQ(static_cast<int>(none), 0);
    EXPECT_TRUE(none == longProp(0));
    EXPECT_EQ(none.RetType(), GENERICPROP);
    EXPECT_EQ(none.RetName(), "");
    EXPECT_EXIT(longProp(5), testing::ExitedWithCode(2), "Unexpected error detected\\.");
}

TEST(PropName, AnyBytesAndLengths) {
    const std::string withNul("a\0b", 3);
    InstanceProp a(String("a"));
    InstanceProp nul{String(withNul)};
    EXPECT_NE(a, nul);
    EXPECT_EQ(nul.RetName().size(), 3u);
    EXPECT_EQ(InstanceProp(String(withNul)), nul);

    std::string longText(100000, 'x');
    BitFlagsProp longA{String(longText)};
    longText.back() = 'y';
    BitFlagsProp longB{String(longText)};
    EXPECT_NE(longA, longB);
    EXPECT_EQ(longB.RetName(), longText);

    NodeArrayProp high{String("\xff\x80\x01")};
    EXPECT_EQ(high.RetName(), "\xff\x80\x01");
    EXPECT_EQ(InstanceArrayProp(String("\xff\x80\x01x")).RetType(), INSTANCEARRAYPROP);
}

TEST(PropName, DumpLines) {
    EXPECT_EQ(dumped(longProp(String("width"))), "\nLONGPROP | width | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(NodeProp(String("n1"))), "\nNODEPROP | n1 | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(InstanceProp(String("i"))), "\nINSTANCEPROP | i | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(BitFlagsProp(String("f"))), "\nBITFLAGSPROP | f | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(NodeArrayProp(String("na"))), "\nNODEARRAYPROP | na | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(InstanceArrayProp(String("ia"))),
              "\nINSTANCEARRAYPROP | ia | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(GenericProp(String("g"))), "\nGENERICPROP | g | \nSTRINGPROPTYPECHMAP | 29");
    EXPECT_EQ(dumped(GenericProp(0)), "\nGENERICPROP |  | \nSTRINGPROPTYPECHMAP | 29");
    // A base-class copy dumps with the type of its entry.
    PropName base = NodeProp(String("n1"));
    EXPECT_EQ(dumped(base), "\nNODEPROP | n1 | \nSTRINGPROPTYPECHMAP | 29");
}

TEST(PropName, TableLivesWhileNamesOrNodesDo) {
    // No name or node of this suite outlives its test.
    ASSERT_EQ(PropName::ObjectsAlive(), 0);
    ASSERT_EQ(Property::ObjectsAlive(), 0);
    EXPECT_EQ(PropName::PropNameTable, nullptr);
    Property *node = nullptr;
    {
        longProp a(String("first"));
        EXPECT_EQ(PropName::ObjectsAlive(), 1);
        ASSERT_NE(PropName::PropNameTable, nullptr);
        EXPECT_EQ(PropName::PropNameTable->Entries(), 1u);
        {
            longProp b(a);
            EXPECT_EQ(PropName::ObjectsAlive(), 2);
        }
        EXPECT_EQ(PropName::ObjectsAlive(), 1);
        node = new Property(a, nullptr);
    }
    // The node still refers to its entry, so the table stays.
    EXPECT_EQ(PropName::ObjectsAlive(), 0);
    ASSERT_NE(PropName::PropNameTable, nullptr);
    EXPECT_EQ(node->RetName().RetName(), "first");
    EXPECT_EQ(node->RetType(), LONGPROP);
    delete node;
    EXPECT_EQ(PropName::PropNameTable, nullptr);

    // A new table starts empty.
    longProp again(String("first"));
    ASSERT_NE(PropName::PropNameTable, nullptr);
    EXPECT_EQ(PropName::PropNameTable->Entries(), 1u);
}
