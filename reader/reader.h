// The image reader engine: mounts one disc image at a time, caches its file
// system table as a tree of FstNode records, looks paths up, extracts files,
// folders and system areas, and answers header and banner queries.
//
// Plain operations over one global reader state. Operations return a success
// flag (or a pointer) and leave a numeric code that IsoGetErrorText turns
// into a text. Nothing here shows anything; copy progress goes through the
// four callbacks registered with IsoSetCallbacks.
//
// Image paths use "/" as separator and begin with "/". The lookups do not
// treat "/" alone specially: callers that accept the root use IsoGetRoot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Error codes
// ---------------------------------------------------------------------------

enum IsoError {
  IsoErrNone = 0,
  IsoErrNoMemory = 1,
  IsoErrAlreadyMounted = 2,
  IsoErrOpen = 3,
  IsoErrTooLarge = 4,
  IsoErrBadSize = 5,
  IsoErrFstCache = 6,
  IsoErrNoDirectory = 7,
  IsoErrNoFile = 8,
  IsoErrMakeDirectory = 9,
  IsoErrCreateFile = 10,
  IsoErrRead = 11,
  IsoErrWrite = 12,
  IsoErrSeek = 13,
  // Refusals the reader adds to keep extraction safe.
  IsoErrPathTooLong = 14,  // a host path does not fit the 511-character buffers
  IsoErrNotMounted = 15,   // an extraction was asked for with no image mounted
  IsoErrUnsafeName = 16,   // an entry's name would leave the destination folder
  IsoErrDuplicateName = 17,  // two entries of one folder would be written to one host file
  IsoErrTargetIsImage = 18,  // a destination is the mounted image itself
  // The image is a container (RVZ, WIA, GCZ, CISO, WDF) that is damaged, or
  // uses a method or version not read here; the error text names the
  // container and what is wrong.
  IsoErrContainerDamaged = 19,
  IsoErrContainerUnsupported = 20,
  IsoErrWiiDisc = 21,  // a Wii disc, plain or in a container
  // The main program was asked for on a disc that has none (its offset 0 or
  // inside the boot block, or a header that describes no program).
  IsoErrNoMainProgram = 22,
  // The copy is complete, but another program holds the destination open so
  // that it cannot be replaced; the copy is kept beside it under another
  // name (IsoGetKeptFilePath).
  IsoErrDestinationInUse = 23,
};
constexpr int ISO_ERROR_LAST = IsoErrDestinationInUse;

// Host paths are built in buffers of this many bytes (511 characters + NUL).
constexpr int ISO_HOST_PATH_CAPACITY = 512;

// ---------------------------------------------------------------------------
// The cached tree
// ---------------------------------------------------------------------------

struct FstNode {
  char* name;          // NUL-terminated, of any length; owned by the reader (entries may share one)
  uint32_t size;       // file length; 0 for a folder
  uint32_t offset;     // image offset of the file's data; 0 for a folder
  uint8_t isDirectory;
  FstNode* prev;        // previous sibling, null for the first
  FstNode* next;        // next sibling, null for the last
  FstNode* parent;      // containing folder; the root record for top-level entries
  FstNode* firstChild;  // first entry of a folder, null for files and empty folders
};

// ---------------------------------------------------------------------------
// Callbacks
// ---------------------------------------------------------------------------

typedef void (*IsoFileStartedFn)(const char* destination_path);
typedef void (*IsoProgressFn)(int percent);
typedef void (*IsoFileFinishedFn)();
typedef void (*IsoOperationFinishedFn)();

// ---------------------------------------------------------------------------
// Mounting and the table cache
// ---------------------------------------------------------------------------

// Unmounts, clears the whole state and all four callbacks. Always true.
bool IsoReset();
// Any of the four may be null.
void IsoSetCallbacks(IsoFileStartedFn fileStarted, IsoProgressFn progress,
                     IsoFileFinishedFn fileFinished, IsoOperationFinishedFn operationFinished);

