// Line delivery of the data socket: a loopback peer sends blocks of 80-character
// lines and the client cuts and hands them on, through the real socket and loop.
#include <benchmark/benchmark.h>

#include <string>

#include "sockets/NsSockControl.h"
#include "tests/peers/LoopbackPeer.h"

namespace {

void LineDelivery(benchmark::State &State) {
  if (!WinSockAccess) NsStartSocketFramework();
  const bool direct = State.range(0) != 0;
  std::string block;
  while (block.size() < 64 * 1024) block += std::string(78, 'L') + "\r\n";
  const size_t linesPerBlock = block.size() / 80;

  peers::LoopbackPeer peer;
  TNsCustomClient client(nullptr);
  client.SetReplyDirect(direct);
  size_t lines = 0;
  client.OnReply = [&](TObject *, SOCKET, const std::string &) { ++lines; };
  client.Connect(peer.Address());
  if (!peers::PumpUntil([&] { return client.Connected(); }) || !peer.Accept()) {
    State.SkipWithError("no loopback connection");
    return;
  }
  for (auto _ : State) {
    size_t target = lines + linesPerBlock;
    peer.Send(block);
    if (!peers::PumpUntil([&] { return lines >= target; }, 10000)) {
      State.SkipWithError(
          ("lines did not arrive: " + std::to_string(lines) + " of " + std::to_string(target)).c_str());
      return;
    }
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(block.size()));
  State.SetItemsProcessed(int64_t(State.iterations()) * int64_t(linesPerBlock));
}
BENCHMARK(LineDelivery)->Arg(0)->Arg(1)->ArgName("direct")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
