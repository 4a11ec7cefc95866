// Decode and serialize throughput of the JSON codec on a generated reply of
// the shape the sharing layer parses: a page of track records with nested
// users, repeated keys, 64-bit ids, doubles, escapes and non-ASCII text.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "json/json_kit.h"

namespace {

std::string trackPage(int tracks) {
  std::string doc = "{\"collection\":[";
  char buf[1024];
  for (int i = 0; i < tracks; ++i) {
    std::snprintf(buf, sizeof buf,
                  "%s{\"id\":%lld,\"kind\":\"track\",\"title\":\"Loop %d \\u2014 caf\xC3\xA9 \\\"take\\\" %d\","
                  "\"description\":\"Made on the groovebox.\\nPattern %d, bank %d.\\t\\u00e9\\ud83d\\ude00\","
                  "\"created_at\":\"2019/%02d/%02d 12:%02d:00 +0000\",\"duration\":%d,\"bpm\":%d.%d,"
                  "\"genre\":\"%s\",\"tag_list\":\"groovebox loop pattern%d\",\"streamable\":true,"
                  "\"downloadable\":%s,\"artwork_url\":null,\"playback_count\":%d,\"favoritings_count\":%d,"
                  "\"waveform_url\":\"https://w1.example.invalid/%08x_m.png\","
                  "\"user\":{\"id\":%d,\"username\":\"user%d\",\"avatar_url\":\"https://i1.example.invalid/"
                  "avatars-%06d-large.jpg\",\"permalink_url\":\"https://example.invalid/user%d\"}}",
                  i ? "," : "", 4294967296000LL + i * 7919LL, i, i % 9, i % 128, i / 32, 1 + i % 12, 1 + i % 28,
                  i % 60, 30000 + i * 17, 90 + i % 70, i % 10, (i % 3) ? "Electronic" : "Techno", i,
                  (i % 2) ? "true" : "false", i * 31, i % 97, static_cast<unsigned>(i * 2654435761u),
                  1000 + i % 50, 1000 + i % 50, i % 50, 1000 + i % 50);
    doc += buf;
  }
  doc += "],\"next_href\":\"https://api.example.invalid/tracks?offset=25&limit=25\"}";
  return doc;
}

const std::string& document() {
  static const std::string doc = trackPage(2000);
  return doc;
}

const unsigned char* bytes() { return reinterpret_cast<const unsigned char*>(document().data()); }

void BM_DecodeWithWarmCache(benchmark::State& state) {
  jk::JSONDecoder decoder;
  for (auto _ : state) {
    jk::Value tree = decoder.objectWithUTF8String(bytes(), document().size());
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_DecodeWithWarmCache)->Unit(benchmark::kMillisecond);

void BM_DecodeWithNewDecoder(benchmark::State& state) {
  for (auto _ : state) {
    jk::JSONDecoder decoder;
    jk::Value tree = decoder.objectWithUTF8String(bytes(), document().size());
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_DecodeWithNewDecoder)->Unit(benchmark::kMillisecond);

void BM_DecodeMutable(benchmark::State& state) {
  jk::JSONDecoder decoder;
  for (auto _ : state) {
    jk::Value tree = decoder.mutableObjectWithUTF8String(bytes(), document().size());
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_DecodeMutable)->Unit(benchmark::kMillisecond);

void serialize(benchmark::State& state, jk::JKSerializeOptionFlags options) {
  jk::JSONDecoder decoder;
  const jk::Value tree = decoder.objectWithUTF8String(bytes(), document().size());
  if (!tree) {
    state.SkipWithError("the generated document does not decode");
    return;
  }
  size_t written = 0;
  for (auto _ : state) {
    jk::Value text = jk::JKSerializer::serializeObject(tree, options, jk::JKEncodeOptionAsData, {}, nullptr, nullptr,
                                                       nullptr);
    written += text.data()->length();
    benchmark::DoNotOptimize(text.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(written));
}

void BM_SerializeCompact(benchmark::State& state) { serialize(state, jk::JKSerializeOptionNone); }
BENCHMARK(BM_SerializeCompact)->Unit(benchmark::kMillisecond);

void BM_SerializePretty(benchmark::State& state) { serialize(state, jk::JKSerializeOptionPretty); }
BENCHMARK(BM_SerializePretty)->Unit(benchmark::kMillisecond);

void BM_SerializeEscapingNonASCII(benchmark::State& state) {
  serialize(state, jk::JKSerializeOptionEscapeNonASCII | jk::JKSerializeOptionEscapeSlash);
}
BENCHMARK(BM_SerializeEscapingNonASCII)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
