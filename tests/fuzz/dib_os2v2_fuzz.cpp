// libFuzzer target for the OS/2 2.0 bitmap reader with its RLE24 and Huffman decoders.
#include "dib_fuzz_common.h"
#include "formats/dib/dib_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ravelle::fuzz::FuzzLongHeaderReader(data, size, ravelle::ReadOs2v2Dib);
  return 0;
}
