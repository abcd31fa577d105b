// English texts of the reader's and the builder's codes.
#include "cli/engine_texts.h"

#include "builder/builder.h"
#include "reader/reader.h"

namespace {

const char* const kReaderTexts[] = {
    "no error",
    "out of memory",
    "an image is mounted already",
    "the image file cannot be opened",
    "the image is larger than a full disc",
    "the image is smaller than a full disc",
    "the image's file table cannot be read: it lies outside the image or is damaged",
    "no such folder in the image",
    "no such file in the image",
    "a folder cannot be created",
    "a file cannot be created",
    "reading the image failed",
    "writing failed (is the disk full?)",
    "the image cannot be positioned",
    "a path is longer than 511 bytes",
    "no image is mounted",
    "a name cannot be used as a file name here",
    "two entries of one folder would be written to the same file",
    "the destination is the image itself",
    "the container is damaged",
    "the container uses a version or method not read here",
    "a Wii disc; this tool reads GameCube discs",
    "the disc has no main program",
    "another program holds the destination open, so it cannot be replaced; the finished copy was kept",
};
static_assert(sizeof kReaderTexts / sizeof kReaderTexts[0] == ISO_ERROR_LAST + 1, "a text for every reader code");

const char* const kBuilderTexts[] = {
    "no error",
    "out of memory",
    "the output file cannot be created",
    "no build settings given",
    "the apploader or main program is missing, or a file cannot be opened for copying",
    "reading a source file failed",
    "writing the image failed (a full disk, for one)",
    "the base directory cannot be entered",
    "a folder cannot be listed, or a symbolic link loops back",
    "too many entries or name bytes for the file system table",
    "data beyond 4 GiB, or a file of 4 GiB or more",
    "a folder path longer than 259 bytes",
    "the image was written without being prepared",
    "a source file changed size during the build",
    "the output is an input; nothing is written",
    "an input or an entry under the base directory is not a regular file (a FIFO, socket or device)",
    "the image is complete but another program holds the output open; it is kept beside it",
    "an unpacked disc's sys/boot.bin or sys/bi2.bin has not its size",
    "an unpacked disc's sys/fst.bin is not a file system table",
    "the output's container does not take its settings or this image",
};
static_assert(sizeof kBuilderTexts / sizeof kBuilderTexts[0] == BUILD_ERROR_LAST + 1,
              "a text for every builder code");

}  // namespace

const char* reader_code_text(int code) {
  return code >= 0 && code <= ISO_ERROR_LAST ? kReaderTexts[code] : "an unknown error";
}

const char* builder_code_text(int code) {
  return code >= 0 && code <= BUILD_ERROR_LAST ? kBuilderTexts[code] : "an unknown error";
}

std::string reader_code_suffix(int code) { return " (reader code " + std::to_string(code) + ")"; }
std::string builder_code_suffix(int code) { return " (builder code " + std::to_string(code) + ")"; }
