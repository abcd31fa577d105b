// Window-free rules of the extraction commands.
#pragma once

// What an extraction command copies out of the image.
enum ExtractKind {
  WholeImage = 0,
  Selection = 1,
  BootData = 2,
  FileSystemTable = 3,
  Apploader = 4,
  MainProgram = 5,
};
