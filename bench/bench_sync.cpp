// bench_sync: picture and sound over a long recording. Records the sync
// source for several minutes (default 180 flashes, one a second) with a
// pause of 0.4 s every 30 s, and prints the largest offset between a flash
// and its click, the offsets at the start and at the end (drift), and how
// many flashes found their click. Needs DISPLAY and a PulseAudio server
// whose default sink is a null sink (as ./test.sh starts one).
//
//   bench_sync [FLASHES] [FRAMERATE]
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "SyncRun.h"
#include "media/FFLoad.h"

int main(int argc, char** argv) {
  synctest::TSyncRun run;
  run.record_bin = QSR_RECORD_BIN;
  run.source_bin = QSR_SYNCSOURCE_BIN;
  run.flashes = argc > 1 ? std::atoi(argv[1]) : 180;
  run.framerate = argc > 2 ? std::atoi(argv[2]) : 25;
  if (run.flashes < 2 || run.framerate < 1) {
    std::fprintf(stderr, "usage: bench_sync [FLASHES>=2] [FRAMERATE>=1]\n");
    return 2;
  }
  if (!media::FFLoader().Load(media::kEncoderLibraries)) {
    std::fprintf(stderr, "bench_sync: %s\n", media::FFLoader().LastErrMsg().c_str());
    return 1;
  }
  for (int at = 30; at + 1 < run.flashes; at += 30) {
    run.pauses.push_back(at - 0.65);
    run.pauses.push_back(at - 0.25);
  }
  const synctest::TSyncResult r = synctest::RecordSyncRun(run, "soak");
  std::printf("%s", synctest::DescribeSyncResult("soak", r).c_str());
  if (!r.events.ok || r.pairs.offsets.empty()) {
    std::fprintf(stderr, "bench_sync: %s\n", r.events.ok ? "no flash found its click" : r.events.error.c_str());
    return 1;
  }
  const auto& o = r.pairs.offsets;
  std::printf("bench_sync: %d flashes at %d fps, %zu paired, %zu pauses; largest offset %.1f ms (one frame %.1f "
              "ms); first %.1f ms, last %.1f ms, drift %.1f ms\n",
              run.flashes, run.framerate, o.size(), run.pauses.size() / 2, r.pairs.largest * 1000,
              r.events.frame_duration * 1000, o.front() * 1000, o.back() * 1000, (o.back() - o.front()) * 1000);
  return 0;
}
