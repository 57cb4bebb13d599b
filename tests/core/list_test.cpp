#include "core/list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tess {
namespace {

// Element that counts its own destruction, to see what the list releases.
struct Tracked {
    Tracked(int id, int* released) : id(id), released(released) {}
    ~Tracked() {
        if (released) ++*released;
    }
    int id;
    int* released;
};

// Borrowed ints a..f, so the tests can name elements by identity.
struct Elements {
    int a = 1, b = 2, c = 3, d = 4, e = 5, x = 99;
};

std::vector<int> contents(const List<int>& list) {
    std::vector<int> out;
    for (int* e : list) out.push_back(*e);
    return out;
}

std::vector<int> walk(List<int>& list, bool backward) {
    std::vector<int> out;
    list.rewind();
    while (int* e = list.next(backward, true)) out.push_back(*e);
    return out;
}

TEST(List, ClearOfEmptyListReportsNotFoundAndChangesNothing) {
    List<int> list;
    EXPECT_EQ(list.clear(), -2);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.cursor(), nullptr);
}

TEST(List, ClearEmptiesAndReleasesOwnedElementsOnly) {
    int released = 0;
    Tracked borrowed(7, &released);
    List<Tracked> list;
    list.add(std::make_unique<Tracked>(1, &released));
    list.add_ref(&borrowed);
    list.add(std::make_unique<Tracked>(2, &released));
    list.next();
    EXPECT_EQ(list.clear(), 0);
    EXPECT_EQ(released, 2);
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.cursor(), nullptr);
    EXPECT_EQ(list.clear(), -2);
}

TEST(List, TakeLastOfSingleElementLeavesListEmpty) {
    int released = 0;
    List<Tracked> list;
    list.add(std::make_unique<Tracked>(1, &released));
    list.next();
    auto taken = list.take_last();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->id, 1);
    EXPECT_EQ(released, 0);  // the element went to the caller alive
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.cursor(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    EXPECT_EQ(list.take_last(), nullptr);
}

TEST(List, TakeLastWorksAsStack) {
    List<int> list;
    for (int i = 1; i <= 3; ++i) list.add(std::make_unique<int>(i));
    std::vector<int> popped;
    while (auto e = list.take_last()) popped.push_back(*e);
    EXPECT_EQ(popped, (std::vector<int>{3, 2, 1}));
}

TEST(List, TakeLastRefPopsBorrowedElements) {
    Elements el;
    List<int> fired;
    fired.add_ref(&el.a);
    fired.add_ref(&el.b);
    fired.add_ref(&el.c);
    std::vector<int*> popped;
    while (int* e = fired.take_last_ref()) popped.push_back(e);
    EXPECT_EQ(popped, (std::vector<int*>{&el.c, &el.b, &el.a}));
    EXPECT_TRUE(fired.empty());
}

TEST(List, TakeLastOfTheOtherKindLeavesTheNode) {
    int released = 0;
    Tracked borrowed(0, &released);
    List<Tracked> list;
    list.add(std::make_unique<Tracked>(1, &released));
    EXPECT_EQ(list.take_last_ref(), nullptr);  // owned: would dangle
    EXPECT_EQ(list.count(), 1u);
    list.add_ref(&borrowed);
    EXPECT_EQ(list.take_last(), nullptr);  // borrowed: would be lost
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(list.take_last_ref(), &borrowed);
    auto owned = list.take_last();
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->id, 1);
    EXPECT_EQ(released, 0);
    EXPECT_TRUE(list.empty());
}

