#include "model/file_list.h"

#include <gtest/gtest.h>

namespace tilvane {
namespace {

// Names sort without regard to case ('_' before letters, as they fold to
// lower), byte order breaks ties, equal names keep their order, and each
// value travels with its name.
TEST(FileList, OrderAndValues) {
    FileList list;
    const char* added[] = {"b.png", "a.png", "A.png", "a.png", "_.png"};
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(list.setValue(*list.add(added[i]), i));
    std::vector<std::string> names;
    std::vector<int> values;
    for (int i = 0; i < list.count(); ++i) {
        names.push_back(list.text(i));
        values.push_back(list.value(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"_.png", "A.png", "a.png", "a.png", "b.png"}));
    EXPECT_EQ(values, (std::vector<int>{4, 2, 1, 3, 0}));
    EXPECT_EQ(list.findValue(3), 3);
    EXPECT_EQ(list.findValue(7), std::nullopt);
    list.remove(0);
    list.remove(9);
    EXPECT_EQ(list.text(0), "A.png");
    EXPECT_EQ(list.count(), 4);
    EXPECT_FALSE(list.setValue(4, 3));
    EXPECT_EQ(list.text(-1), "");
}

}  // namespace
}  // namespace tilvane
