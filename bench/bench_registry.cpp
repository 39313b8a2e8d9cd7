// Cost of the registry file at settings size: parsing, formatting, and saving the 20 values.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "monitor/core/registry/RegistryFile.h"

namespace {

using velmo::core::RegistryFile;
using velmo::core::RegistryModel;
using velmo::core::RegistryValue;

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10";

// The 20 values the settings code writes: 14 records of 72 bytes and 6 integers of 4.
std::vector<RegistryValue> SettingsValues() {
  std::vector<RegistryValue> values;
  const char* records[] = {"SC_CPUFAN",  "SC_CHAFAN",  "SC_AUXFAN", "SC_VCORE", "SC_VIO",
                           "SC_V5",      "SC_V12",     "SC_VN12",   "SC_VN5",   "SC_RESTEMP",
                           "SC_SYSTEMP", "SC_CPUTEMP", "SC_VB",     "SC_V5SB"};
  for (const char* name : records) {
    RegistryValue v{name, velmo::core::REG_BINARY, std::vector<uint8_t>(72)};
    for (size_t i = 0; i < v.data.size(); ++i)
      v.data[i] = static_cast<uint8_t>(i * 7);
    values.push_back(v);
  }
  for (const char* name : {"AutoUpdateInterval", "bAutoUpdate", "bInstallOnTaskbar", "bAlarm",
                           "iWarningActs", "HmType"}) {
    values.push_back({name, velmo::core::REG_BINARY, {1, 0, 0, 0}});
  }
  return values;
}

RegistryModel SettingsModel() {
  RegistryModel model;
  for (const RegistryValue& v : SettingsValues())
    model.OpenKey(kKey).Set(v);
  return model;
}

// A fresh folder in the temporary directory (the disk's fsync cost is part of a save).
struct TempFolder {
  std::string dir;
  TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/velmo-bench-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) dir = pattern;
  }
  ~TempFolder() {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
};

void BM_ParseSettings(benchmark::State& state) {
  const std::string text = velmo::core::FormatRegistryText(SettingsModel());
  for (auto _ : state)
    benchmark::DoNotOptimize(velmo::core::ParseRegistryText(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSettings);

void BM_FormatSettings(benchmark::State& state) {
  const RegistryModel model = SettingsModel();
  for (auto _ : state)
    benchmark::DoNotOptimize(velmo::core::FormatRegistryText(model));
}
BENCHMARK(BM_FormatSettings);

// One value written outside a batch: read, parse, change, format, write, fsync, rename.
void BM_SaveSettingsFile(benchmark::State& state) {
  TempFolder temp;
  RegistryFile file(temp.dir + "/registry.reg");
  for (const RegistryValue& v : SettingsValues())
    file.WriteValue(kKey, v);
  const RegistryValue value = SettingsValues().front();
  for (auto _ : state) {
    if (!file.WriteValue(kKey, value)) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveSettingsFile)->Unit(benchmark::kMicrosecond);

// The settings save: 20 values in one batch, one atomic replace (argument 1), or 20 saves (0).
void BM_WriteSettings(benchmark::State& state) {
  TempFolder temp;
  RegistryFile file(temp.dir + "/registry.reg");
  const std::vector<RegistryValue> values = SettingsValues();
  const bool batch = state.range(0) != 0;
  for (auto _ : state) {
    if (batch) file.BeginBatch();
    for (const RegistryValue& v : values)
      file.WriteValue(kKey, v);
    if (batch && !file.CommitBatch()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_WriteSettings)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
