// Boards handed to the machine's hwmon for the tests that run the monitor against an exported
// kernel tree: the board file with "hwmon": true, and a headless run of velmond in the tree.
#pragma once

#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>

#include "monitor/app/Velmond.h"
#include "tests/support/EnvScope.h"

namespace velmo::test {

// A private folder for one test's boards, settings and trees.
struct Workspace {
  std::filesystem::path dir;
  explicit Workspace(const std::string& name) {
    // Memory-backed where there is one: every run saves its settings with fsync.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    dir = base / ("velmo-hwmon-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "runtime");
    // The runs' instance lock and settings folders are this test's own, so tests that run
    // velmond side by side never meet.
    env.Set("XDG_RUNTIME_DIR", (dir / "runtime").string());
    env.Set("XDG_CONFIG_HOME", (dir / "config").string());
    env.Set("HOME", dir.string());
  }
  EnvScope env;
  ~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  }
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The board file's JSON (comments dropped) with "hwmon" set as asked.
inline std::string WithHwmon(const std::string& boardText, bool hwmon) {
  nlohmann::ordered_json board = nlohmann::ordered_json::parse(boardText, nullptr, true, true);
  board.erase("trace");
  if (hwmon)
    board["hwmon"] = true;
  else
    board.erase("hwmon");
  return board.dump();
}

// velmond --headless in this process: its event lines. The settings start empty every time.
inline std::string HeadlessRun(const Workspace& ws, const std::string& board, int ticks,
                               const std::string& tag) {
  app::Options options;
  options.headless = true;
  options.board = board;
  options.registry = (ws.dir / ("registry-" + tag + ".reg")).string();
  std::filesystem::remove(options.registry);
  options.ticks = ticks;
  options.confirmAlarm = true;
  options.dryRunPower = true;
  std::ostringstream out;
  const int code = app::RunVelmond(options, out);
  return out.str() + "exit " + std::to_string(code) + "\n";
}

// Standard error of `fn` while it runs, beside what it returns: {returned, errors}.
template <typename Fn>
std::pair<std::string, std::string> CapturingErrors(Fn&& fn) {
  std::ostringstream errors;
  std::streambuf* old = std::cerr.rdbuf(errors.rdbuf());
  std::string returned = fn();
  std::cerr.rdbuf(old);
  return {returned, errors.str()};
}

// Splits "<events>\f<errors>" as the tree runs return them.
inline std::pair<std::string, std::string> SplitRun(const std::string& text) {
  const size_t cut = text.find('\f');
  if (cut == std::string::npos) return {text, ""};
  return {text.substr(0, cut), text.substr(cut + 1)};
}

}  // namespace velmo::test
