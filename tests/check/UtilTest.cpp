// The checker's plain helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/JavaOptions.h"

namespace {

TEST(JavaOptionsTest, ExactNamesAndNamesThatTakeTheirValue) {
    struct Row {
        const char* argument;
        bool known;
        bool next;
        bool telling;
    };
    const Row rows[] = {
        {"-cp", true, true, false},          {"-cpx", false, false, false},
        {"--add-opens", true, true, false},  {"--add-opens=a/b=c", true, false, true},
        {"-verbose", true, false, true},     {"-verbose:gc", true, false, true},
        {"-verbosegc", false, false, false}, {"-enableassertions:x", true, false, false},
        {"-ea:com.x...", true, false, true}, {"-h", true, false, false},
        {"-help-me", false, false, false},   {"--illegal-access=deny", true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        const JavaOption* option = javaOption(row.argument);
        ASSERT_EQ(option != nullptr, row.known);
        if (option != nullptr) {
            EXPECT_EQ(option->next, row.next);
            EXPECT_EQ(option->telling, row.telling);
        }
    }
}

}  // namespace
