// Entry point of the companion app, with the display name and extension ID of this build.
#include "BuildValues.hpp"
#include "CompanionApp.hpp"

int main(int argc, char** argv) {
  return quelvar::CompanionApp::main(argc, argv, quelvar::build::displayName,
                                     quelvar::build::chromeExtensionID);
}
