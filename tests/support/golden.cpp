#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ots::test {

void ExpectGolden(const std::string& text, const std::string& path) {
    if (std::getenv("OTS_REGOLDEN") != nullptr) {
        std::ofstream(path) << text;
        return;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in.is_open()) << "no golden text at " << path;
    EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(in), {})) << "against " << path;
}

}  // namespace ots::test
