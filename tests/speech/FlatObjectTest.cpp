// The flat object reader against the full parser: what it takes, it reads as the parser does;
// everything else it leaves to the parser.
#include <gtest/gtest.h>

#include "FlatReading.hpp"

namespace quelvar {
namespace {

struct Case {
  std::string body;
  bool taken;  // read by the flat reader rather than left to the full parser
};

TEST(FlatObject, readsPlainObjectsAsTheParserDoesAndLeavesEverythingElse) {
  const Case cases[] = {
      {R"({"version":1,"type":"ping"})", true},
      {" {\t\"a\" :\r-12 ,\n\"b\":\"\" } ", true},
      {R"({"k":1,"k":"last"})", true},
      {"{}", true},
      {R"({"n":999999999999999999,"m":-0})", true},
      {R"({"n":1234567890123456789})", false},  // 19 digits
      {R"({"v":1.0})", false},
      {R"({"s":"a\nb"})", false},
      {std::string("{\"s\":\"\0\"}", 8), false},
      {R"({"a":1,})", false},
      {R"({"a":01})", false},
      {R"({"a":-})", false},
      {R"({"a":"x})", false},
      {R"({"a":1} x)", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(testing::flatReadingAgrees(c.body), c.taken ? std::optional(true) : std::nullopt)
        << c.body;
  }
}

}  // namespace
}  // namespace quelvar
