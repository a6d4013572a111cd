// Property lists: move-to-front Put and Find, the const Find, Delete,
// ownership of GenericType values, the node free list, dumps, long lists and
// the reaction to a failed node allocation.
#include <Lmr_Util/Property.h>
#include <Lmr_Util/String.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void *ptr(unsigned long value) { return reinterpret_cast<void *>(value); }

// The names along a list, front first.
std::vector<std::string> namesOf(const Property *head) {
    std::vector<std::string> names;
    for (const Property *node = head; node; node = node->RetNext())
        names.push_back(node->RetName().RetName());
    return names;
}

// A value that counts its own destruction.
class Counted : public GenericType {
public:
    explicit Counted(int *deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int *deaths;
};

class PropertyList : public testing::Test {
protected:
    longProp a{String("a")}, b{String("b")}, c{String("c")}, d{String("d")};
    Property *head = nullptr;
    void SetUp() override {
        // c, b, a
        head = new Property(a, ptr(1));
        head = head->Put(b, ptr(2));
        head = head->Put(c, ptr(3));
    }
    void TearDown() override { delete head; }
};

} // namespace

TEST_F(PropertyList, PutNewNameGoesInFront) {
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"c", "b", "a"}));
    head = head->Put(d, ptr(4));
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"d", "c", "b", "a"}));
    EXPECT_EQ(head->RetValue(), ptr(4));
}

TEST_F(PropertyList, PutExistingNameMovesItToFront) {
    Property *node = head->Put(a, ptr(10));
    EXPECT_EQ(node->RetValue(), ptr(10));
    head = node;
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"a", "c", "b"}));
    head = head->Put(a, ptr(11));
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(head->RetValue(), ptr(11));
}

TEST_F(PropertyList, FindMovesToFront) {
    Property *found = head->Find(a);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->RetValue(), ptr(1));
    head = found;
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(head->Find(d), nullptr);
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(head->Find(a), head);
}

TEST_F(PropertyList, ConstFindMovesNothing) {
    const Property *list = head;
    const Property *found = list->Find(a);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->RetValue(), ptr(1));
    EXPECT_EQ(list->Find(d), nullptr);
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(PropertyList, DeleteUnlinksOneNode) {
    const long alive = Property::ObjectsAlive();
    Delete(head, b);
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"c", "a"}));
    EXPECT_EQ(Property::ObjectsAlive(), alive - 1);
    Delete(head, d);
    EXPECT_EQ(Property::ObjectsAlive(), alive - 1);
    Delete(head, c);
    EXPECT_EQ(namesOf(head), (std::vector<std::string>{"a"}));
    Delete(head, a);
    EXPECT_EQ(head, nullptr);
    Delete(head, a);
    EXPECT_EQ(Property::ObjectsAlive(), alive - 3);
}

TEST_F(PropertyList, DumpEveryNode) {
    head = head->Put(InstanceProp(String("g")), ptr(0x2a0));
    std::ostringstream os;
    head->Dump(os);
    EXPECT_EQ(os.str(), "\nPROPERTY | g | 0x2a0"
                        "\nPROPERTY | c | 0x3"
                        "\nPROPERTY | b | 0x2"
                        "\nPROPERTY | a | 0x1");
}

TEST(Property, RetTypeIsTheNameType) {
    Property *list = new Property(NodeProp(String("node")), nullptr);
    list = list->Put(BitFlagsProp(String("flags")), nullptr);
    EXPECT_EQ(list->RetType(), BITFLAGSPROP);
    EXPECT_EQ(list->RetNext()->RetType(), NODEPROP);
    delete list;
}

TEST(Property, GenericValuesAreOwned) {
    int deaths = 0;
    GenericProp owned(String("owned"));
    longProp plain(String("plain"));
    Counted notOwned(&deaths);

    Property *list = new Property(owned, new Counted(&deaths));
    list = list->Put(plain, &notOwned);
    // Replacing an owned value deletes the old one; the same value again
    // keeps it.
    list = list->Put(owned, new Counted(&deaths));
    EXPECT_EQ(deaths, 1);
    list = list->Put(owned, list->Find(owned)->RetValue());
    EXPECT_EQ(deaths, 1);
    // Deleting the node deletes its value; the plain value is untouched.
    GenericProp other(String("other"));
    list = list->Put(other, new Counted(&deaths));
    Delete(list, owned);
    EXPECT_EQ(deaths, 2);
    delete list;
    EXPECT_EQ(deaths, 3);
}

TEST(Property, FreeListFilledHundredAtATime) {
    longProp name(String("n"));
    const long alive = Property::ObjectsAlive();
    const long onFreeList = Property::RetNumOnFreeList();
    // Use up the free list, then one more: exactly one refill of 100.
    Property *list = nullptr;
    for (long i = 0; i <= onFreeList; ++i)
        list = new Property(name, nullptr, list);
    EXPECT_EQ(Property::ObjectsAlive(), alive + onFreeList + 1);
    EXPECT_EQ(Property::RetNumOnFreeList(), 99);
    // Nodes go back to the free list, never to the system.
    delete list;
    EXPECT_EQ(Property::ObjectsAlive(), alive);
    EXPECT_EQ(Property::RetNumOnFreeList(), onFreeList + 100);
}

TEST(Property, MillionNodeList) {
    longProp name(String("n"));
    GenericProp generic(String("generic"));
    int deaths = 0;
    Property *list = new Property(generic, new Counted(&deaths));
    for (int i = 1; i < 1000000; ++i)
        list = new Property(name, ptr(0x10), list);
    std::ostringstream os;
    list->Dump(os);
    const std::string text = os.str();
    const std::string line = "\nPROPERTY | n | 0x10";
    std::string expected;
    for (int i = 1; i < 1000000; ++i)
        expected += line;
    expected += "\nPROPERTY | generic | 0x";
    ASSERT_GT(text.size(), expected.size());
    EXPECT_EQ(text.compare(0, expected.size(), expected), 0);
    EXPECT_EQ(text.find('\n', expected.size()), std::string::npos);
    // The last node found from the front is moved in one step.
    Property *found = list->Find(generic);
    ASSERT_NE(found, nullptr);
    list = found;
    delete list;
    EXPECT_EQ(deaths, 1);
}

TEST(Property, GlobalsStartEmpty) {
    EXPECT_EQ(NameValueTable, nullptr);
    EXPECT_EQ(TraversalMark, 0ul);
}

#if defined(__SANITIZE_ADDRESS__)
#define LMR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LMR_UNDER_ASAN 1
#endif
#endif

TEST(Property, NodeAllocationFailureEndsWithMessage) {
#ifdef LMR_UNDER_ASAN
    GTEST_SKIP() << "address-space limits do not work under the address sanitizer";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    longProp name(String("n"));
    EXPECT_EXIT(
        {
            // Leave the child a little room above what it uses now, then
            // take nodes until there is none.
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            std::ifstream status("/proc/self/statm");
            unsigned long pages = 0;
            status >> pages;
            limit.rlim_cur = pages * 4096ul + (64ul << 20);
            setrlimit(RLIMIT_AS, &limit);
            Property *list = nullptr;
            for (;;)
                list = new Property(name, nullptr, list);
        },
        testing::ExitedWithCode(2), "Property: out of memory for property list nodes");
#endif
}
