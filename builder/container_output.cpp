// Writing the image into a container: the output's kind and settings, and
// the operations the image writer reaches the container writer through, with
// the writer's errors mapped to the builder's codes. Only a program that calls
// builder_set_output_format links this file and the writers behind it.
#include <string>

#include "builder/builder_state.h"

namespace {

// The builder's code for an error of the container writer.
uint16_t code_for(ContainerError error) {
  switch (error) {
    case CONTAINER_ERR_NO_MEMORY: return BUILD_ERR_NO_MEMORY;
    case CONTAINER_ERR_CREATE: return BUILD_ERR_CREATE_OUTPUT;
    case CONTAINER_ERR_KEPT_ASIDE: return BUILD_ERR_OUTPUT_IN_USE;
    case CONTAINER_ERR_OPTION:
    case CONTAINER_ERR_TOO_LARGE:
    case CONTAINER_ERR_WII_DISC: return BUILD_ERR_OUTPUT_FORMAT;
    default: return BUILD_ERR_WRITE;
  }
}

bool check(uint64_t disc_size) {
  ContainerError error = CONTAINER_OK;
  std::string detail;
  return container_write_check(g_builder.output_format, disc_size, &error, &detail) ||
         builder_fail_with_detail(code_for(error), detail);
}

bool open(uint64_t disc_size) {
  ContainerWriteOptions& options = g_builder.output_format;
  // Everything the build writes is in use; beyond it there are only zeros.
  try {
    options.used.assign(1, ContainerRange{0, g_builder.content_end});
  } catch (...) {
    return builder_fail(BUILD_ERR_NO_MEMORY);
  }
  ContainerError error = CONTAINER_OK;
  std::string detail;
  g_builder.container =
      container_writer_open(g_builder.settings.output_path, disc_size, options, nullptr, &error, &detail);
  return g_builder.container || builder_fail_with_detail(code_for(error), detail);
}

bool write(const void* data, size_t n) {
  ContainerWriter* w = g_builder.container;
  return container_writer_write(w, data, n) ||
         builder_fail_with_detail(code_for(container_writer_error(w)), container_writer_error_detail(w));
}

bool finish() {
  ContainerWriter* w = g_builder.container;
  g_builder.container = nullptr;  // released by the finish in every case
  ContainerError error = CONTAINER_OK;
  std::string detail, kept;
  return container_writer_finish(w, &error, &detail, &kept) ||
         builder_fail_with_detail(code_for(error), detail, kept.empty() ? nullptr : kept.c_str());
}

void abandon() {
  container_writer_abandon(g_builder.container);
  g_builder.container = nullptr;
}

const ContainerOutput CONTAINER_OUTPUT = {check, open, write, finish, abandon};

}  // namespace

bool builder_set_output_format(const ContainerWriteOptions& options) {
  ContainerError error = CONTAINER_OK;
  std::string detail;
  // The disc's size is known after the layout; builder_prepare checks it.
  if (!container_write_check(options, 0, &error, &detail))
    return builder_fail_with_detail(BUILD_ERR_OUTPUT_FORMAT, detail);
  // A preparation made for another kind no longer holds.
  host::output_abandon(g_builder.output);
  g_builder.output = nullptr;
  abandon();
  g_builder.prepared = false;
  try {
    g_builder.output_format = options;
  } catch (...) {
    return builder_fail(BUILD_ERR_NO_MEMORY);
  }
  g_builder.container_output = options.kind == CONTAINER_PLAIN ? nullptr : &CONTAINER_OUTPUT;
  return true;
}
