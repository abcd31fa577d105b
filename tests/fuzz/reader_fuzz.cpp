// libFuzzer target for the reader engine: arbitrary bytes as a disc image,
// mounted with any size accepted, then everything a caller may do with a
// mounted image: walk the whole tree checking its links, look up paths built
// from its names and a few odd ones, ask the header queries, read every banner
// field, decode and draw the picture, check the disc's structure, match
// patterns, and extract the whole file system and
// the system areas into a scratch folder, checking that nothing lands outside
// it. Any inconsistency aborts, so libFuzzer reports it with the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "disc/disc_format.h"
#include "host/host_text.h"
#include "reader/reader.h"

namespace {

namespace fs = std::filesystem;

// Where each input goes: <work>/image.gcm, extracted into <work>/a/b/out, so
// that a name escaping up to three levels would show in a folder we check.
struct Scratch {
  fs::path work, image, guard1, guard2, out;
};

const Scratch& scratch() {
  static Scratch s = [] {
    std::string base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string templ = base + "/reader-fuzz-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) std::abort();
    Scratch r;
    r.work = name.data();
    r.image = r.work / "image.gcm";
    r.guard1 = r.work / "a";
    r.guard2 = r.guard1 / "b";
    r.out = r.guard2 / "out";
    fs::create_directories(r.guard2);
    // The scratch folder goes when the fuzzer ends normally.
    static fs::path to_remove = r.work;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(to_remove, ec);
    });
    return r;
  }();
  return s;
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "reader_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

volatile uint32_t g_sink;
// The input's size: no table the reader takes holds more entries or longer
// names than the image has bytes.
size_t g_image_size;

// Touches every byte so the sanitizers see an overread.
void touch(const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += b[i];
  g_sink = g_sink + sum;
}

bool equal_ignoring_ascii_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
    if (!x) return true;
  }
}

// The lookups skip a path's first character, whatever it is, and cut the
// rest at each "/".
std::string last_component(const std::string& path) {
  std::string rest = path.empty() ? path : path.substr(1);
  return rest.substr(rest.rfind('/') + 1);
}

void look_up(const std::string& path) {
  uint32_t offset = 0, size = 0;
  IsoFindFile(path.c_str(), &offset, &size, 0);
  IsoFindFile(path.c_str(), &offset, &size, 1);
  for (uint8_t ignore_case = 0; ignore_case < 2; ++ignore_case) {
    const FstNode* folder = IsoFindDirectory(path.c_str(), ignore_case);
    if (!folder) continue;
    check(folder->isDirectory == 1, "IsoFindDirectory returned a file");
    std::string want = last_component(path);
    check(ignore_case ? equal_ignoring_ascii_case(folder->name, want.c_str())
                      : want == folder->name,
          "IsoFindDirectory returned a folder of another name");
  }
}

// Paths looked up while walking, and kept for single extractions: enough to
// exercise the lookups without holding every full path of a deep tree.
constexpr size_t LOOKED_UP_PATHS = 500;
constexpr size_t KEPT_PATHS = 8;
constexpr size_t LONGEST_BUILT_PATH = 16384;  // nor paths longer than this (deep or long names)

// Walks the tree without recursion, checking every link and looking paths
// up as it goes; returns the first few in-image paths.
std::vector<std::string> walk_tree() {
  const FstNode* root = IsoGetRoot();
  check(root && root->isDirectory == 1, "the root is not a folder");
  check(root->name && std::strlen(root->name) < 32, "the root's name");
  int files = 0, folders = 0;
  size_t visited = 0;
  std::vector<std::string> kept;
  struct Level {
    const FstNode* folder;
    std::string path;
    bool built;  // path is the folder's whole path
  };
  std::vector<Level> pending{{root, "", true}};
  const char* last_name = nullptr;
  while (!pending.empty()) {
    Level level = pending.back();
    pending.pop_back();
    const FstNode* prev = nullptr;
    for (const FstNode* node = level.folder->firstChild; node; node = node->next) {
      check(++visited < g_image_size / FST_ENTRY_SIZE + 1, "more nodes than the table can hold (a cycle?)");
      check(node->name != nullptr, "a node without a name");
      // Entries may share a name's bytes: each is read once, so a table of
      // shared long names costs the walk no more than the reader.
      if (node->name != last_name) {
        touch(node->name, std::strlen(node->name) + 1);
        check(std::strlen(node->name) < g_image_size, "a name longer than the image");
        last_name = node->name;
      }
      check(node->prev == prev, "prev does not lead to the previous sibling");
      check(node->parent == level.folder, "parent is not the containing folder");
      check(node->isDirectory <= 1, "isDirectory is neither 0 nor 1");
      // Past the paths looked up, none is built: a deep tree's full paths
      // would take memory and time growing with the square of its depth.
      const bool wanted = (visited <= LOOKED_UP_PATHS || kept.size() < KEPT_PATHS) && level.built &&
                          level.path.size() + strnlen(node->name, LONGEST_BUILT_PATH) < LONGEST_BUILT_PATH;
      std::string path = wanted ? level.path + "/" + node->name : std::string();
      if (wanted && visited <= LOOKED_UP_PATHS) look_up(path);
      if (wanted && kept.size() < KEPT_PATHS) kept.push_back(path);
      if (node->isDirectory) {
        ++folders;
        check(node->size == 0 && node->offset == 0, "a folder with a size or an offset");
        if (node->firstChild) pending.push_back({node, path, wanted});
      } else {
        ++files;
        check(node->firstChild == nullptr, "a file with children");
      }
      prev = node;
    }
  }
  check(files == IsoGetFileCount(), "file count differs from the tree");
  check(folders == IsoGetDirectoryCount(), "directory count differs from the tree");
  return kept;
}

