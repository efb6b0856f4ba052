// The translation directions of the distribution's Apertium pair packages (Debian 12), so that a
// direction can be told apart as "install a package" rather than "not translatable".
#include "platform/linux/apertium/ModeCatalogue.hpp"

namespace quelvar::apertium {
namespace {

struct Pair {
  const char* first;
  const char* second;
  bool bothWays;
};

// Package apertium-X-Y translates X to Y, and Y to X when bothWays. Codes are those of the modes
// the packages install; either code style is matched against tags in the same way.
constexpr Pair packagedPairTable[] = {
    {"afr", "nld", false}, {"arg", "cat", true}, {"bel", "rus", true},  {"br", "fr", false},
    {"cat", "ita", true},  {"cat", "srd", true}, {"dan", "nob", true},  {"dan", "nno", true},
    {"en", "gl", true},    {"eng", "cat", true}, {"eng", "spa", true},  {"ca", "eo", false},
    {"en", "eo", false},   {"es", "eo", false},  {"fr", "eo", false},   {"es", "gl", true},
    {"es", "pt", true},    {"es", "ro", true},   {"en", "eu", false},   {"es", "eu", false},
    {"fr", "es", true},    {"fra", "cat", true}, {"fra", "frp", true},  {"hbs", "eng", true},
    {"hbs", "mkd", true},  {"hbs", "slv", true}, {"ind", "zlm", true},  {"isl", "eng", false},
    {"isl", "swe", false}, {"mkd", "bul", true}, {"mkd", "eng", false}, {"nno", "nob", true},
    {"oc", "ca", true},    {"oc", "es", true},   {"oci", "fra", true},  {"pol", "szl", true},
    {"por", "cat", true},  {"pt", "gl", true},   {"rus", "ukr", true},  {"spa", "arg", true},
    {"spa", "ast", false}, {"spa", "cat", true}, {"spa", "ita", true},  {"srd", "ita", true},
    {"swe", "dan", true},  {"swe", "nob", true}, {"swe", "nno", true},  {"urd", "hin", true},
};

}  // namespace

std::vector<PackagedPair> packagedPairs() {
  std::vector<PackagedPair> pairs;
  for (const auto& pair : packagedPairTable) {
    PackagedPair packaged{"apertium-" + std::string(pair.first) + "-" + pair.second,
                          {{pair.first, pair.second}}};
    if (pair.bothWays) {
      packaged.directions.push_back({pair.second, pair.first});
    }
    pairs.push_back(std::move(packaged));
  }
  return pairs;
}

std::vector<Direction> packagedDirections() {
  std::vector<Direction> directions;
  for (const auto& pair : packagedPairs()) {
    directions.insert(directions.end(), pair.directions.begin(), pair.directions.end());
  }
  return directions;
}

}  // namespace quelvar::apertium