// Opens the image, reads its header and file system table into the tree and
// loads "/opening.bnr". The image may be plain or held in a container (RVZ,
// WIA, GCZ, CISO, WDF, told by its magic word); everything then reads the
// plain disc. With acceptAnySize clear only a full-size disc mounts.
bool IsoMount(const char* hostImagePath, uint8_t acceptAnySize);
void IsoUnmount();
uint8_t IsoIsMounted();
const char* IsoGetImagePath();  // null when unmounted

// The root record: named after the product code; valid (and childless) when
// unmounted.
FstNode* IsoGetRoot();
int IsoGetFileCount();
int IsoGetDirectoryCount();

// matchMode 0: folder components exact, the file name ignoring ASCII case.
// matchMode 1: folder components ignoring ASCII case, the file name exact.
bool IsoFindFile(const char* path, uint32_t* offset, uint32_t* size, uint8_t matchMode);
// Every component must be a folder; null when not found.
FstNode* IsoFindDirectory(const char* path, uint8_t ignoreCase);
// A folder or a file, every component matched exactly; the folder when the
// path names both. Null when not found.
FstNode* IsoFindEntry(const char* path);

// Entries named by a path that may hold wildcards, as extraction takes
// them: "*" any part of a name, "?" one character, a component "**" any
// number of folders. Each match keeps its path below base, the folder
// reached by the pattern's components before the first wildcard: it is
// extracted as destination/<names from base down to it>. A path without
// wildcards names one entry: "/" the root (its entries go straight into the
// destination), a folder matched exactly, else the file IsoFindFile finds
// with matchMode 1; base is then its folder. In a pattern every folder
// component matches ignoring ASCII case and the last one names exactly (files
// and folders alike).
struct IsoMatch {
  const FstNode* node;
  const FstNode* base;
};
// Appends what path matches to matches, leaving out what is there already
// or lies inside a matched folder of the same base; returns how many entries
// path matched, 0 when none.
size_t IsoMatchPath(const char* path, std::vector<IsoMatch>* matches);
// The names from the match's base down to its node, joined by "/".
std::string IsoMatchRelativePath(const IsoMatch& match);

// An in-image path as the lookups want it: a leading "/", no empty
// components (repeated or trailing "/" are dropped), "/" alone for the root.
// "." and ".." are kept: inside an image they are names like any other.
// False for an empty path or one holding a NUL byte.
bool IsoCanonicalPath(const std::string& path, std::string* canonical);
// Each "/"-separated name of an in-image path passed through convert, the
// results joined with separator. "/" is never part of a code page 932
// character, so the names are found by it.
std::string IsoMapPathNames(const std::string& path, char separator, std::string (*convert)(const std::string& name));
// A path typed on this host, spelled as images spell it: each name in code
// page 932 (on Windows the arguments already are), a name without such a form
// unchanged, so that it still finds an entry whose name was stored as its
// host bytes.
std::string IsoPathFromHostText(const std::string& path);

int IsoGetLastError();
// Text for the current code, in code page 932: the constant one, followed for
// a container's damage or unsupported method by what the container says.
const char* IsoGetErrorText();
// The text for a given code (the same table).
const char* IsoErrorTextFor(int code);
// What the current code is about beyond its text: for codes 19 and 20 what
// the container says (in English), for 23 the kept copy's path; else "".
const char* IsoGetErrorDetail();
// Whether the last code says the image could not be read (a copy's source
// failed), not that a destination could not be written.
bool IsoLastErrorIsRead();

// ---------------------------------------------------------------------------
// Extraction
// ---------------------------------------------------------------------------

