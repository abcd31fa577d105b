// libFuzzer target for the container layer: arbitrary bytes as a container
// file, opened, then read the way the reader reads: the first 2 MiB in
// pieces of odd sizes, the end, past the end and a few places taken from the
// input itself. Any inconsistency aborts, so libFuzzer reports it with the
// input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/container.h"
#include "disc/disc_format.h"

namespace {

const std::string& scratch_file() {
  static std::string path = [] {
    std::string templ = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                        "/container-fuzz-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) std::abort();
    close(fd);
    static std::string to_remove = name.data();
    std::atexit([] { std::remove(to_remove.c_str()); });
    return std::string(name.data());
  }();
  return path;
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "container_fuzz: %s\n", what);
    std::abort();
  }
}

std::vector<uint8_t> g_buffer(2u << 20);

// Reads n bytes at offset and checks what the read says of itself.
void read_and_check(Container* c, uint64_t offset, size_t n) {
  const uint64_t size = container_disc_size(c);
  size_t got = 12345678;
  bool ok = container_read(c, offset, g_buffer.data(), n, &got);
  check(got <= n, "more bytes than asked for");
  const uint64_t available = offset < size ? std::min<uint64_t>(n, size - offset) : 0;
  if (ok) {
    check(got == available, "a successful read that is short inside the disc");
    check(container_error(c) == CONTAINER_OK && container_error_detail(c)[0] == '\0',
          "a successful read left an error");
  } else {
    check(got < available, "a failed read that gave everything");
    check(container_error(c) != CONTAINER_OK, "a failed read without an error code");
    const char* detail = container_error_detail(c);
    check(detail[0] != '\0' && std::strlen(detail) < 400, "a failed read without a detail text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = scratch_file();
  FILE* f = std::fopen(path.c_str(), "wb");
  check(f != nullptr, "cannot write the input");
  if (size) check(std::fwrite(data, 1, size, f) == size, "cannot write the input");
  std::fclose(f);

  ContainerError error = CONTAINER_OK;
  std::string detail;
  Container* c = container_open(path.c_str(), &error, &detail);
  if (!c) {
    check(error != CONTAINER_OK && !detail.empty() && detail.size() < 400, "a refusal without its reason");
    return 0;
  }
  check(error == CONTAINER_OK && detail.empty(), "an open container with an error");
  const ContainerKind kind = container_kind(c);
  const uint64_t disc_size = container_disc_size(c);
  check(kind == CONTAINER_PLAIN ? disc_size == size : disc_size <= DISC_IMAGE_SIZE,
        "a disc size beyond the limit");
  check((container_plain_file(c) != nullptr) == (kind == CONTAINER_PLAIN), "plain file for another kind");

  for (uint64_t at = 0; at < std::min<uint64_t>(disc_size, 2u << 20); at += 77777) read_and_check(c, at, 77777);
  read_and_check(c, 0, g_buffer.size());
  if (disc_size > 5) read_and_check(c, disc_size - 5, 100);
  read_and_check(c, disc_size, 10);
  read_and_check(c, ~0ull - 3, 10);
  // Places chosen by the input's last bytes, so the fuzzer can reach any group.
  for (size_t i = 0; i + 4 <= std::min<size_t>(size, 16); i += 4) {
    uint32_t word = read_be32(data + size - 4 - i);
    if (disc_size > 0) read_and_check(c, word % disc_size, (word >> 12) % 300000 + 1);
  }
  container_close(c);
  return 0;
}
