#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(CliSmoke, PrintsItsVersion) {
    const char* cli = std::getenv("MV_CLI");
    ASSERT_NE(cli, nullptr);
    EXPECT_EQ(std::system((std::string(cli) + " --version > /dev/null").c_str()), 0);
}