// Copies length bytes from the image at firstByte into a new host file, in
// 4,096-byte blocks, reporting progress and fileFinished. A destination that
// is the mounted image itself is refused (code 18) and never opened. The
// copy replaces the destination only once it is complete (a link there is
// replaced, not written through); a copy that fails leaves the destination
// as it was. Outside folder extractions the copy is flushed to the disk
// first.
bool IsoCopyRange(const char* destination, uint32_t firstByte, uint32_t length);
bool IsoExtractFile(const char* pathInImage, const char* destinationFile);
// "/" extracts the whole file system straight into destinationFolder; another
// folder is extracted as destinationFolder/<its name>/... Each image name
// becomes the host's name for it through IsoJoinHostPath, and fileStarted
// reports the host path so built. A file or folder that this extraction has
// written already is never written over by a later entry of the same host
// name (code 17), whatever the host's rules for telling names apart.
bool IsoExtractDirectory(const char* pathInImage, const char* destinationFolder);
bool IsoExtractChildren(const FstNode* first, const char* destinationFolder);

// Each match (IsoMatchPath) into destinationFolder under its path below its
// base; the folders on the way are made (or used, when this extraction made
// them or IsoSetReuseFolders allows). Two matches that would land on one
// host path are refused with code 17, as two entries of one folder are.
bool IsoExtractMatches(const std::vector<IsoMatch>& matches, const char* destinationFolder);

// The disc as other disc tools unpack it: the boot areas (IsoGetBootArea)
// into folder/sys, the whole file system into folder/files, as
// IsoExtractDirectory("/") writes it. Folders that exist already are used
// (a link is no folder here). An area that runs past the image's end is
// refused with code 11 before anything is written.
bool IsoUnpack(const char* folder);

// The four system areas, and the span of the image each extraction copies:
// boot data 0x430 bytes from 0, the table fst_size bytes from fst_offset, the
// apploader from 0x2440 up to the main program, the main program up to the
// table. Where the header's offsets give no such span (the main program at 0
// or inside the boot block, or the table before it, so the length would
// wrap), the apploader and the main program take the lengths their own
// headers give, as IsoGetBootArea does. A disc without a main program has no
// span for it: false with code 22, and its extraction writes nothing.
enum IsoSystemArea { IsoSystemBootData, IsoSystemFst, IsoSystemApploader, IsoSystemMainProgram };
bool IsoGetSystemAreaSpan(int area, uint32_t* firstByte, uint32_t* length);
bool IsoExtractBootData(const char* destination);
bool IsoExtractFst(const char* destination);
// A span taken from a header that runs past the image's end is refused with
// code 11 before anything is written.
bool IsoExtractApploader(const char* destination);
bool IsoExtractMainProgram(const char* destination);

// The one way an image name becomes part of a host path: folder, the host's
// separator, then the name in the host's form (UTF-8 on POSIX hosts). A name
// that host::is_safe_host_name refuses in that form gives code 16 and a path
// that does not fit in capacity bytes code 14; out is then unchanged.
bool IsoJoinHostPath(const char* folder, const char* imageName, char* out, size_t capacity);
// True when IsoJoinHostPath takes the name.
bool IsoIsSafeHostName(const char* imageName);

// ---------------------------------------------------------------------------
// Extraction plans
// ---------------------------------------------------------------------------
//
// A dry run of an extraction: the same walk over the same entries, each host
// path made by IsoJoinHostPath and each duplicate found by the same rule,
// writing nothing. It totals the files in the order the extraction copies
// them and stops at the first entry the extraction would refuse, or whose
// destination is in the way. A plan may take several steps, for an
// extraction of several pieces; after a stop they add nothing.

enum IsoPlanStop {
  IsoPlanGo = 0,
  IsoPlanUnsafeName,     // where: in-image path of an entry whose name cannot be a file name here
  IsoPlanPathTooLong,    // where: in-image path whose host path would not fit
  IsoPlanDuplicateName,  // where: in-image path of an entry an earlier one shares its file with
  IsoPlanTargetIsImage,  // where: host path that is the mounted image
  IsoPlanWrongKind,      // where: host path of a folder where a file goes, or the reverse
  IsoPlanLinkInTheWay,   // where: host path of a link where a folder goes
  IsoPlanExists,         // existing: the first few host paths that exist already
  IsoPlanAreaPastEnd,    // area: the boot area (IsoBootArea) that runs past the image's end
};
constexpr size_t ISO_PLAN_SHOWN_EXISTING = 3;

