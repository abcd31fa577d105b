// Mounting, unmounting, resetting and the error texts.
#include "reader/reader_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

// Clears everything an unmount clears; the settings stay.
static void clear_image_state() { reader_reset_state(true); }

bool IsoReset() {
  reader_reset_state(false);
  return true;
}

void IsoSetCallbacks(IsoFileStartedFn fileStarted, IsoProgressFn progress,
                     IsoFileFinishedFn fileFinished, IsoOperationFinishedFn operationFinished) {
  g_reader.settings.file_started = fileStarted;
  g_reader.settings.progress = progress;
  g_reader.settings.file_finished = fileFinished;
  g_reader.settings.operation_finished = operationFinished;
}

void IsoUnmount() {
  if (!g_reader.mounted) return;
  clear_image_state();
  g_reader.error = IsoErrNone;
}

// Loads "/opening.bnr" when the image has one. Its size alone tells the kind.
static void load_banner() {
  uint32_t offset = 0, size = 0;
  if (!IsoFindFile(BANNER_PATH, &offset, &size, 0)) return;
  if (size == BANNER_SINGLE_RECORD_SIZE) {
    g_reader.banner_kind = BANNER_KIND_SINGLE_RECORD;
    read_zero_filled(offset, g_reader.banner_single, sizeof g_reader.banner_single);
  } else {
    // Any other size is read as a six-language banner from its start.
    g_reader.banner_kind = BANNER_KIND_SIX_LANGUAGE;
    read_zero_filled(offset, g_reader.banner_six, sizeof g_reader.banner_six);
  }
}

void IsoSetMountBrokenTables(uint8_t enabled) { g_reader.settings.keep_broken_table = enabled ? 1 : 0; }

// After a failed table build: true when the mount goes on without entries,
// the fault kept for IsoCheckDisc.
static bool keep_broken_table() {
  if (!g_reader.settings.keep_broken_table || g_reader.error != IsoErrFstCache) return false;
  const int fault = g_reader.table_fault;
  const uint32_t entry = g_reader.table_fault_entry;
  release_fst_cache();
  char product_code[32];
  g_reader.root.name = iso_strdup(IsoGetProductCode(product_code, sizeof product_code));
  g_reader.table_fault = fault == TableSound ? TableBadCount : fault;
  g_reader.table_fault_entry = entry;
  return g_reader.root.name != nullptr;
}

bool IsoMount(const char* hostImagePath, uint8_t acceptAnySize) {
  if (g_reader.mounted) {
    g_reader.error = IsoErrAlreadyMounted;
    return false;
  }
  // The file is read as the plain disc it holds, whatever its container.
  ContainerError opened = CONTAINER_OK;
  std::string detail;
  Container* disc = container_open(hostImagePath, &opened, &detail);
  if (!disc) {
    g_reader.error = reader_container_failure(opened, detail, IsoErrOpen);
    return false;
  }
  const uint64_t size = container_disc_size(disc);
  if (size != DISC_IMAGE_SIZE && !acceptAnySize) {
    container_close(disc);
    clear_image_state();
    g_reader.error = size > DISC_IMAGE_SIZE ? IsoErrTooLarge : IsoErrBadSize;
    return false;
  }
  clear_image_state();
  g_reader.disc = disc;
  g_reader.image_size = size;
  g_reader.container_size = size;
  g_reader.has_image_id = container_file_identity(disc, &g_reader.image_id) ? 1 : 0;

  // The boot block begins with the disc header.
  static_assert(sizeof g_reader.header <= sizeof g_reader.boot_block, "the header lies in the boot block");
  read_zero_filled(0, g_reader.boot_block, sizeof g_reader.boot_block);
  std::memcpy(&g_reader.header, g_reader.boot_block, sizeof g_reader.header);
  g_reader.main_program_offset = g_reader.header.main_program_offset.get();
  g_reader.fst_offset = g_reader.header.fst_offset.get();
  g_reader.fst_size = g_reader.header.fst_size.get();
  read_zero_filled(APPLOADER_OFFSET, g_reader.apploader_header, sizeof g_reader.apploader_header);
  if (reader_has_main_program())
    read_zero_filled(g_reader.main_program_offset, g_reader.dol_header, sizeof g_reader.dol_header);

  if (!build_fst_cache() && !keep_broken_table()) {
    // 6 for a table that cannot be trusted, 1 when memory ran out, 19 or 20
    // when a container could not give its bytes.
    const int code = g_reader.error;
    const std::string detail_kept = g_reader.container_detail;
    clear_image_state();
    g_reader.error = code;
    g_reader.container_detail = detail_kept;
    return false;
  }
  // A CISO leaves out the zero blocks at the disc's end: its files may end
  // past its last stored block, in zeros.
  if (container_kind_drops_trailing_zeros(container_kind(disc)) && g_reader.files_end > size)
    g_reader.image_size = std::min<uint64_t>(g_reader.files_end, DISC_IMAGE_SIZE);
  load_banner();

  g_reader.mounted = 1;
  g_reader.image_path = iso_strdup(hostImagePath);
  if (!g_reader.image_path) return false;  // stays mounted; the next unmount releases it
  g_reader.error = IsoErrNone;
  return true;
}

