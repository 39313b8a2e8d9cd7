#include "monitor/core/registry/RegistryModel.h"

#include <array>
#include <iterator>

#include "monitor/base/TextCodec.h"

namespace velmo::core {

namespace {

constexpr std::array<std::string_view, 5> kRootNames = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                        "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                                        "HKEY_CURRENT_CONFIG"};

}  // namespace

RegistryKey::RegistryKey(const RegistryKey& other) : path_(other.path_), values_(other.values_) {
  for (auto it = values_.begin(); it != values_.end(); ++it)
    byName_[it->name] = it;
}

RegistryKey& RegistryKey::operator=(const RegistryKey& other) {
  if (this != &other) {
    RegistryKey copy(other);
    *this = std::move(copy);
  }
  return *this;
}

const RegistryValue* RegistryKey::Find(const std::string& name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : &*it->second;
}

void RegistryKey::Set(RegistryValue value) {
  auto it = byName_.find(value.name);
  if (it != byName_.end()) {
    *it->second = std::move(value);
    return;
  }
  values_.push_back(std::move(value));
  byName_[values_.back().name] = std::prev(values_.end());
}

bool RegistryKey::Erase(const std::string& name) {
  auto it = byName_.find(name);
  if (it == byName_.end()) return false;
  values_.erase(it->second);
  byName_.erase(it);
  return true;
}

bool RegistryKey::operator==(const RegistryKey& other) const {
  return path_ == other.path_ && values_ == other.values_;
}

RegistryModel::RegistryModel(const RegistryModel& other) : keys_(other.keys_) {
  for (auto it = keys_.begin(); it != keys_.end(); ++it)
    byPath_[base::Fold(it->Path())] = it;
}

RegistryModel& RegistryModel::operator=(const RegistryModel& other) {
  if (this != &other) {
    RegistryModel copy(other);
    *this = std::move(copy);
  }
  return *this;
}

const RegistryKey* RegistryModel::FindKey(std::string_view path) const {
  auto it = byPath_.find(base::Fold(path));
  return it == byPath_.end() ? nullptr : &*it->second;
}

bool RegistryModel::KeyExists(std::string_view path) const {
  const std::string folded = base::Fold(path);
  if (byPath_.count(folded)) return true;
  auto it = byPath_.lower_bound(folded + '\\');
  return it != byPath_.end() && it->first.starts_with(folded + '\\');
}

RegistryKey& RegistryModel::OpenKey(std::string_view path) {
  std::string folded = base::Fold(path);
  auto it = byPath_.find(folded);
  if (it != byPath_.end()) return *it->second;
  keys_.emplace_back(std::string(path));
  byPath_.emplace(std::move(folded), std::prev(keys_.end()));
  return keys_.back();
}

void RegistryModel::DeleteKey(std::string_view path) {
  const std::string folded = base::Fold(path);
  if (auto it = byPath_.find(folded); it != byPath_.end()) {
    keys_.erase(it->second);
    byPath_.erase(it);
  }
  const std::string below = folded + '\\';
  auto it = byPath_.lower_bound(below);
  while (it != byPath_.end() && it->first.starts_with(below)) {
    keys_.erase(it->second);
    it = byPath_.erase(it);
  }
}

bool RegistryModel::operator==(const RegistryModel& other) const {
  return keys_ == other.keys_;
}

bool IsValidValueName(std::string_view name) {
  if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
  return base::ForEachCodePoint(name, [](char32_t) {});
}

bool IsValidKeyPath(std::string_view path) {
  if (!IsValidValueName(path)) return false;
  const size_t slash = path.find('\\');
  if (slash == std::string_view::npos) return false;
  bool rootKnown = false;
  for (std::string_view root : kRootNames)
    rootKnown |= base::EqualsFolded(path.substr(0, slash), root);
  if (!rootKnown) return false;
  std::string_view rest = path.substr(slash + 1);
  while (true) {
    const size_t next = rest.find('\\');
    if (rest.substr(0, next).empty()) return false;
    if (next == std::string_view::npos) return true;
    rest.remove_prefix(next + 1);
  }
}

}  // namespace velmo::core