// Told of each destination a plan looks at, in the order the extraction
// writes them: a folder (size 0) or a file, and whether something is there
// already.
typedef void (*IsoPlanTargetFn)(const char* hostPath, uint8_t isFolder, uint32_t size, uint8_t exists);

struct IsoExtractionPlan {
  // Existing files are replaced and existing folders written into; without
  // it anything that exists already stops the plan at IsoPlanFinish. Links
  // count as existing: a file replaces one, a folder never goes through one.
  uint8_t overwrite;
  uint64_t totalBytes;
  std::vector<uint32_t> fileSizes;  // in copy order
  int stop;                         // IsoPlanStop
  std::string where;
  int area;
  std::vector<std::string> existing;  // at most ISO_PLAN_SHOWN_EXISTING
  size_t existingCount;
  IsoPlanTargetFn onTarget;  // set after IsoPlanStart to list the targets; may be null
};

void IsoPlanStart(IsoExtractionPlan* plan, uint8_t overwrite);
// The dry runs of IsoExtractChildren, IsoExtractDirectory and IsoUnpack.
void IsoPlanChildren(IsoExtractionPlan* plan, const FstNode* first, const char* destinationFolder);
void IsoPlanDirectory(IsoExtractionPlan* plan, const char* pathInImage, const char* destinationFolder);
void IsoPlanUnpack(IsoExtractionPlan* plan, const char* folder);
// The file IsoExtractFile finds at pathInImage, written into destinationFolder
// under its name.
void IsoPlanFile(IsoExtractionPlan* plan, const char* pathInImage, const char* destinationFolder);
// The dry run of IsoExtractMatches.
void IsoPlanMatches(IsoExtractionPlan* plan, const std::vector<IsoMatch>& matches, const char* destinationFolder);
// A destination that is no entry of the image (a system area's file, a
// whole disc), checked the same way; a file's size counts into the totals.
void IsoPlanTarget(IsoExtractionPlan* plan, const char* destination, uint8_t isFolder, uint32_t size);
// Stops the plan with IsoPlanExists when anything exists that overwrite
// does not allow.
void IsoPlanFinish(IsoExtractionPlan* plan);

// After code 23: the path of the finished copy kept beside its
// destination; "" after any other code.
const char* IsoGetKeptFilePath();

// After code 14, 16 or 17 from a folder extraction (IsoExtractDirectory,
// IsoExtractChildren, IsoUnpack): the in-image path of the entry it stopped
// at, its names as the table holds them (code page 932); "" after any other
// code, or when the refusal concerned no entry (a destination path too
// long, a name given to IsoJoinHostPath). Valid until the next call.
const char* IsoGetRefusedEntryPath();

// When set, the folder extractions use a folder that exists already instead
// of failing with code 9 (a link is no folder here). Cleared by IsoReset.
void IsoSetReuseFolders(uint8_t enabled);

// ---------------------------------------------------------------------------
// Disc information
// ---------------------------------------------------------------------------

char* IsoGetGameName(char* buffer, int capacity);
// "DOL-" + three game-code characters + "-" + JPN / USA / EUR.
char* IsoGetProductCode(char* buffer, int capacity);
const char* IsoGetMakerName();

// Video format text from a product code (its character at index 8).
const char* IsoVideoFormatText(const char* productCode);

// The size of the disc the image holds (the file's own for a plain image),
// and its first 0x2440 bytes (the header and the bi2 block) as read at mount;
// zero when unmounted. A CISO leaves out the zero blocks at the disc's end
// and records no size: its disc runs on in zeros to the end of the table's
// furthest file (at most a full disc), and reads and extracts so.
uint64_t IsoGetImageSize();
const uint8_t* IsoGetBootBlock();
// The apploader's 32-byte header (its date, entry point and sizes).
const uint8_t* IsoGetApploaderHeader();