uint8_t IsoIsMounted() { return g_reader.mounted; }
const char* IsoGetImagePath() { return g_reader.image_path; }
FstNode* IsoGetRoot() { return &g_reader.root; }
int IsoGetFileCount() { return g_reader.file_count; }
int IsoGetDirectoryCount() { return g_reader.directory_count; }
int IsoGetLastError() { return g_reader.error; }

bool IsoLastErrorIsRead() {
  const int code = g_reader.error;
  return code == IsoErrRead || code == IsoErrSeek || code == IsoErrContainerDamaged ||
         code == IsoErrContainerUnsupported;
}

const char* IsoErrorTextFor(int code) {
  switch (code) {
    case IsoErrNone: return "No error";
    case IsoErrNoMemory: return "Cannot allocate memory";
    case IsoErrAlreadyMounted: return "ISO already mounted; unmount first";
    case IsoErrOpen:
      return "ISOファイルを開くことができません。ファイルが存在するか、"
             "他のプロセスで開いていないか確認して下さい。";
    case IsoErrTooLarge: return "ISOが大きすぎます。破損している可能性があります";
    case IsoErrBadSize: return "ISOが不正なｻｲｽﾞです。破損している可能性があります";
    case IsoErrFstCache: return "ISOのファイル構造をキャッシュできません";
    case IsoErrNoDirectory: return "ﾃﾞｨﾚｸﾄﾘが存在しません";
    case IsoErrNoFile: return "ﾌｧｲﾙが見つかりません";
    case IsoErrMakeDirectory: return "ﾃﾞｨﾚｸﾄﾘを作成できません";
    case IsoErrCreateFile: return "ﾌｧｲﾙを作成できません";
    case IsoErrRead: return "ファイルの読み込みエラー";
    case IsoErrWrite: return "ファイルの書込みエラー";
    case IsoErrSeek: return "ﾃﾞｨｽｸｱｸｾｽｴﾗｰ";
    case IsoErrPathTooLong: return "パスが長すぎます";
    case IsoErrNotMounted: return "ISOがマウントされていません";
    case IsoErrUnsafeName: return "ﾌｧｲﾙ名が不正です";
    case IsoErrDuplicateName: return "同じ名前のﾌｧｲﾙまたはﾃﾞｨﾚｸﾄﾘが二つあります";
    case IsoErrTargetIsImage: return "ISOファイル自身には書き込めません";
    case IsoErrContainerDamaged: return "ISOのコンテナが壊れています";
    case IsoErrContainerUnsupported: return "このISOのコンテナの形式には対応していません";
    case IsoErrWiiDisc: return "Wiiのディスクです。このツールはゲームキューブのディスクを読みます";
    case IsoErrNoMainProgram: return "このディスクにはメインプログラムがありません";
    case IsoErrDestinationInUse:
      return "出力先のﾌｧｲﾙが他のプログラムで使用中のため置き換えられません。"
             "完成したﾌｧｲﾙは別の名前で残しました";
    default: return "不明なエラー";
  }
}

const char* IsoGetErrorDetail() {
  const int code = g_reader.error;
  if (code == IsoErrDestinationInUse) return g_reader.kept_path.c_str();
  if (code == IsoErrContainerDamaged || code == IsoErrContainerUnsupported) return g_reader.container_detail.c_str();
  return "";
}

const char* IsoGetErrorText() {
  const int code = g_reader.error;
  if (code == IsoErrDestinationInUse) {
    g_reader.error_text = std::string(IsoErrorTextFor(code)) + ": " + g_reader.kept_path;
    return g_reader.error_text.c_str();
  }
  if ((code != IsoErrContainerDamaged && code != IsoErrContainerUnsupported) || g_reader.container_detail.empty())
    return IsoErrorTextFor(code);
  g_reader.error_text = std::string(IsoErrorTextFor(code)) + " (" + g_reader.container_detail + ")";
  return g_reader.error_text.c_str();
}
