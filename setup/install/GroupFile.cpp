#include "setup/install/GroupFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <charconv>
#include <set>
#include <sstream>
#include <vector>

#include "monitor/base/AtomicFile.h"
#include "monitor/base/SafePath.h"
#include "monitor/base/UniqueFd.h"

namespace velmo::setup {

namespace {

constexpr gid_t kSystemGidFirst = 100;
constexpr gid_t kSystemGidLast = 999;

struct GroupLine {
  std::string text;  // the line as read, kept for lines that are not changed
  std::vector<std::string> fields;
  std::optional<gid_t> gid;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

base::Error CannotRead(const std::string& path, const std::string& why, int code) {
  return base::Error{"cannot read " + path + ": " + why, code};
}

base::Error CannotRead(const std::string& path, int code) {
  return CannotRead(path, std::strerror(code), code);
}

// The file's bytes: a regular file only, its name not a link (nor, with `confinedTo`, a folder
// on the way below it), never waited on. "" when it is missing and `mayBeMissing`.
base::Expected<std::string> ReadText(const std::string& path, const std::string& confinedTo,
                                     bool mayBeMissing) {
  base::UniqueFd dir;
  const std::string folder = base::ParentDir(path);
  if (!confinedTo.empty()) {
    auto opened = base::OpenDirBelow(confinedTo, folder, false, 0);
    if (!opened) {
      if (mayBeMissing && opened.error().code == ENOENT) return std::string();
      return CannotRead(path, opened.error().message, opened.error().code);
    }
    dir = std::move(opened).value();
  } else {
    dir.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.Valid()) {
      if (mayBeMissing && errno == ENOENT) return std::string();
      return CannotRead(path, errno);
    }
  }
  const std::string name = path.substr(path.rfind('/') + 1);
  base::UniqueFd fd(
      ::openat(dir.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) {
    if (mayBeMissing && errno == ENOENT) return std::string();
    return CannotRead(path, errno);
  }
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return CannotRead(path, errno);
  if (!S_ISREG(st.st_mode)) return CannotRead(path, "not a regular file", 0);
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(fd.Get(), buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  if (n < 0) return CannotRead(path, errno);
  return text;
}

base::Expected<std::vector<GroupLine>> ReadLines(const std::string& path,
                                                 const std::string& confinedTo, bool mayBeMissing) {
  const base::Expected<std::string> bytes = ReadText(path, confinedTo, mayBeMissing);
  if (!bytes) return bytes.error();
  std::istringstream in(*bytes);
  std::vector<GroupLine> lines;
  std::string text;
  while (std::getline(in, text)) {
    GroupLine line{text, Split(text, ':'), std::nullopt};
    if (line.fields.size() == 4) {
      const std::string& number = line.fields[2];
      gid_t gid = 0;
      const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), gid);
      if (error == std::errc() && end == number.data() + number.size() && !number.empty())
        line.gid = gid;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

const GroupLine* FindLine(const std::vector<GroupLine>& lines, const std::string& group) {
  for (const GroupLine& line : lines) {
    if (line.gid && line.fields[0] == group) return &line;
  }
  return nullptr;
}

base::Expected<void> WriteLines(const std::string& path, const std::string& confinedTo,
                                const std::vector<GroupLine>& lines) {
  std::string text;
  for (const GroupLine& line : lines)
    text += line.text + "\n";
  base::AtomicWriteOptions options;
  options.newFileMode = 0644;  // an existing group file keeps its mode
  options.confinedTo = confinedTo;
  if (!base::MakeDirs(base::ParentDir(path), 0755, confinedTo))
    return base::Error{"cannot make the folder of " + path + ": " + std::strerror(errno), errno};
  const auto written = base::WriteFileAtomically(path, text, options);
  if (!written)
    return base::Error{"cannot write " + path + ": " + written.error().message,
                       written.error().code};
  return {};
}

base::Error NotAName(const std::string& name) {
  return base::Error{"\"" + name + "\" cannot stand in a group file"};
}

// A valid group or user name cannot break the file's format.
bool FitsTheFormat(const std::string& name) {
  return !name.empty() && name.find_first_of(":,\n") == std::string::npos;
}

}  // namespace

base::Expected<GroupEntry> GroupFile::Find(const std::string& group) {
  const auto lines = ReadLines(path_, confinedTo_, false);
  if (!lines) return lines.error();
  const GroupLine* line = FindLine(*lines, group);
  if (!line) return base::Error{"no group " + group + " in " + path_};
  GroupEntry entry;
  entry.gid = *line->gid;
  if (!line->fields[3].empty()) entry.members = Split(line->fields[3], ',');
  return entry;
}

base::Expected<void> GroupFile::CreateSystemGroup(const std::string& group) {
  if (!FitsTheFormat(group)) return NotAName(group);
  auto lines = ReadLines(path_, confinedTo_, true);
  if (!lines) return lines.error();
  if (FindLine(*lines, group)) return {};
  std::set<gid_t> taken;
  for (const GroupLine& line : *lines) {
    if (line.gid) taken.insert(*line.gid);
  }
  for (gid_t gid = kSystemGidLast; gid >= kSystemGidFirst; --gid) {
    if (taken.count(gid)) continue;
    const std::string text = group + ":x:" + std::to_string(gid) + ":";
    lines->push_back({text, Split(text, ':'), gid});
    return WriteLines(path_, confinedTo_, *lines);
  }
  return base::Error{"no group number from " + std::to_string(kSystemGidLast) + " down to " +
                     std::to_string(kSystemGidFirst) + " is free in " + path_};
}

base::Expected<void> GroupFile::AddMember(const std::string& group, const std::string& user) {
  if (!FitsTheFormat(user)) return NotAName(user);
  auto lines = ReadLines(path_, confinedTo_, false);
  if (!lines) return lines.error();
  for (GroupLine& line : *lines) {
    if (!line.gid || line.fields[0] != group) continue;
    std::string& members = line.fields[3];
    for (const std::string& member : Split(members, ',')) {
      if (member == user) return {};
    }
    members += (members.empty() ? "" : ",") + user;
    line.text = line.fields[0] + ":" + line.fields[1] + ":" + line.fields[2] + ":" + members;
    return WriteLines(path_, confinedTo_, *lines);
  }
  return base::Error{"no group " + group + " in " + path_};
}

}  // namespace velmo::setup
