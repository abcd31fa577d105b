#include "explorer/core/extraction_logic.h"

#include "host/host_fs.h"
#include "host/host_text.h"
#include "reader/reader.h"

const char COPY_CAPTION_COPYING[] = "コピー中...";
const char COPY_CAPTION_FINISHED[] = "コピー完了";
const char COPY_CAPTION_FAILED[] = "コピー失敗";
const char CAPTION_ERROR[] = "エラー";

namespace {

const char TEXT_NOTHING_SELECTED[] = "何か選択して下さい。";
const char TEXT_SAVE_FAILED[] = "保存できません！";
const char TEXT_SAVED[] = "保存しました\n\n";
const char CAPTION_SUCCESS[] = "成功";

// True when the path's last character (not merely its last byte) is the
// host's separator.
bool ends_in_separator(const std::string& path) {
  bool last_is_separator = false;
  for (size_t i = 0; i < path.size(); ++i) {
    if (host::is_host_lead_byte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      last_is_separator = false;
    } else {
      last_is_separator = path[i] == host::PATH_SEPARATOR;
    }
  }
  return last_is_separator;
}

}  // namespace

std::string folder_with_separator(const std::string& folder) {
  if (ends_in_separator(folder)) return folder;
  return folder + host::PATH_SEPARATOR;
}

std::string folder_for_reader(const std::string& folder) {
  if (folder.size() > 1 && ends_in_separator(folder)) return folder.substr(0, folder.size() - 1);
  return folder;
}

const char* system_area_file_name(ExtractKind kind) {
  switch (kind) {
    case ExtractKind::BootData: return "boot.bin";
    case ExtractKind::FileSystemTable: return "fst";
    case ExtractKind::Apploader: return "apploader";
    case ExtractKind::MainProgram: return "default.dol";
    case ExtractKind::WholeImage:
    case ExtractKind::Selection: break;
  }
  return nullptr;
}

std::string row_image_path(const std::string& tree_path, const std::string& row_name) {
  if (tree_path == "/") return tree_path + row_name;
  return tree_path + "/" + row_name;
}

SelectionTarget selection_target(const SelectionRequest& request, const std::string& folder) {
  SelectionTarget target{SelectionTarget::Directory, request.tree_path, folder_for_reader(folder), ""};
  if (request.focus == CommandFocus::List) {
    if (!request.has_row) return {SelectionTarget::NothingSelected, "", "", ""};
    target.image_path = row_image_path(request.tree_path, request.row_name);
  } else if (request.tree_root_selected || request.tree_path == "/") {
    // The root item (or no selection, which lists the root) means every
    // entry of the image, written straight into the folder. The lookups do
    // not take "/" alone, so it never reaches them.
    target.image_path = "/";
    return target;
  }
  if (IsoFindDirectory(target.image_path.c_str(), 0)) return target;
  target.action = SelectionTarget::File;
  target.file_name = request.row_name;
  return target;
}

bool extract_selection(const SelectionTarget& target) {
  switch (target.action) {
    case SelectionTarget::Directory:
      return IsoExtractDirectory(target.image_path.c_str(), target.destination.c_str());
    case SelectionTarget::File: {
      // The reader joins the name, refusing one that would not stay a plain
      // file name inside the folder.
      char file[ISO_HOST_PATH_CAPACITY];
      return IsoJoinHostPath(target.destination.c_str(), target.file_name.c_str(), file,
                             sizeof file) &&
             IsoExtractFile(target.image_path.c_str(), file);
    }
    case SelectionTarget::NothingSelected: break;
  }
  return false;
}

bool extract_system_area(ExtractKind kind, const std::string& file) {
  switch (kind) {
    case ExtractKind::BootData: return IsoExtractBootData(file.c_str());
    case ExtractKind::FileSystemTable: return IsoExtractFst(file.c_str());
    case ExtractKind::Apploader: return IsoExtractApploader(file.c_str());
    case ExtractKind::MainProgram: return IsoExtractMainProgram(file.c_str());
    case ExtractKind::WholeImage:
    case ExtractKind::Selection: break;
  }
  return false;
}

bool system_area_span(ExtractKind kind, uint32_t* first_byte, uint32_t* length) {
  switch (kind) {
    case ExtractKind::BootData: return IsoGetSystemAreaSpan(IsoSystemBootData, first_byte, length);
    case ExtractKind::FileSystemTable: return IsoGetSystemAreaSpan(IsoSystemFst, first_byte, length);
    case ExtractKind::Apploader: return IsoGetSystemAreaSpan(IsoSystemApploader, first_byte, length);
    case ExtractKind::MainProgram: return IsoGetSystemAreaSpan(IsoSystemMainProgram, first_byte, length);
    case ExtractKind::WholeImage:
    case ExtractKind::Selection: break;
  }
  return false;
}

ExtractionMessage nothing_selected_message() {
  return {japanese_text(TEXT_NOTHING_SELECTED), CAPTION_ERROR, MessageIcon::Error};
}

ExtractionMessage reader_error_message(const char* reader_text, const char* refused_entry) {
  std::string text = reader_text ? reader_text : "";
  // Image names are code page 932, as the reader's texts.
  if (refused_entry && *refused_entry) text += std::string("\n") + refused_entry;
  return {japanese_text(text), "", MessageIcon::None};
}

ExtractionMessage system_area_message(bool saved, const std::string& file, int reader_code) {
  if (!saved && reader_code == IsoErrNoMainProgram) {
    return {japanese_text(std::string(TEXT_SAVE_FAILED) + "\n\n" + IsoErrorTextFor(reader_code)),
            CAPTION_ERROR, MessageIcon::Error};
  }
  if (!saved) return {japanese_text(TEXT_SAVE_FAILED), CAPTION_ERROR, MessageIcon::Error};
  return {ShownText{TEXT_SAVED, file, ""}, CAPTION_SUCCESS, MessageIcon::Information};
}
