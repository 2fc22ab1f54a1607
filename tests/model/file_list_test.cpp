#include "model/file_list.h"

#include <gtest/gtest.h>

namespace tilvane {
namespace {

std::vector<std::string> names(const FileList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i) out.push_back(list.text(i));
    return out;
}

TEST(FileList, SortsWithoutRegardToCaseAndValuesTravel) {
    FileList list;
    const char* added[] = {"b.png", "A.png", "c.png"};
    for (int i = 0; i < 3; ++i) {
        const auto position = list.add(added[i]);
        ASSERT_TRUE(position.has_value());
        ASSERT_TRUE(list.setValue(*position, i));
    }
    EXPECT_EQ(names(list), (std::vector<std::string>{"A.png", "b.png", "c.png"}));
    EXPECT_EQ(list.value(0), 1);
    EXPECT_EQ(list.value(1), 0);
    EXPECT_EQ(list.value(2), 2);
    EXPECT_EQ(list.findValue(2), 2);
    EXPECT_EQ(list.findValue(7), std::nullopt);
}

TEST(FileList, ByteOrderBreaksTiesAndEqualNamesKeepTheirOrder) {
    FileList list;
    list.setValue(*list.add("a.png"), 1);
    list.setValue(*list.add("A.png"), 2);
    list.setValue(*list.add("a.png"), 3);
    // Case folds to lower, as the C runtime's _stricmp does, so '_' sorts first.
    list.setValue(*list.add("_.png"), 4);
    EXPECT_EQ(names(list), (std::vector<std::string>{"_.png", "A.png", "a.png", "a.png"}));
    EXPECT_EQ(list.value(2), 1);
    EXPECT_EQ(list.value(3), 3);
}

TEST(FileList, RemoveAndOutOfRange) {
    FileList list;
    list.add("x.png");
    list.add("y.png");
    list.remove(0);
    EXPECT_EQ(names(list), (std::vector<std::string>{"y.png"}));
    list.remove(5);
    EXPECT_EQ(list.count(), 1);
    EXPECT_FALSE(list.setValue(1, 3));
    EXPECT_EQ(list.value(-1), 0);
    EXPECT_EQ(list.text(4), "");
    list.reset();
    EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace tilvane
