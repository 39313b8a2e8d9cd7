// Test support for the setup: temporary roots, snapshots of the trees an installation leaves,
// a recording host, a systemd double and a context that installs into a temporary folder.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "setup/install/GroupFile.h"
#include "setup/install/SetupSteps.h"

namespace velmo::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class SetupDir {
 public:
  SetupDir() {
    std::string pattern = (fs::temp_directory_path() / "velmo-setup-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~SetupDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::all, ec);
    fs::remove_all(path_, ec);
  }
  SetupDir(const SetupDir&) = delete;
  SetupDir& operator=(const SetupDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    fs::create_directories(fs::path(*this / name).parent_path());
    std::ofstream(*this / name, std::ios::binary) << text;
    return *this / name;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
}

// Every file and folder under `root`: its relative path, mode, owner and (files) contents.
struct TreeEntry {
  unsigned mode = 0;
  uid_t uid = 0;
  std::string content;
  bool operator==(const TreeEntry&) const = default;
};
using Tree = std::map<std::string, TreeEntry>;
inline Tree Snapshot(const std::string& root) {
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    struct stat st {};
    ::lstat(path.c_str(), &st);
    TreeEntry entry{static_cast<unsigned>(st.st_mode & 07777), st.st_uid, ""};
    if (S_ISREG(st.st_mode)) entry.content = ReadFile(path);
    tree[path.substr(root.size())] = entry;
  }
  return tree;
}
inline std::vector<std::string> Paths(const Tree& tree) {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : tree)
    paths.push_back(path);
  return paths;
}

class RecordingSetupHost : public setup::SetupHost {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> notices;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
};

class FakeSystemd : public setup::Systemd {
 public:
  bool running = false;
  bool reloadWorks = true;
  bool restartWorks = true;
  std::vector<std::string> calls;
  bool Running() override { return running; }
  base::Expected<void> DaemonReload() override { return Record("daemon-reload", {}, reloadWorks); }
  bool enableWorks = true;
  bool startWorks = true;
  base::Expected<void> TryRestart(const std::vector<std::string>& units) override {
    return Record("try-restart", units, restartWorks);
  }
  base::Expected<void> Enable(const std::vector<std::string>& units) override {
    return Record("enable", units, enableWorks);
  }
  base::Expected<void> Start(const std::vector<std::string>& units) override {
    return Record("start", units, startWorks);
  }

 private:
  // A failed request says which one it was.
  base::Expected<void> Record(std::string call, const std::vector<std::string>& units, bool works) {
    for (const std::string& unit : units)
      call += " " + unit;
    calls.push_back(call);
    if (!works) return base::Error{call + " failed"};
    return {};
  }
};

// Payload bytes that a text comparison would not see through: every byte value, a NUL first.
inline std::vector<uint8_t> PayloadBytes(uint8_t seed, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<uint8_t>(i == 0 ? 0 : (i * 131 + seed) & 0xff);
  return bytes;
}

// An installation into <dir>/root for a user whose configuration folder is <dir>/config, with
// its groups in <dir>/root/etc/group.
struct SetupRig {
  SetupDir dir;
  std::vector<uint8_t> velmond = PayloadBytes(1, 70000);
  std::vector<uint8_t> portio = PayloadBytes(2, 3000);
  std::vector<uint8_t> mapmem = PayloadBytes(3, 2999);
  std::vector<uint8_t> gui = PayloadBytes(4, 5000);
  std::vector<setup::Payload> payloads = {{"bin/velmond", velmond},
                                          {"lib/velmo/velmond-gui", gui},
                                          {"lib/velmo/drivers/portio", portio},
                                          {"lib/velmo/drivers/mapmem", mapmem}};
  FakeSystemd systemd;
  setup::GroupFile groups{dir / "root/etc/group"};
  RecordingSetupHost host;
  std::optional<setup::Invoker> user =
      setup::Invoker{{1000, 1000, "alice", dir / "home"}, false, dir / "config", dir / "home"};

  std::vector<std::string> reasons;  // what the context's log was told

  std::string Root() const { return dir / "root"; }
  setup::SetupContext Context() {
    return setup::SetupContext{
        Root(), payloads, systemd, groups,
        user,   host,     Root(),  [this](const std::string& why) { reasons.push_back(why); }};
  }
};

}  // namespace velmo::test
