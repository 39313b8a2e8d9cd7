// The registry model: keys with typed values, in file order, as a `.reg` file holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmo::core {

// Value types as the registry numbers them.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;

// One value. String types hold UTF-16LE bytes with their terminating NUL, as the registry stores
// them; the empty name is the key's default value ("@" in the file).
struct RegistryValue {
  std::string name;
  uint32_t type = REG_BINARY;
  std::vector<uint8_t> data;
  bool operator==(const RegistryValue&) const = default;
};

// One key: its path as first given (root name included) and its values in file order.
class RegistryKey {
 public:
  explicit RegistryKey(std::string path) : path_(std::move(path)) {}
  RegistryKey(const RegistryKey& other);
  RegistryKey& operator=(const RegistryKey& other);
  RegistryKey(RegistryKey&&) = default;
  RegistryKey& operator=(RegistryKey&&) = default;

  const std::string& Path() const { return path_; }
  const std::list<RegistryValue>& Values() const { return values_; }
  // Value names are compared exactly.
  const RegistryValue* Find(const std::string& name) const;
  // Replaces a value of the same name where it stands, else appends.
  void Set(RegistryValue value);
  bool Erase(const std::string& name);
  bool operator==(const RegistryKey& other) const;

 private:
  std::string path_;
  std::list<RegistryValue> values_;
  // Lists and maps keep lookups and removals cheap on hostile files with many entries.
  std::unordered_map<std::string, std::list<RegistryValue>::iterator> byName_;
};

// The keys of one file in file order. Key paths are compared without regard to ASCII case, as the
// registry does.
class RegistryModel {
 public:
  RegistryModel() = default;
  RegistryModel(const RegistryModel& other);
  RegistryModel& operator=(const RegistryModel& other);
  RegistryModel(RegistryModel&&) = default;
  RegistryModel& operator=(RegistryModel&&) = default;

  const std::list<RegistryKey>& Keys() const { return keys_; }
  const RegistryKey* FindKey(std::string_view path) const;
  // True for a stored key and for every key above one (the registry creates the parents).
  bool KeyExists(std::string_view path) const;
  // The key of that path, appended with this spelling when it does not exist yet.
  RegistryKey& OpenKey(std::string_view path);
  // Removes the key and all keys below it.
  void DeleteKey(std::string_view path);
  bool operator==(const RegistryModel& other) const;

 private:
  std::list<RegistryKey> keys_;
  std::map<std::string, std::list<RegistryKey>::iterator> byPath_;  // folded path -> key
};

// A key path must start with one of the five root names and have no empty parts; names may not
// contain NUL, CR or LF (the text form could not carry them).
bool IsValidKeyPath(std::string_view path);
bool IsValidValueName(std::string_view name);

}  // namespace velmo::core