TEST(List, WalksInBothDirectionsAndEndWithCursorNone) {
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    list.add_ref(&el.b);
    list.add_ref(&el.c);

    EXPECT_EQ(walk(list, false), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.cursor(), nullptr);
    EXPECT_EQ(walk(list, true), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(list.cursor(), nullptr);
    // After an ended walk the next call starts afresh.
    EXPECT_EQ(list.next(), &el.a);
}

TEST(List, WithoutStopAtWrapTheCursorCycles) {
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    list.add_ref(&el.b);
    EXPECT_EQ(list.next(false, false), &el.a);
    EXPECT_EQ(list.next(false, false), &el.b);
    EXPECT_EQ(list.next(false, false), &el.a);
    EXPECT_EQ(list.next(true, false), &el.b);
    EXPECT_EQ(list.next(true, false), &el.a);
    EXPECT_EQ(list.next(true, false), &el.b);
}

TEST(List, SingleElementWalk) {
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    EXPECT_EQ(list.next(), &el.a);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(true), &el.a);
    EXPECT_EQ(list.next(true), nullptr);
    EXPECT_EQ(list.next(false, false), &el.a);
    EXPECT_EQ(list.next(false, false), &el.a);
}

TEST(List, RemoveTakesOccurrenceNearestHead) {
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    list.add_ref(&el.b);
    list.add_ref(&el.a);
    EXPECT_EQ(list.remove(&el.a), 0);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list.first(), &el.b);
    EXPECT_EQ(list.last(), &el.a);
    EXPECT_EQ(list.remove(&el.x), -2);
    EXPECT_EQ(list.count(), 2u);
    List<int> empty;
    EXPECT_EQ(empty.remove(&el.a), -2);
}

TEST(List, RemoveReleasesOrHandsOverOwnedElement) {
    int released = 0;
    List<Tracked> list;
    list.add(std::make_unique<Tracked>(1, &released));
    list.add(std::make_unique<Tracked>(2, &released));
    Tracked* first = list.first();
    Tracked* second = list.last();

    std::unique_ptr<Tracked> taken;
    EXPECT_EQ(list.remove(first, false, &taken), 0);
    EXPECT_EQ(released, 0);
    ASSERT_EQ(taken.get(), first);

    EXPECT_EQ(list.remove(second), 0);
    EXPECT_EQ(released, 1);
    EXPECT_TRUE(list.empty());
}

struct CursorRemoval {
    const char* name;
    bool backward;
    int steps;                        // list_next calls before the removal
    std::vector<int> expected_after;  // what the walk yields afterwards
    int expected_cursor;
};

class ListCursorRemoval : public testing::TestWithParam<CursorRemoval> {};

TEST_P(ListCursorRemoval, CursorMovesToFollowingNode) {
    const auto& p = GetParam();
    List<int> list;
    for (int i = 1; i <= 4; ++i) list.add(std::make_unique<int>(i));
    list.rewind();
    int* under = nullptr;
    for (int i = 0; i < p.steps; ++i) under = list.next(p.backward);
    ASSERT_NE(under, nullptr);
    ASSERT_EQ(list.remove(under), 0);
    ASSERT_NE(list.cursor(), nullptr);
    EXPECT_EQ(*list.cursor(), p.expected_cursor);
    std::vector<int> after;
    while (int* e = list.next(p.backward)) after.push_back(*e);
    EXPECT_EQ(after, p.expected_after);
}

