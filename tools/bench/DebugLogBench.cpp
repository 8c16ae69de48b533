// Cost of one debug-log entry in the steady state of a running socket: the ring is
// full, so every entry also pushes out the oldest ones.
#include <benchmark/benchmark.h>

#include <vector>

#include "sockets/NsSockLog.h"

static void BM_DebugLogAddEntry(benchmark::State &state) {
  const uint32_t length = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> data(length, 0x5A);
  TNsDebugLog log(nullptr);
  log.SetEnabled(true);
  const uint32_t type = length ? NsLogRecvApi : NsLogTelnet;
  const uintptr_t payload = length ? reinterpret_cast<uintptr_t>(data.data()) : 1;
  const uint32_t count = length ? length : 253 * 256 + 31;
  while (log.FreeSpace() >= TNsDebugLog::EntryHeaderSize + length)  // fill the ring
    log.AddEntry(nullptr, 4, type, payload, count);
  for (auto _ : state) {
    log.AddEntry(nullptr, 4, type, payload, count);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (TNsDebugLog::EntryHeaderSize + length));
}
BENCHMARK(BM_DebugLogAddEntry)->Arg(0)->Arg(64)->Arg(1460)->Arg(8192);

BENCHMARK_MAIN();
