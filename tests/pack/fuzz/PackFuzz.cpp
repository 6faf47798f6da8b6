// libFuzzer entry: any bytes as a pack. Every entry the directory names, and
// a few fixed names, must load or fail cleanly; a loaded blob is read whole.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <minizip/unzip.h>

#include "pack/PackReader.h"

namespace {

std::string PackPath() {
  static const std::string path = "/tmp/veltrix-pack-fuzz-" + std::to_string(getpid()) + ".dat";
  return path;
}

void LoadWhole(const char* name) {
  std::unique_ptr<IData> blob = CPackReader::LoadData(name);
  if (!blob) return;
  volatile uint8_t sum = 0;
  for (int32_t i = 0; i < blob->GetSize(); ++i) sum = sum + blob->GetData()[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(PackPath().c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  if (CPackReader::Init(PackPath().c_str())) {
    // The names come from a second handle: the reader's own must only see loads.
    unzFile zip = unzOpen(PackPath().c_str());
    int result = zip != nullptr ? unzGoToFirstFile(zip) : UNZ_PARAMERROR;
    for (int i = 0; result == UNZ_OK && i < 32; ++i, result = unzGoToNextFile(zip)) {
      char name[300];
      unz_file_info info;
      if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK)
        LoadWhole(name);
    }
    if (zip != nullptr) unzClose(zip);
    LoadWhole("a/text.txt");
    LoadWhole("B\\NOISE.BIN");
  }
  CPackReader::Done();
  std::remove(PackPath().c_str());
  return 0;
}
