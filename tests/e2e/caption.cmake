# Tests of the caption client: its pure parts, the client against a scriptable fake host, and the
# demo against the real speech host.
add_executable(quelvar_caption_fake_host ${CMAKE_CURRENT_LIST_DIR}/CaptionFakeHost.cpp)
target_link_libraries(quelvar_caption_fake_host PRIVATE quelvar_common)

add_executable(quelvar_caption_tests
  ${CMAKE_CURRENT_LIST_DIR}/CaptionAudioTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionClientTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionDemoTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionDisplayTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionOptionsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionSegmentLogTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptionSubtitlesTest.cpp
)
target_link_libraries(quelvar_caption_tests PRIVATE quelvar_caption quelvar_test_support
  GTest::gmock GTest::gtest_main)
target_compile_definitions(quelvar_caption_tests PRIVATE
  QUELVAR_CAPTION_CLIENT="$<TARGET_FILE:quelvar-caption>"
  QUELVAR_CAPTION_FAKE_HOST="$<TARGET_FILE:quelvar_caption_fake_host>"
  QUELVAR_SPEECH_HOST="$<TARGET_FILE:QuelvarSpeech>"
  QUELVAR_SAMPLE_CLIP="${QUELVAR_SAMPLE_CLIP}")
add_dependencies(quelvar_caption_tests quelvar-caption quelvar_caption_fake_host QuelvarSpeech)
gtest_discover_tests(quelvar_caption_tests PROPERTIES TIMEOUT 120)