// The host paths the reader reported through fileStarted.
std::vector<std::string> g_started;

void on_file_started(const char* path) {
  if (g_started.size() < 100000) g_started.push_back(path);
}

// The node reached from root by the host names of path's components (each
// the host's form of an image name, as the reader must make it); null when
// some component names no entry.
const FstNode* node_for_host_path(const std::string& relative) {
  const FstNode* folder = IsoGetRoot();
  const FstNode* found = nullptr;
  size_t start = 0;
  for (;;) {
    size_t slash = relative.find('/', start);
    std::string component = relative.substr(start, slash == std::string::npos ? slash : slash - start);
    found = nullptr;
    for (const FstNode* node = folder ? folder->firstChild : nullptr; node; node = node->next) {
      if (host::host_name_from_disc_name(std::string(node->name)) == component) {
        found = node;
        break;
      }
    }
    if (!found || slash == std::string::npos) return found;
    folder = found->isDirectory ? found : nullptr;
    start = slash + 1;
  }
}

// Every path the reader wrote below out is out joined with an entry's path,
// component by component: files for files, folders for folders.
void check_written_paths(const fs::path& out) {
  const std::string prefix = out.string() + "/";
  for (const std::string& path : g_started) {
    check(path.compare(0, prefix.size(), prefix) == 0, "a file was started outside the destination");
    const FstNode* node = node_for_host_path(path.substr(prefix.size()));
    check(node && !node->isDirectory, "a file was started at a path no file entry has");
  }
  std::error_code ec;
  for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
    const FstNode* node = node_for_host_path(fs::relative(it->path(), out).string());
    check(node != nullptr, "something was written at a path no entry has");
    check((node->isDirectory != 0) == it->is_directory(), "an entry was written as the other kind");
  }
}

void ask_queries() {
  char buffer[260];
  for (int capacity : {260, 32, 1}) {
    IsoGetGameName(buffer, capacity);
    check(std::strlen(buffer) < size_t(capacity), "game name longer than its buffer");
    IsoGetProductCode(buffer, capacity);
    check(std::strlen(buffer) < size_t(capacity), "product code longer than its buffer");
  }
  IsoGetProductCode(buffer, sizeof buffer);
  const char* video = IsoVideoFormatText(buffer);
  if (video) touch(video, std::strlen(video));
  const char* maker = IsoGetMakerName();
  check(maker != nullptr, "no maker text");
  touch(maker, std::strlen(maker));
  const char* path = IsoGetImagePath();
  check(path != nullptr, "no image path while mounted");
}

void read_banner() {
  const uint32_t widths[] = {0, BANNER_SHORT_MAKER_SIZE, BANNER_LONG_MAKER_SIZE,
                             BANNER_SHORT_NAME_SIZE, BANNER_LONG_NAME_SIZE,
                             BANNER_DESCRIPTION_SIZE, BANNER_PICTURE_SIZE};
  uint8_t kind = IsoGetBannerKind();
  check(kind <= 1, "banner kind is neither 0 nor 1");
  for (uint16_t selector = 0; selector <= 8; ++selector) {
    for (uint16_t language = 0; language <= 7; ++language) {
      const uint8_t* field = IsoGetBannerField(selector, language);
      if (selector < 1 || selector > 6) {
        check(field == nullptr, "a field for an unknown selector");
        continue;
      }
      if (kind == BANNER_KIND_SIX_LANGUAGE && language >= BANNER_LANGUAGE_COUNT && selector != 6) {
        check(field == nullptr, "a field for a language past the sixth");
        continue;
      }
      if (field) touch(field, widths[selector]);
    }
  }
  IsoPrepareBannerPicture();
  const uint16_t* picture = IsoGetBannerPicture();
  if (picture) touch(picture, BANNER_PICTURE_SIZE);
  static BannerCanvas canvas;
  IsoDrawBanner(&canvas, 0, 0);
  IsoDrawBanner(&canvas, 90, 30);
  IsoDrawBanner(&canvas, 65535, 65535);
  touch(&canvas, sizeof canvas);
}

// Everything under dir, as paths.
std::vector<fs::path> list_folder(const fs::path& dir) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(it->path());
  }
  return entries;
}

