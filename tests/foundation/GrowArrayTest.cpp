#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/XmlNode.h"

#include <gtest/gtest.h>

namespace {

GrowArray<GrowString> strings(std::initializer_list<const char*> texts) {
    GrowArray<GrowString> result;
    for (const char* t : texts) result.append(GrowString(t));
    return result;
}

TEST(GrowArray, GrowthDoublesFromTwoAndFreshSlotsHoldEmptyStrings) {
    GrowArray<GrowString> a;
    EXPECT_EQ(a.data, nullptr);
    const int32_t expectedCapacity[] = {2, 2, 4, 4, 8};
    const char* texts[] = {"a", "b", "c", "d", "e"};
    for (int i = 0; i < 5; ++i) {
        a.append(GrowString(texts[i]));
        EXPECT_EQ(a.count, i + 1);
        EXPECT_EQ(a.capacity, expectedCapacity[i]);
    }
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(a[i].c_str(), texts[i]);
    // Slots past count hold a terminated "" (length 1), not a buffer-less string.
    for (int i = 5; i < 8; ++i) {
        EXPECT_EQ(a[i].length, 1);
        EXPECT_STREQ(a[i].c_str(), "");
    }
    // Growth copies every slot into a tight, terminated string.
    EXPECT_EQ(a[0].capacity, a[0].length);
}

TEST(GrowArray, CopiesAreTight) {
    GrowArray<GrowString> a = strings({"a", "b", "c", "d", "e"});
    a.removeAt(4);
    a.removeAt(3);
    ASSERT_EQ(a.count, 3);
    ASSERT_EQ(a.capacity, 8);
    GrowArray<GrowString> b;
    b = a;
    EXPECT_EQ(b.count, 3);
    EXPECT_EQ(b.capacity, 3);
    EXPECT_STREQ(b[2].c_str(), "c");
    const GrowArray<GrowString> c(a);
    EXPECT_EQ(c.capacity, 3);

    const struct {
        const char* what;
        GrowArray<GrowString> source;
    } emptySources[] = {{"never used", GrowArray<GrowString>()}, {"emptied", strings({"x"})}};
    for (const auto& e : emptySources) {
        SCOPED_TRACE(e.what);
        GrowArray<GrowString> source = e.source;
        if (source.count) source.removeAt(0);
        GrowArray<GrowString> target = strings({"old"});
        target = source;
        EXPECT_EQ(target.data, nullptr);
        EXPECT_EQ(target.count, 0);
        EXPECT_EQ(target.capacity, 0);
    }
}

TEST(GrowArray, RemoveAtLeavesTheLastSlotStale) {
    GrowArray<GrowString> a = strings({"a", "b", "c"});
    a.removeAt(0);
    ASSERT_EQ(a.count, 2);
    EXPECT_STREQ(a[0].c_str(), "b");
    EXPECT_STREQ(a[1].c_str(), "c");
    EXPECT_STREQ(a[2].c_str(), "c");  // the slot that was last keeps its value
    a.removeAt(5);
    a.removeAt(-1);
    EXPECT_EQ(a.count, 2);
}

TEST(GrowArray, NumbersAndPointers) {
    GrowArray<int> numbers;
    for (int i = 0; i < 9; ++i) numbers.append(i * i);
    EXPECT_EQ(numbers.capacity, 16);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(numbers[i], i * i);
    for (int i = 9; i < 16; ++i) EXPECT_EQ(numbers[i], 0);
    numbers.insertAt(0, -1);
    numbers.insertAt(100, 99);
    EXPECT_EQ(numbers[0], -1);
    EXPECT_EQ(numbers[10], 99);
    EXPECT_EQ(numbers.count, 11);

    GrowArray<int*> pointers;
    pointers.grow();
    EXPECT_EQ(pointers.capacity, 2);
    EXPECT_EQ(pointers.count, 0);
    EXPECT_EQ(pointers[0], nullptr);
    EXPECT_EQ(pointers[1], nullptr);
}

TEST(GrowArray, SelfAssignmentAndElementsOfItself) {
    GrowArray<GrowString> a = strings({"a", "b"});
    GrowArray<GrowString>& same = a;
    a = same;
    EXPECT_EQ(a.count, 2);
    EXPECT_STREQ(a[1].c_str(), "b");
    a = std::move(same);
    EXPECT_EQ(a.count, 2);

    a.append(a[0]);  // full: growing frees the slot the value sits in
    a.append(a[2]);
    a.insertAt(0, a[3]);
    ASSERT_EQ(a.count, 5);
    const char* expected[] = {"a", "a", "b", "a", "a"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(a[i].c_str(), expected[i]);

    // An array of nodes taking over an array that lives inside one of them.
    GrowArray<XmlNode> nodes;
    XmlNode parent(GrowString("parent"), GrowString(""));
    parent.addChild(GrowString("kid"), GrowString("k"));
    nodes.append(parent);
    nodes = std::move(nodes[0].children);
    ASSERT_EQ(nodes.count, 1);
    EXPECT_STREQ(nodes[0].tag.c_str(), "kid");
    nodes.append(parent);
    nodes = nodes[1].children;
    ASSERT_EQ(nodes.count, 1);
    EXPECT_STREQ(nodes[0].text.c_str(), "k");
    // Appending a grandchild while growing frees the element that holds it.
    nodes.append(parent);
    ASSERT_EQ(nodes.count, nodes.capacity);
    nodes.append(nodes[1].children[0]);
    ASSERT_EQ(nodes.count, 3);
    EXPECT_STREQ(nodes[2].tag.c_str(), "kid");
}

}  // namespace
