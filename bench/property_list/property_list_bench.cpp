// Reading time of property lists whose containers are long: a flat array of
// distinct integers, binary and XML, converted to a Value; and an index
// table of many entries read back from its keyed archive. Each should grow
// in proportion to the number of items.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"
#include "library/pattern_indices_table.h"
#include "platform/foundation/property_list.h"

namespace {

platform::Value flatArray(int64_t items) {
  platform::Array a;
  a.reserve(static_cast<size_t>(items));
  for (int64_t i = 0; i < items; ++i) a.emplace_back(i);
  return platform::Value(std::move(a));
}

[[noreturn]] void stop(const std::string& why) {
  std::fprintf(stderr, "bench_property_list: %s\n", why.c_str());
  std::exit(1);
}

void readFlatArray(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  const auto items = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    std::string error;
    auto value = platform::propertyListFromBytes(bytes, &error);
    if (!value || !value->array() || value->array()->size() != items || value->array()->back() != platform::Value(static_cast<int64_t>(items - 1)))
      stop("the flat array did not read back: " + error);
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_FlatBinaryArray(benchmark::State& state) {
  const auto bytes = platform::propertyListToBinary(flatArray(state.range(0)));
  if (!bytes) stop("cannot write the array");
  readFlatArray(state, *bytes);
}
BENCHMARK(BM_FlatBinaryArray)->Arg(65536)->Arg(400000)->Unit(benchmark::kMillisecond);

void BM_FlatXmlArray(benchmark::State& state) {
  const auto xml = platform::propertyListToXML(flatArray(state.range(0)));
  if (!xml) stop("cannot write the array");
  readFlatArray(state, std::vector<uint8_t>(xml->begin(), xml->end()));
}
BENCHMARK(BM_FlatXmlArray)->Arg(65536)->Arg(400000)->Unit(benchmark::kMillisecond);

// The index table as the program saves it, with identifiers of the length
// the name creator gives.
void BM_IndexTable(benchmark::State& state) {
  PatternIndicesTable table;
  table.resetTable();
  for (int64_t i = 0; i < state.range(0); ++i)
    table.add(PatternRecord::zeroed(), std::to_string(1000000000000000000 + i) + "02117300522094210741381331841042016212815");
  const std::vector<uint8_t> bytes = table.archivedBytes();
  for (auto _ : state) {
    PatternIndicesTable read;
    std::string error;
    if (!read.loadTableFromBytes(bytes, &error) || read.numberOfPatterns() != state.range(0))
      stop("the index table did not read back: " + error);
    benchmark::DoNotOptimize(read);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_IndexTable)->Arg(416)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
