// libFuzzer target for the container layer: arbitrary bytes as a container
// file, opened, then read the way the reader reads: the first 2 MiB in
// pieces of odd sizes, the end, past the end and a few places taken from the
// input itself, and copied to a file, which must hold what a read gives. Any
// inconsistency aborts, so libFuzzer reports it with the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/container.h"
#include "disc/disc_format.h"
#include "host/host_fs.h"

namespace {

// A new scratch file, removed at exit; the input goes to one, copies to
// another.
std::vector<std::string> g_scratch_files;

std::string scratch_file() {
  std::string templ = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/container-fuzz-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  close(fd);
  if (g_scratch_files.empty()) {
    std::atexit([] {
      for (const std::string& f : g_scratch_files) std::remove(f.c_str());
    });
  }
  g_scratch_files.push_back(name.data());
  return name.data();
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

// Copies n bytes at offset to a file in units of 4,096 bytes, and checks
// that the copy stops only at a unit's end and holds what a read gives.
void copy_and_check(Container* c, uint64_t offset, size_t n) {
  constexpr uint32_t UNIT = 4096;
  static const std::string path = scratch_file();
  host::File* out = host::file_create(path.c_str());
  check(out != nullptr, "cannot create the copy");
  uint64_t copied = 12345678;
  const bool ok = container_copy(c, offset, n, out, UNIT, &copied);
  const uint64_t size = container_disc_size(c);
  const uint64_t available = offset < size ? std::min<uint64_t>(n, size - offset) : 0;
  check(copied <= available, "a copy of more than the disc holds");
  check(copied == n || copied % UNIT == 0, "a copy that stopped inside a unit");
  if (ok) {
    check(copied == (available == n ? n : available / UNIT * UNIT), "a successful copy that stopped early");
  } else {
    check(container_error(c) != CONTAINER_OK, "a failed copy without an error code");
  }
  std::vector<uint8_t> written(size_t(copied) + 1);
  size_t got = 0;
  check(host::file_seek(out, 0) && host::file_read_some(out, written.data(), written.size(), &got) && got == copied,
        "the copy's file does not hold what it says it copied");
  host::file_close(out);
  size_t read = 0;
  container_read(c, offset, g_buffer.data(), n, &read);
  check(read >= copied && std::memcmp(written.data(), g_buffer.data(), size_t(copied)) == 0,
        "a copy that differs from a read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch_file();
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
  // The first 2 MiB, and a range cut by the disc's end.
  copy_and_check(c, 0, g_buffer.size());
  if (disc_size > 5000) copy_and_check(c, disc_size - 5000, 10000);
  container_close(c);
  return 0;
}
