// The service against the real Apertium engine with the English-Spanish pair installed.
#include <gtest/gtest.h>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace quelvar::apertium {
namespace {

// Outer whitespace is kept, the appended sentence end comes off again and unknown words get no
// mark.
TEST(ApertiumEngineTest, aSessionTranslatesSegmentAfterSegment) {
  if (!std::filesystem::exists(defaultModesDirectory / "eng-spa.mode")) {
    GTEST_SKIP() << "apertium-eng-spa is not installed";
  }
  asio::io_context io;
  ApertiumTranslation service{io.get_executor(), std::make_shared<SteadyClock>()};
  auto session = service.makeSession("en", "es");
  for (const auto& [text, translation] :
       {std::pair{"  The dog eats.\n", "  El perro come.\n"}, {"zorblax", "zorblax"}}) {
    auto answer = testing::runUntilDone(io, session->translate(text)).value_or(cancelledError());
    ASSERT_TRUE(answer.ok()) << text << ": " << answer.error().description;
    EXPECT_EQ(answer.value(), translation);
  }
}

}  // namespace
}  // namespace quelvar::apertium
