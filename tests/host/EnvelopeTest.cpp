// The reply envelope beyond the cases the end-to-end test sends: which requests get past the head.
#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

struct EnvelopeCase {
  const char* name;
  const char* request;
  const char* reply;
};

class EnvelopeTest : public HostTest, public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(EnvelopeTest, answers_with_the_whole_expected_reply) {
  EXPECT_EQ(respond(json::parse(GetParam().request)), json::parse(GetParam().reply));
  EXPECT_TRUE(speech.calls.empty());
  EXPECT_TRUE(translation.calls.empty());
}

constexpr const char* kInvalidA = R"({"version":1,"id":"a","ok":false,"error":"INVALID_REQUEST"})";
constexpr const char* kInvalidNoId =
    R"({"version":1,"id":"","ok":false,"error":"INVALID_REQUEST"})";
constexpr const char* kPong = R"({"version":1,"id":"a","ok":true,"text":"pong"})";

INSTANTIATE_TEST_SUITE_P(
    Requests, EnvelopeTest,
    ::testing::Values(
        EnvelopeCase{"version_as_float_one", R"({"version":1.0,"id":"a","type":"ping"})", kPong},
        EnvelopeCase{"version_true", R"({"version":true,"id":"a","type":"ping"})", kInvalidA},
        EnvelopeCase{"version_fraction", R"({"version":1.5,"id":"a","type":"ping"})", kInvalidA},
        EnvelopeCase{"version_missing", R"({"id":"a","type":"ping"})", kInvalidA},
        EnvelopeCase{"id_missing", R"({"version":1,"type":"ping"})", kInvalidNoId},
        EnvelopeCase{"id_echoed_on_bad_version", R"({"version":0,"id":"x y","type":"ping"})",
                     R"({"version":1,"id":"x y","ok":false,"error":"INVALID_REQUEST"})"},
        EnvelopeCase{"type_number", R"({"version":1,"id":"a","type":1})", kInvalidA},
        EnvelopeCase{"type_padded", R"({"version":1,"id":"a","type":" ping"})", kInvalidA},
        EnvelopeCase{"type_unknown", R"({"version":1,"id":"a","type":"pong"})", kInvalidA}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quelvar::testing
