#include "reader/raw_image.h"

#include <cstring>

#include "disc/disc_format.h"

RawImage::RawImage() : bytes(APPLOADER_OFFSET + 0x40, 0) {
  set_game_code("GTSE");
  set_maker_code("01");
  set_game_name("Raw Disc");
  set_be32(0x420, APPLOADER_OFFSET + 0x20);  // main program offset
}

void RawImage::set_game_code(const char code[4]) { std::memcpy(&bytes[0], code, 4); }
void RawImage::set_maker_code(const char code[2]) { std::memcpy(&bytes[4], code, 2); }
void RawImage::set_game_name(const std::string& name) {
  std::memset(&bytes[0x20], 0, 64);
  std::memcpy(&bytes[0x20], name.data(), name.size() < 64 ? name.size() : 64);
}
void RawImage::set_be32(size_t offset, uint32_t value) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4, 0);
  write_be32(&bytes[offset], value);
}

uint32_t RawImage::add_data(const std::vector<uint8_t>& data) {
  size_t offset = size_t(align_to_file_boundary(bytes.size()));
  bytes.resize(offset, 0);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return uint32_t(offset);
}

void RawImage::write_table(const std::vector<TableEntry>& entries, int64_t entry_count) {
  size_t fst = (bytes.size() + 3) & ~size_t(3);
  bytes.resize(fst, 0);
  uint32_t n = entry_count < 0 ? uint32_t(entries.size() + 1) : uint32_t(entry_count);
  std::vector<uint8_t> table((entries.size() + 1) * FST_ENTRY_SIZE, 0);
  write_be32(&table[0], FST_DIRECTORY_FLAG);
  write_be32(&table[8], n);
  std::string names;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TableEntry& e = entries[i];
    uint8_t* p = &table[(i + 1) * FST_ENTRY_SIZE];
    write_be32(p, uint32_t(names.size()) | (e.directory ? FST_DIRECTORY_FLAG : 0));
    write_be32(p + 4, e.second);
    write_be32(p + 8, e.third);
    names += e.name;
    names += '\0';
  }
  bytes.insert(bytes.end(), table.begin(), table.end());
  bytes.insert(bytes.end(), names.begin(), names.end());
  set_be32(0x424, uint32_t(fst));
  set_be32(0x428, uint32_t(table.size() + names.size()));
}

uint32_t RawImage::fst_offset() const { return read_be32(&bytes[0x424]); }

std::string RawImage::save(const test_support::ScratchDir& dir, const std::string& name) const {
  std::string path = dir.at(name);
  test_support::write_file(path, bytes);
  return path;
}

// ---------------------------------------------------------------------------

static ReaderFixture* g_recording = nullptr;

ReaderFixture::ReaderFixture() { IsoReset(); }
ReaderFixture::~ReaderFixture() {
  IsoReset();  // closes the image before the scratch folder goes
  g_recording = nullptr;
}

bool ReaderFixture::mount(const RawImage& image) { return mount_path(image.save(scratch)); }
bool ReaderFixture::mount_path(const std::string& path) {
  IsoUnmount();
  return IsoMount(path.c_str(), 1);
}

void ReaderFixture::record_callbacks() {
  g_recording = this;
  IsoSetCallbacks([](const char* path) { g_recording->events.push_back(std::string("start:") + path); },
                  [](int percent) { g_recording->events.push_back("p:" + std::to_string(percent)); },
                  [] { g_recording->events.push_back("done"); },
                  [] { g_recording->events.push_back("finished"); });
}

static void list_below(const FstNode* first, const std::string& prefix, std::vector<std::string>* out) {
  for (const FstNode* n = first; n; n = n->next) {
    std::string path = prefix + "/" + n->name;
    if (n->isDirectory) {
      out->push_back("d " + path);
      list_below(n->firstChild, path, out);
    } else {
      out->push_back("f " + path + " " + std::to_string(n->size) + " " + std::to_string(n->offset));
    }
  }
}

std::vector<std::string> list_tree() {
  std::vector<std::string> out;
  list_below(IsoGetRoot()->firstChild, "", &out);
  return out;
}
