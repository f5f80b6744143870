// Encoding and decoding a PART record, the most used layout of the work.

#include <benchmark/benchmark.h>

#include <vector>

#include "dictionary/record.h"

namespace {

velmora::PAR samplePart() {
  velmora::PAR p;
  p.CONC = 1203.01;
  p.PROC = 14;
  p.FREN = 3;
  p.TEXT = "EXCAVACIÓN EN CEPA A MANO";
  p.CLAVE = "EXC-001";
  p.UNID = "M3";
  p.CANT = 1520.5;
  p.PRES = 845312.75;
  p.CONT = 27;
  p.AVAN = 43.5;
  p.USUA = 7;
  return p;
}

void BM_EncodePart(benchmark::State& state) {
  velmora::PAR p = samplePart();
  std::vector<unsigned char> bytes(velmora::PAR::info().recordLength);
  for (auto _ : state) {
    auto st = velmora::encode(p, bytes);
    benchmark::DoNotOptimize(st);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodePart);

void BM_DecodePart(benchmark::State& state) {
  std::vector<unsigned char> bytes(velmora::PAR::info().recordLength);
  (void)velmora::encode(samplePart(), bytes);
  velmora::PAR p;
  for (auto _ : state) {
    auto st = velmora::decode(bytes, {}, p);
    benchmark::DoNotOptimize(st);
    benchmark::DoNotOptimize(p);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodePart);

// The floor both are measured against: copying the stored bytes.
void BM_CopyPartBytes(benchmark::State& state) {
  std::vector<unsigned char> from(velmora::PAR::info().recordLength, 0x41), to(from.size());
  for (auto _ : state) {
    std::copy(from.begin(), from.end(), to.begin());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyPartBytes);

}  // namespace
