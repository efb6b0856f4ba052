// Whether a speech model can be loaded without risking the process that asks.
#pragma once

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

namespace quelvar::pocketsphinx {

// Loads the model's acoustic model in a child process and says whether it loaded. On some damage
// (a garbage model definition file) the engine ends the whole process rather than fail, so the
// first try must not happen in a host. The answer is kept for the life of the process, and a
// success also in the model's cache folder for as long as its files stay the same ones. Blocks
// for the child's load, a few tens of milliseconds, when it has to check.
Status probeAcousticModel(const RecogniserModel& model);

}  // namespace quelvar::pocketsphinx
