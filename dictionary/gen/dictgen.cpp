// Build-time generator: reads the dictionary declarations (tables.dct) and
// writes the record structs (records.h) and the run-time metadata
// (dictionary_data.cpp). Any inconsistency in the declarations, such as a
// record length that does not add up, stops the build with file:line.

#include <fstream>
#include <iostream>
#include <sstream>

#include "dictgen_model.h"

using namespace dictgen;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: dictgen tables.dct records.h dictionary_data.cpp\n";
    return 2;
  }
  source = argv[1];
  std::ifstream in(source);
  if (!in) {
    std::cerr << "cannot read " << source << "\n";
    return 1;
  }
  parse(in);
  layout();
  checkShares();
  std::ostringstream h, c;
  writeHeader(h);
  writeSource(c);
  writeIfChanged(argv[2], h.str());
  writeIfChanged(argv[3], c.str());
  return 0;
}