// The boot areas as other disc tools unpack a disc into sys/.
enum IsoBootArea {
  IsoAreaBootBin,    // "boot.bin": 0x440 bytes from 0
  IsoAreaBi2,        // "bi2.bin": 0x2000 bytes from 0x440
  IsoAreaApploader,  // "apploader.img": its header, code and trailer, from 0x2440
  IsoAreaMainDol,    // "main.dol": up to its last section's end; none when its offset is 0 or
                     // inside the boot block
  IsoAreaFst,        // "fst.bin": fst_size bytes from fst_offset
  ISO_BOOT_AREA_COUNT
};
struct IsoAreaRange {
  const char* file_name;
  uint32_t offset;
  uint32_t length;
  uint8_t present;
};
IsoAreaRange IsoGetBootArea(int area);

// What identifies the mounted disc and where its boot areas lie, read from
// the header, the bi2 block and the apploader's header kept at mount; all
// zero when unmounted.
struct IsoDiscInfo {
  char id6[7];  // game code and maker code as stored, NUL-terminated
  uint8_t disc_number;  // 0 for the first disc of a set
  uint8_t revision;
  uint8_t audio_streaming;  // 1 when the disc streams audio
  uint8_t stream_buffer_size;
  uint8_t has_disc_magic;   // the GameCube magic word at 0x1C
  uint32_t bi2_region;      // the bi2 block's region word
  char apploader_date[17];  // the apploader header's date, up to its NUL
  IsoAreaRange apploader, main_program, fst;  // as IsoGetBootArea gives them
  uint32_t max_fst_size;
  uint64_t image_size;  // as IsoGetImageSize
};
void IsoGetDiscInfo(IsoDiscInfo* info);

// ---------------------------------------------------------------------------
// Checks of what the image holds
// ---------------------------------------------------------------------------

// How many files (of at least one byte) run past the end of the disc the
// image holds, as in a cut download; *neededSize is then the size the image
// should have at least, the end of the furthest file (else the disc's size).
// A CISO's disc runs on in zeros as far as its files (IsoGetImageSize).
// 0 when unmounted.
uint32_t IsoCountFilesPastEnd(uint64_t* neededSize);

// Counts the bytes of the disc outside the boot areas (as IsoGetBootArea
// gives them), the file table and the files that are neither zero nor the
// disc's filler (container/junk.h), which mastered discs hold between files:
// data that no file of the image carries, such as a second file system.
// Reads the gaps through the container in large blocks. False when the
// image cannot be read (its code then set, 15 when unmounted).
bool IsoCountOutsideData(uint64_t* bytes);

// When set, a mount whose file table cannot be trusted still succeeds, with
// no entries, so that IsoCheckDisc can say what is wrong with the table.
// Cleared by IsoReset.
void IsoSetMountBrokenTables(uint8_t enabled);

