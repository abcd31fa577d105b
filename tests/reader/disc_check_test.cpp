// The structure check: each fault of a disc found, with its severity, entry
// and bytes, on images made to have exactly that fault.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "disc/disc_format.h"
#include "reader/raw_image.h"

namespace {

constexpr uint32_t kMainProgram = APPLOADER_OFFSET + APPLOADER_HEADER_SIZE;  // 0x2460
constexpr uint32_t kEntryPoint = 0x80003100;

// A sound disc: the magic word, an apploader of its header alone, a main
// program of one text section holding the entry point, then the files the
// case gives and the table.
RawImage sound_disc() {
  RawImage image;
  image.set_be32(GAMECUBE_DISC_MAGIC_OFFSET, GAMECUBE_DISC_MAGIC);
  image.set_be32(offsetof(DiscHeader, max_fst_size), 0x100000);
  image.bytes.resize(kMainProgram + 0x200, 0);
  image.set_be32(kMainProgram + DOL_OFFSETS_OFFSET, 0x100);
  image.set_be32(kMainProgram + DOL_ADDRESSES_OFFSET, kEntryPoint);
  image.set_be32(kMainProgram + DOL_SIZES_OFFSET, 0x100);
  image.set_be32(kMainProgram + DOL_ENTRY_POINT_OFFSET, kEntryPoint);
  return image;
}

std::string describe(const IsoFinding& f) {
  static const char* const severities[] = {"error", "warning", "note"};
  return std::string(severities[f.severity]) + " " + std::to_string(f.kind) + " '" + f.entry + "' " +
         std::to_string(f.start) + "-" + std::to_string(f.end) + (f.other.empty() ? "" : " vs '" + f.other + "'");
}

}  // namespace

TEST(ReaderDiscCheck, EachFaultIsFoundWithItsEntryAndBytes) {
  struct Case {
    const char* what;
    std::function<void(RawImage*)> make;  // files, table and the fault
    IsoFinding expected;                  // its kind, severity, entry, bytes and other
  };
  const std::vector<uint8_t> data(100, 'd');
  const Case cases[] = {
      {"a sound disc is only shorter than a full one",
       [&](RawImage* im) {
         const uint32_t at = im->add_data(data);
         im->write_table({file_entry("a.bin", at, 100)});
       },
       {IsoFindShortImage, IsoSeverityNote, "", 0, 0, "", 0, 0}},
      {"no magic word",
       [&](RawImage* im) {
         im->set_be32(GAMECUBE_DISC_MAGIC_OFFSET, 0);
         im->write_table({});
       },
       {IsoFindNoDiscMagic, IsoSeverityWarning, "boot.bin", 0x1C, 0x20, "", 0, 0}},
      {"a file cut off by the image's end",
       [&](RawImage* im) { im->write_table({file_entry("cut.bin", 0x10000, 0x100000)}); },
       {IsoFindFilePastEnd, IsoSeverityError, "/cut.bin", 0x10000, 0x110000, "", 0, 0}},
      {"two files sharing bytes",
       [&](RawImage* im) {
         const uint32_t at = im->add_data(data);
         im->write_table({dir_entry("d", 4), file_entry("a.bin", at, 100), file_entry("b.bin", at + 50, 50)});
       },
       {IsoFindFilesOverlap, IsoSeverityError, "/d/b.bin", 0x2832, 0x2864, "/d/a.bin", 0, 0}},
      {"a file over the main program",
       [&](RawImage* im) { im->write_table({file_entry("boot.dol", kMainProgram + 0x10, 0x20)}); },
       {IsoFindFileOverlapsArea, IsoSeverityError, "/boot.dol", 0x2470, 0x2490, "main.dol", 0, 0}},
      {"an entry point outside every section",
       [&](RawImage* im) {
         im->set_be32(kMainProgram + DOL_ENTRY_POINT_OFFSET, 0x81000000);
         im->write_table({});
       },
       {IsoFindEntryPoint, IsoSeverityError, "main.dol", kMainProgram, kMainProgram + 0x200, "", 0, 0}},
      {"a main program without sections",
       [&](RawImage* im) {
         im->set_be32(kMainProgram + DOL_SIZES_OFFSET, 0);
         im->write_table({});
       },
       {IsoFindNoSections, IsoSeverityError, "main.dol", kMainProgram, kMainProgram + DOL_HEADER_SIZE, "", 0, 0}},
      {"a folder whose end lies past the table",
       [&](RawImage* im) { im->write_table({dir_entry("d", 9)}); },
       {IsoFindTableBroken, IsoSeverityError, "fst.bin", 0x2660, 0x2660 + 2 * FST_ENTRY_SIZE + 2, "", 0, 0}},
      {"a table beyond the image's end",
       [&](RawImage* im) {
         im->write_table({});
         im->set_be32(0x428, 0x10000);
       },
       {IsoFindTableOutside, IsoSeverityError, "fst.bin", 0x2660, 0x12660, "", 0, 0}},
      {"a name no file can have",
       [&](RawImage* im) {
         const uint32_t at = im->add_data(data);
         im->write_table({file_entry("..", at, 100)});
       },
       {IsoFindUnsafeName, IsoSeverityWarning, "/..", 0x2800, 0x2864, "", 0, 0}},
      {"two entries of one folder on one file",
       [&](RawImage* im) {
         const uint32_t at = im->add_data(data);
         const uint32_t at2 = im->add_data(data);
         im->write_table({file_entry("x", at, 100), file_entry("x", at2, 100)});
       },
       {IsoFindDuplicateName, IsoSeverityWarning, "/x", 0x3000, 0x3064, "/x", 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReaderFixture fx;
    IsoSetMountBrokenTables(1);
    RawImage image = sound_disc();
    c.make(&image);
    ASSERT_TRUE(fx.mount(image)) << IsoGetLastError();
    std::vector<IsoFinding> findings;
    ASSERT_TRUE(IsoCheckDisc(&findings));
    std::string all;
    bool found = false;
    for (const IsoFinding& f : findings) {
      all += describe(f) + "\n";
      const IsoFinding& e = c.expected;
      const bool ranged = e.kind != IsoFindShortImage;
      if (f.kind == e.kind && f.severity == e.severity && f.entry == e.entry && f.other == e.other &&
          (!ranged || (f.start == e.start && f.end == e.end)))
        found = true;
      // Only the fault made, and the short image every case has.
      EXPECT_TRUE(f.kind == e.kind || f.kind == IsoFindShortImage) << describe(f);
    }
    EXPECT_TRUE(found) << all;
  }
}

TEST(ReaderDiscCheck, ABrokenTableMountsOnlyForTheCheck) {
  ReaderFixture fx;
  RawImage image = sound_disc();
  image.write_table({dir_entry("d", 9)});
  EXPECT_FALSE(fx.mount(image));
  EXPECT_EQ(IsoGetLastError(), IsoErrFstCache);
  IsoSetMountBrokenTables(1);
  ASSERT_TRUE(fx.mount(image));
  EXPECT_EQ(IsoGetRoot()->firstChild, nullptr);
  IsoReset();  // clears the setting
  EXPECT_FALSE(fx.mount(image));
}