INSTANTIATE_TEST_SUITE_P(List, ListCursorRemoval,
                         testing::Values(
                             // forward walk at 2: cursor on 3, the next step skips it
                             CursorRemoval{"ForwardMiddle", false, 2, {4}, 3},
                             // forward walk on the head: head and cursor move to 2
                             CursorRemoval{"ForwardHead", false, 1, {3, 4}, 2},
                             // the last node: the cursor wraps to the head and the walk goes on
                             // from there until it meets the head again
                             CursorRemoval{"ForwardLast", false, 4, {2, 3}, 1},
                             // backward walk: the cursor still moves forward to the following node
                             CursorRemoval{"BackwardMiddle", true, 2, {2, 1}, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

struct InsertCase {
    const char* name;
    int cursor_steps;  // 0: no cursor, otherwise list_next calls first
    int32_t mode;
    std::vector<int> expected;
};

class ListInsert : public testing::TestWithParam<InsertCase> {};

TEST_P(ListInsert, NodeGoesWhereTheModeSays) {
    const auto& p = GetParam();
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    list.add_ref(&el.b);
    list.add_ref(&el.c);
    list.rewind();
    for (int i = 0; i < p.cursor_steps; ++i) list.next();
    int* cursor_before = list.cursor();

    EXPECT_EQ(list.add_ref(&el.x, p.mode), 0);
    EXPECT_EQ(list.count(), 4u);
    EXPECT_EQ(contents(list), p.expected);
    EXPECT_EQ(list.cursor(), cursor_before);
}

INSTANTIATE_TEST_SUITE_P(
    List, ListInsert,
    testing::Values(InsertCase{"Mode0Appends", 0, 0, {1, 2, 3, 99}},
                    InsertCase{"Mode1Prepends", 0, 1, {99, 1, 2, 3}},
                    InsertCase{"NegativeModePrepends", 0, -1, {99, 1, 2, 3}},
                    InsertCase{"Mode2WithoutCursorPrepends", 0, 2, {99, 1, 2, 3}},
                    InsertCase{"Mode3WithoutCursorPrepends", 0, 3, {99, 1, 2, 3}},
                    InsertCase{"Mode0WithCursorAppends", 2, 0, {1, 2, 3, 99}},
                    InsertCase{"Mode1WithCursorPrepends", 2, 1, {99, 1, 2, 3}},
                    InsertCase{"Mode2AfterCursor", 2, 2, {1, 2, 99, 3}},
                    InsertCase{"Mode2AfterLastCursorIsLast", 3, 2, {1, 2, 3, 99}},
                    InsertCase{"Mode2AfterHeadCursor", 1, 2, {1, 99, 2, 3}},
                    InsertCase{"Mode3BeforeCursor", 2, 3, {1, 99, 2, 3}},
                    InsertCase{"Mode3BeforeHeadCursorIsLast", 1, 3, {1, 2, 3, 99}},
                    InsertCase{"Mode7BeforeCursor", 3, 7, {1, 2, 99, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(List, FirstNodeIgnoresTheMode) {
    for (int32_t mode : {-5, 0, 1, 2, 3, 100}) {
        Elements el;
        List<int> list;
        EXPECT_EQ(list.add_ref(&el.a, mode), 0);
        EXPECT_EQ(list.count(), 1u);
        EXPECT_EQ(list.first(), &el.a);
        EXPECT_EQ(list.last(), &el.a);
        EXPECT_EQ(list.cursor(), nullptr);
    }
}

TEST(List, RangeForLeavesCursorAlone) {
    Elements el;
    List<int> list;
    list.add_ref(&el.a);
    list.add_ref(&el.b);
    list.add_ref(&el.c);
    list.rewind();
    EXPECT_EQ(list.next(), &el.a);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.next(), &el.b);
}

TEST(List, DestructionAndInitReleaseOwnedElements) {
    int released = 0;
    Tracked borrowed(0, &released);
    {
        List<Tracked> list;
        list.add(std::make_unique<Tracked>(1, &released));
        list.add_ref(&borrowed);
        EXPECT_EQ(list.init(), 0);
        EXPECT_EQ(released, 1);
        EXPECT_TRUE(list.empty());
        list.add(std::make_unique<Tracked>(2, &released));
    }
    EXPECT_EQ(released, 2);
}

TEST(List, MoveKeepsElementsAndEmptiesSource) {
    List<int> a;
    a.add(std::make_unique<int>(1));
    a.add(std::make_unique<int>(2));
    a.next();
    List<int> b(std::move(a));
    EXPECT_EQ(contents(b), (std::vector<int>{1, 2}));
    EXPECT_EQ(b.cursor(), nullptr);
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(a.next(), nullptr);
    a = std::move(b);
    EXPECT_EQ(walk(a, false), (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace tess