// What a check of the mounted disc finds. Each finding names the entry (an
// in-image path "/a/b") or boot area ("boot.bin", "bi2.bin",
// "apploader.img", "main.dol", "fst.bin") it is about and that entry's bytes
// [start, end) in the disc; kind says what is wrong and which of other and
// value it uses.
enum IsoSeverity { IsoSeverityError, IsoSeverityWarning, IsoSeverityNote };
enum IsoFindingKind {
  IsoFindNotADisc,          // error: no plausible GameCube disc header
  IsoFindNoDiscMagic,       // warning: no GameCube magic word at 0x1C, which other tools look for
  IsoFindOddIdentity,       // warning: the game or maker code holds more than letters and digits
  IsoFindTableOutside,      // error: the table runs past the image's end (value: the image's size)
  IsoFindTableBroken,       // error: the table fails its check (value: the entry at fault, 0 for its count)
  IsoFindTableOverMax,      // warning: the table is larger than the header's maximum (value)
  IsoFindAreaPastEnd,       // error: a boot area runs past the image's end (value: the image's size)
  IsoFindAreasOverlap,      // error: a boot area overlaps another (other)
  IsoFindNoMainProgram,     // note: the disc has no main program
  IsoFindNoSections,        // error: the main program's header describes no section
  IsoFindEntryPoint,        // error: the main program's entry point (value) lies in none of its sections
  IsoFindFilePastEnd,       // error: a file runs past the image's end (value: the image's size)
  IsoFindFilesOverlap,      // error: a file overlaps another (other)
  IsoFindFileOverlapsArea,  // error: a file overlaps a boot area (other)
  IsoFindUnsafeName,        // warning: a name cannot be a file name on this system
  IsoFindDuplicateName,     // warning: a name lands on the file of an earlier entry of its folder (other)
  IsoFindShortImage,        // note: the image (value bytes) is shorter than a full disc, and nothing is missing
  IsoFindLongImage,         // warning: the image (value bytes) is longer than a full disc
  IsoFindMore,              // note: value more findings of kind moreOf, not listed
};
struct IsoFinding {
  int kind;      // IsoFindingKind
  int severity;  // IsoSeverity
  std::string entry;
  uint64_t start, end;
  std::string other;
  uint64_t value;
  int moreOf;
};
// At most this many findings of one kind are listed; IsoFindMore counts the
// rest.
constexpr size_t ISO_CHECK_SHOWN_PER_KIND = 50;
// Checks the mounted disc: the header; the table inside the image and
// passing the table check; no file past the image's end (as
// IsoCountFilesPastEnd counts them); no two files overlapping, nor a file a
// boot area, nor two boot areas; the main program's sections and entry
// point; every name extractable here (IsoIsSafeHostName, and no two entries
// of a folder on one host file). Findings come in that order. False when no
// image is mounted (code 15).
bool IsoCheckDisc(std::vector<IsoFinding>* findings);

// A span of the disc, [start, end).
struct IsoSpan {
  uint64_t start;
  uint64_t end;
};
// The spans of the disc that something uses: the boot areas (as
// IsoGetBootArea gives them), the file table and every file of at least one
// byte, sorted and merged where they touch or overlap. What lies outside
// them is what a scrubbed copy leaves out. False when no image is mounted
// (code 15).
bool IsoListUsedSpans(std::vector<IsoSpan>* spans);

// ---------------------------------------------------------------------------
// Banner
// ---------------------------------------------------------------------------

enum BannerSelector : uint16_t {
  BannerShortMaker = 1,
  BannerLongMaker = 2,
  BannerShortName = 3,
  BannerLongName = 4,
  BannerDescription = 5,
  BannerPicture = 6,
};

// 0 single-record, 1 six-language.
uint8_t IsoGetBannerKind();
// Pointer into the loaded banner; null for an unknown selector, or for a
// language outside 0-5 of a six-language banner. A single-record banner
// answers every language with its one record.
const uint8_t* IsoGetBannerField(uint16_t selector, uint16_t language);
void IsoPrepareBannerPicture();
// The picture buffer in stored (tile) order, host byte order, 3,072 pixels.
const uint16_t* IsoGetBannerPicture();
// The picture as IsoDrawBanner paints it, prepared first: BANNER_WIDTH x
// BANNER_HEIGHT pixels of red, green and blue bytes, rows top to bottom.
void IsoGetBannerRgb(uint8_t* rgb);

// Drawing target: a device context on Windows, an RGB canvas elsewhere.
#ifdef _WIN32
struct HDC__;
typedef HDC__* IsoDrawTarget;
#else
struct BannerCanvas {
  uint8_t rgb[32][96][3];  // rows top to bottom, red green blue
};
typedef BannerCanvas* IsoDrawTarget;
#endif

// Paints the 96 x 32 picture with its top-left corner at (x0, y0), one pixel
// at a time, top-left tile first.
void IsoDrawBanner(IsoDrawTarget target, uint16_t x0, uint16_t y0);
void IsoPutBannerPixel(IsoDrawTarget target, int x, int y, uint16_t pixel);
