#include "builder/build_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "disc/disc_format.h"
#include "host/host_fs.h"

namespace {
BuildFixture* g_recording = nullptr;

void record_log(const char* text) { g_recording->events.push_back({BuildEvent::Log, text, 0, 0}); }
void record_progress(int percent, uint32_t bytes) {
  g_recording->events.push_back({BuildEvent::Progress, "", percent, bytes});
}
void record_file_done() { g_recording->events.push_back({BuildEvent::FileDone, "", 0, 0}); }
void record_finished() { g_recording->events.push_back({BuildEvent::Finished, "", 0, 0}); }

void copy_path(char (&field)[260], const std::string& path) {
  std::memset(field, 0, sizeof field);
  std::strncpy(field, path.c_str(), sizeof field - 1);
}
}  // namespace

BuildFixture::BuildFixture() {
  base = scratch.at("base");
  test_support::fs::create_directories(base);
  apploader = scratch.at("apploader.img");
  main_program = scratch.at("main.dol");
  output = scratch.at("out.gcm");
  set_apploader(64);
  set_main_program(288);

  std::memset(&settings, 0, sizeof settings);
  std::memcpy(settings.game_code, "GTSE", 4);
  std::memcpy(settings.maker_code, "01", 2);
  std::strcpy(settings.game_name, "Test Disc");
  settings.max_fst_size = DEFAULT_MAX_FST_SIZE;
  copy_path(settings.output_path, output);
  copy_path(settings.base_directory, base);
  copy_path(settings.main_program_path, main_program);
  copy_path(settings.apploader_path, apploader);
}

BuildFixture::~BuildFixture() {
  builder_reset();  // closes the output before the scratch folder goes
  if (g_recording == this) g_recording = nullptr;
}

void BuildFixture::add_file(const std::string& relative, size_t size, uint8_t seed) {
  test_support::write_patterned_file(scratch.path() / "base" / relative, size, seed);
}

void BuildFixture::add_folder(const std::string& relative) {
  test_support::fs::create_directories(scratch.path() / "base" / relative);
}

void BuildFixture::set_apploader(size_t size) { test_support::write_patterned_file(apploader, size, 0xA1); }
void BuildFixture::set_main_program(size_t size) { test_support::write_patterned_file(main_program, size, 0xD0); }

bool BuildFixture::prepare() {
  builder_reset();
  bool ok = builder_set_output_format(output_format) && builder_prepare(&settings);
  error = builder_last_error();
  error_detail = builder_last_error_detail();
  return ok;
}

bool BuildFixture::write(bool maximise) {
  g_recording = this;
  events.clear();
  builder_set_callbacks(record_log, record_progress, record_file_done, record_finished);
  bool ok = builder_write_image(maximise);
  error = builder_last_error();
  error_detail = builder_last_error_detail();
  if (!ok) builder_reset();  // releases the output so the test may read it
  return ok;
}

std::vector<uint8_t> BuildFixture::image() const { return test_support::read_file(output); }

std::vector<std::pair<int, uint32_t>> BuildFixture::progress_of_item(size_t item) const {
  std::vector<std::pair<int, uint32_t>> result;
  size_t current = 0;
  for (const BuildEvent& e : events) {
    if (e.kind == BuildEvent::FileDone) {
      if (current == item) return result;
      ++current;
    } else if (e.kind == BuildEvent::Progress && current == item) {
      result.emplace_back(e.percent, e.bytes);
    }
  }
  return result;
}

std::vector<std::string> BuildFixture::log_lines() const {
  std::vector<std::string> lines;
  for (const BuildEvent& e : events)
    if (e.kind == BuildEvent::Log) lines.push_back(e.text);
  return lines;
}

uint32_t be32_at(const std::vector<uint8_t>& bytes, size_t offset) { return read_be32(&bytes.at(offset + 3) - 3); }

void make_host_folder(const std::string& path) {
  if (!host::make_directory(path.c_str())) ADD_FAILURE() << "cannot make folder " << path;
}

void write_host_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  host::File* f = host::file_create(path.c_str());
  if (!f) {
    ADD_FAILURE() << "cannot create " << path;
    return;
  }
  if (!host::file_write(f, bytes.data(), bytes.size())) ADD_FAILURE() << "cannot write " << path;
  host::file_close(f);
}

std::vector<uint8_t> read_host_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  host::File* f = host::file_open_read(path.c_str());
  uint64_t length = 0;
  if (!f || !host::file_length(f, &length)) {
    ADD_FAILURE() << "cannot read " << path;
    if (f) host::file_close(f);
    return bytes;
  }
  bytes.resize(size_t(length));
  if (length > 0 && !host::file_read(f, bytes.data(), bytes.size())) ADD_FAILURE() << "cannot read " << path;
  host::file_close(f);
  return bytes;
}

static void list_host_folder(const std::string& folder, const std::string& rel,
                             std::vector<std::string>* out) {
  host::DirListing* listing = host::dir_open(folder.c_str());
  if (!listing) {
    ADD_FAILURE() << "cannot list " << folder;
    return;
  }
  std::vector<std::string> names;
  const char* name = nullptr;
  while (host::dir_next(listing, &name) == host::ListStep::Entry) {
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names.push_back(name);
  }
  host::dir_close(listing);
  for (const std::string& n : names) {
    std::string path = folder + host::PATH_SEPARATOR + n;
    if (host::is_directory(path.c_str())) {
      out->push_back("d " + rel + "/" + n);
      list_host_folder(path, rel + "/" + n, out);
    } else {
      uint64_t length = 0;
      host::measure_file(path.c_str(), &length);
      out->push_back("f " + rel + "/" + n + " " + std::to_string(length));
    }
  }
}

std::vector<std::string> host_tree_listing(const std::string& folder) {
  std::vector<std::string> out;
  list_host_folder(folder, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}
