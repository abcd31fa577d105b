// Benchmark helper (native only): mounts IMAGE (a plain image or any
// container) and prints how many bytes outside its boot areas, table and
// files are neither zeros nor the disc's filler, as ombrel-cli unpack counts
// them.
//   outside_data_tool IMAGE
#include <cstdio>

#include "reader/reader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: outside_data_tool IMAGE\n");
    return 2;
  }
  IsoReset();
  uint64_t bytes = 0;
  if (!IsoMount(argv[1], 1) || !IsoCountOutsideData(&bytes)) {
    std::fprintf(stderr, "%s: reader code %d\n", argv[1], IsoGetLastError());
    return 1;
  }
  IsoReset();
  std::printf("%llu\n", static_cast<unsigned long long>(bytes));
  return 0;
}