void extract_everything(const Scratch& s, const std::vector<std::string>& paths) {
  std::error_code ec;
  fs::create_directory(s.out, ec);
  g_started.clear();
  // The dry run first: it writes nothing, and counts no more files than exist.
  IsoExtractionPlan plan;
  IsoPlanStart(&plan, 1);
  IsoPlanUnpack(&plan, s.out.c_str());
  check(plan.fileSizes.size() <= size_t(IsoGetFileCount()) + ISO_BOOT_AREA_COUNT, "the plan counts too many files");
  check(list_folder(s.out).empty(), "the plan wrote something");
  IsoSetCallbacks(on_file_started, nullptr, nullptr, nullptr);
  IsoExtractDirectory("/", s.out.c_str());
  IsoSetCallbacks(nullptr, nullptr, nullptr, nullptr);
  check_written_paths(s.out);
  // A few single entries too: the extraction of one file or folder by path.
  size_t done = 0;
  for (const std::string& path : paths) {
    if (++done > 8) break;
    std::string file = (s.out / "one").string();
    IsoExtractFile(path.c_str(), file.c_str());
    IsoExtractDirectory(path.c_str(), s.out.c_str());
  }
  IsoExtractBootData((s.out / "boot.bin").c_str());
  IsoExtractFst((s.out / "fst").c_str());
  IsoExtractApploader((s.out / "apploader").c_str());
  IsoExtractMainProgram((s.out / "default.dol").c_str());

  // Nothing beside the image, the guard folders and the output.
  for (const fs::path& p : list_folder(s.work)) {
    check(p == s.image || p == s.guard1, "something was written beside the image");
  }
  for (const fs::path& p : list_folder(s.guard1)) {
    check(p == s.guard2, "something was written above the destination");
  }
  for (const fs::path& p : list_folder(s.guard2)) {
    check(p == s.out, "something was written beside the destination");
  }
  fs::remove_all(s.out, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& s = scratch();
  g_image_size = size;
  {
    FILE* f = std::fopen(s.image.c_str(), "wb");
    if (!f) fail("cannot write the input image");
    if (size && std::fwrite(data, 1, size, f) != size) fail("cannot write the input image");
    std::fclose(f);
  }

  IsoReset();
  if (!IsoMount(s.image.c_str(), 1)) {
    check(!IsoIsMounted(), "a failed mount left the image mounted");
    check(IsoGetRoot()->firstChild == nullptr, "a failed mount left a tree");
    check(IsoGetImagePath() == nullptr, "a failed mount left the image path");
    IsoReset();
    return 0;
  }
  check(IsoIsMounted() == 1, "mounted but IsoIsMounted says no");
  check(!IsoMount(s.image.c_str(), 1) && IsoGetLastError() == IsoErrAlreadyMounted,
        "a second mount was not refused with code 2");

  std::vector<std::string> paths = walk_tree();
  // Odd paths, and paths made of the input's own bytes.
  for (const char* odd : {"", "/", "//", "/opening.bnr", "/OPENING.BNR", "/a/", "a", "/./..",
                          "/////////////////////////////////////////////////////////////////"}) {
    look_up(odd);
  }
  look_up("/" + std::string(300, 'a'));
  look_up(std::string(2000, '/'));
  if (size > 0) {
    std::string raw(reinterpret_cast<const char*>(data), size < 200 ? size : 200);
    raw.resize(std::strlen(raw.c_str()));
    look_up(raw);
    look_up("/" + raw);
  }
  if (!paths.empty()) look_up(paths.front() + "/");

  ask_queries();
  read_banner();
  // The checks of what the image holds: the count of files past its end
  // never exceeds the files, and the outside scan (on discs small enough to
  // scan quickly) never counts more bytes than the disc has.
  uint64_t needed = 0;
  check(IsoCountFilesPastEnd(&needed) <= uint32_t(IsoGetFileCount()), "more files past the end than files");
  check(needed >= IsoGetImageSize(), "a needed size below the image's");
  uint64_t outside = 0;
  if (IsoGetImageSize() <= (64u << 20) && IsoCountOutsideData(&outside))
    check(outside <= IsoGetImageSize(), "more outside bytes than the disc has");
  // The structure check, and patterns over the whole tree: every finding's
  // bytes are in order, every match is an entry below its base.
  std::vector<IsoFinding> findings;
  check(IsoCheckDisc(&findings), "the check refused a mounted image");
  for (const IsoFinding& f : findings) check(f.start <= f.end && f.severity <= IsoSeverityNote, "a malformed finding");
  for (const char* pattern : {"/**", "/**/*", "/*/?*", "/**/**/a*"}) {
    std::vector<IsoMatch> matches;
    IsoMatchPath(pattern, &matches);
    for (const IsoMatch& m : matches) {
      const FstNode* n = m.node;
      while (n && n != m.base) n = n->parent;
      check(n == m.base, "a match outside its base");
    }
  }
  extract_everything(s, paths);

  IsoUnmount();
  check(!IsoIsMounted() && IsoGetRoot()->firstChild == nullptr, "unmount left the tree");
  IsoReset();
  return 0;
}
