// A group database kept in a group(5) file: the double of the system's database in tests, and
// the database of an installation under another root (<root>/etc/group).
#pragma once

#include <string>

#include "setup/install/Machine.h"

namespace velmo::setup {

class GroupFile : public GroupDatabase {
 public:
  // With `confinedTo` (a folder above `path`) the file and its folder are reached without
  // following a link below it, as the installation's other files are.
  explicit GroupFile(std::string path, std::string confinedTo = {})
      : path_(std::move(path)), confinedTo_(std::move(confinedTo)) {}

  base::Expected<GroupEntry> Find(const std::string& group) override;
  // Takes the highest number from 999 down to 100 that no group has, as groupadd --system does.
  // Creates the file (and its folder) when it is missing.
  base::Expected<void> CreateSystemGroup(const std::string& group) override;
  base::Expected<void> AddMember(const std::string& group, const std::string& user) override;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string confinedTo_;
};

}  // namespace velmo::setup
