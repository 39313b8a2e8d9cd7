#include "setup/install/GroupFile.h"

#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "monitor/base/AtomicFile.h"

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

std::optional<std::vector<GroupLine>> ReadLines(const std::string& path, bool mayBeMissing) {
  std::ifstream in(path);
  if (!in) {
    struct stat st;
    if (mayBeMissing && ::stat(path.c_str(), &st) != 0) return std::vector<GroupLine>{};
    return std::nullopt;
  }
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
  if (in.bad()) return std::nullopt;
  return lines;
}

const GroupLine* FindLine(const std::vector<GroupLine>& lines, const std::string& group) {
  for (const GroupLine& line : lines) {
    if (line.gid && line.fields[0] == group) return &line;
  }
  return nullptr;
}

bool WriteLines(const std::string& path, const std::vector<GroupLine>& lines) {
  std::string text;
  for (const GroupLine& line : lines)
    text += line.text + "\n";
  base::AtomicWriteOptions options;
  options.newFileMode = 0644;  // an existing group file keeps its mode
  return base::MakeDirs(base::ParentDir(path), 0755) &&
         static_cast<bool>(base::WriteFileAtomically(path, text, options));
}

// A valid group or user name cannot break the file's format.
bool FitsTheFormat(const std::string& name) {
  return !name.empty() && name.find_first_of(":,\n") == std::string::npos;
}

}  // namespace

std::optional<GroupEntry> GroupFile::Find(const std::string& group) {
  const auto lines = ReadLines(path_, false);
  if (!lines) return std::nullopt;
  const GroupLine* line = FindLine(*lines, group);
  if (!line) return std::nullopt;
  GroupEntry entry;
  entry.gid = *line->gid;
  if (!line->fields[3].empty()) entry.members = Split(line->fields[3], ',');
  return entry;
}

bool GroupFile::CreateSystemGroup(const std::string& group) {
  if (!FitsTheFormat(group)) return false;
  auto lines = ReadLines(path_, true);
  if (!lines) return false;
  if (FindLine(*lines, group)) return true;
  std::set<gid_t> taken;
  for (const GroupLine& line : *lines) {
    if (line.gid) taken.insert(*line.gid);
  }
  for (gid_t gid = kSystemGidLast; gid >= kSystemGidFirst; --gid) {
    if (taken.count(gid)) continue;
    const std::string text = group + ":x:" + std::to_string(gid) + ":";
    lines->push_back({text, Split(text, ':'), gid});
    return WriteLines(path_, *lines);
  }
  return false;
}

bool GroupFile::AddMember(const std::string& group, const std::string& user) {
  if (!FitsTheFormat(user)) return false;
  auto lines = ReadLines(path_, false);
  if (!lines) return false;
  for (GroupLine& line : *lines) {
    if (!line.gid || line.fields[0] != group) continue;
    std::string& members = line.fields[3];
    for (const std::string& member : Split(members, ',')) {
      if (member == user) return true;
    }
    members += (members.empty() ? "" : ",") + user;
    line.text = line.fields[0] + ":" + line.fields[1] + ":" + line.fields[2] + ":" + members;
    return WriteLines(path_, *lines);
  }
  return false;
}

}  // namespace velmo::setup
