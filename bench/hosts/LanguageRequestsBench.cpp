// The language host end to end, with Apertium: "ping" round trips, "languages" and "translate"
// cold (the first request of a fresh process) and warm, peak memory; and where a cold
// "translate" spends its time: our code, the Apertium programs' start-up, the `apertium` command.
// Usage: bench_language_requests
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ApertiumStages.hpp"
#include "HostBench.hpp"

using namespace quelvar::bench;

namespace {

const std::string kSentence = "The weather is nice today and my brother has a new car.";

class LanguageHost {
 public:
  LanguageHost() : process_(QUELVAR_LANGUAGE_HOST_BINARY) {}
  ~LanguageHost() { process_.finish(); }

  pid_t pid() const { return process_.pid(); }

  // One request and its reply; the time from sending to the whole reply, in milliseconds.
  double ask(nlohmann::json request, nlohmann::json* reply = nullptr) {
    request["version"] = 1;
    request["id"] = std::to_string(++ids_);
    const auto began = Clock::now();
    require(process_.send(request), "the language host stopped reading");
    const std::optional<nlohmann::json> answer = process_.readMessage();
    const double took = millisSince(began);
    require(answer.has_value(), "no reply from the language host to " + request.dump());
    if (reply) {
      *reply = *answer;
    }
    return took;
  }
  double translate(const std::string& target, bool mustSucceed = true) {
    nlohmann::json reply;
    const double took = ask(
        {{"type", "translate"}, {"text", kSentence}, {"source", "en"}, {"target", target}}, &reply);
    require(!mustSucceed || reply.value("ok", false),
            "\"translate\" failed: " + reply.dump() + " (is apertium-eng-spa installed?)");
    return took;
  }

 private:
  HostProcess process_;
  int ids_ = 0;
};

void print(const char* what, const std::vector<double>& times, const char* target = "",
           const char* unit = "ms") {
  std::printf("%-46s %s%s\n", what, describe(summarise(times), unit).c_str(), target);
}

}  // namespace

int main() {
  std::printf("QuelvarHost with Apertium\n");
  std::vector<double> spawnToPong, pings, languagesCold, languagesWarm;
  for (int run = 0; run < 3; ++run) {
    const auto spawned = Clock::now();
    LanguageHost host;
    host.ask({{"type", "ping"}});
    spawnToPong.push_back(millisSince(spawned));
    languagesCold.push_back(host.ask({{"type", "languages"}}));
    for (int i = 0; i < 10; ++i) {
      languagesWarm.push_back(host.ask({{"type", "languages"}}));
    }
    for (int i = 0; i < 500; ++i) {
      pings.push_back(host.ask({{"type", "ping"}}) * 1000);
    }
  }
  print("process start to first \"ping\" reply", spawnToPong);
  print("\"ping\" round trip", pings, "", "us");
  print("\"languages\", first in a process", languagesCold, " (target under 100 ms)");
  print("\"languages\", later in the process", languagesWarm, " (target under 100 ms)");

  std::vector<double> cold, warm, refused, ownCpu, programsCpu;
  long peak = 0, programsResident = 0;
  for (int run = 0; run < 5; ++run) {
    LanguageHost host;
    host.ask({{"type", "ping"}});
    const double own = cpuMillis(host.pid());
    cold.push_back(host.translate("es"));
    ownCpu.push_back(cpuMillis(host.pid()) - own);
    // The programs stay up for later requests; none ran before this one.
    double programs = 0;
    for (pid_t child : childProcesses(host.pid())) {
      programs += cpuMillis(child);
    }
    programsCpu.push_back(programs);
    for (int i = 0; i < 3; ++i) {
      warm.push_back(host.translate("es"));
    }
    // Refused after the installed-direction check, before any Apertium program starts.
    for (int i = 0; i < 3; ++i) {
      refused.push_back(host.translate("xx", false));
    }
    peak = std::max(peak, procStatus(host.pid(), "VmHWM"));
    programsResident = std::max(programsResident, childrenResident(host.pid()));
  }
  print("\"translate\" en->es, first in a process", cold, " (target under 1000 ms)");
  print("\"translate\" en->es, later in the process", warm, " (target under 50 ms)");
  print("\"translate\" en->xx, refused before Apertium", refused);
  print("cold \"translate\": processor time of the host", ownCpu);
  print("cold \"translate\": processor time of Apertium", programsCpu);
  std::printf("peak resident memory of the host: %.1f MB, of its warm Apertium programs: %.1f MB\n",
              peak / 1024.0, programsResident / 1024.0);

  // The same sentence through Apertium alone.
  std::vector<double> command, commandCpu;
  for (int run = 0; run < 5; ++run) {
    const ProgramCost cost = wholeCommand("eng-spa", kSentence);
    require(cost.wall >= 0, "the apertium command did not run");
    command.push_back(cost.wall);
    commandCpu.push_back(cost.cpu);
  }
  print("`apertium eng-spa`, one sentence, wall", command);
  print("`apertium eng-spa`, one sentence, processor", commandCpu);
  std::vector<ProgramCost> stages;
  for (int run = 0; run < 3; ++run) {
    const std::vector<ProgramCost> costs = stageStartups("eng-spa");
    require(!costs.empty(), "no eng-spa mode");
    if (stages.empty()) {
      stages = costs;
    }
    for (std::size_t i = 0; i < costs.size(); ++i) {
      stages[i].wall = std::min(stages[i].wall, costs[i].wall);
      stages[i].cpu = std::min(stages[i].cpu, costs[i].cpu);
    }
  }
  double cpuSum = 0, wallMax = 0;
  std::printf("start-up of each eng-spa program on empty input, least of 3 runs:\n");
  for (const ProgramCost& stage : stages) {
    std::printf("  %-22s %7.1f ms wall %7.1f ms processor\n", stage.command.c_str(), stage.wall,
                stage.cpu);
    cpuSum += stage.cpu;
    wallMax = std::max(wallMax, stage.wall);
  }
  std::printf(
      "  all %zu programs: %.0f ms processor together, the slowest %.0f ms wall; "
      "on 2 cores at least %.0f ms\n",
      stages.size(), cpuSum, wallMax, std::max(wallMax, cpuSum / 2));
  const double coldMedian = summarise(cold).median;
  std::printf("cold \"translate\" / `apertium` command: %.2f; warm / cold: %.2f\n",
              coldMedian / summarise(command).median, summarise(warm).median / coldMedian);
  return 0;
}
