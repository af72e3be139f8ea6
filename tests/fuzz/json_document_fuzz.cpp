// Any bytes through every reader of the document model: the text reader (as
// UTF-8 and as UTF-16 code units), the byte reader and file loading. Each
// either raises its parse error or gives a document whose compact text reads
// back to the same text, and whose indented text reads back to it as well.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "json/json_document.h"
#include "json/json_reader.h"

namespace {

using namespace tarnvex::json;

// The compact text of a document read back must be the same text.
void CheckWritten(const TJsonBaseObject& document) {
  const std::string compact = document.ToJSON(true);
  auto again = TJsonBaseObject::Parse(std::string_view(compact));
  if (!again || again->ToJSON(true) != compact) std::abort();
  TJsonBaseObject* indented_reader = again.get();
  ReadJsonBytes(*indented_reader, document.ToJSON(false));
  if (indented_reader->ToJSON(true) != compact) std::abort();
}

template <typename Read>
void Try(Read read) {
  for (const bool array : {false, true}) {
    TJsonObject object;
    TJsonArray list;
    TJsonBaseObject& target = array ? static_cast<TJsonBaseObject&>(list) : object;
    try {
      read(target);
    } catch (const EJsonException&) {
      continue;
    } catch (const tarnvex::Exception&) {
      continue;  // EConvertError of a number out of range, file errors
    }
    CheckWritten(target);
  }
}

// File loading goes through a memory file reached by its /proc path.
const std::string& MemoryFilePath(int& fd) {
  static int file = memfd_create("json_fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  fd = file;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Try([&](TJsonBaseObject& target) { ReadJsonText(target, bytes); });
  Try([&](TJsonBaseObject& target) { ReadJsonBytes(target, bytes); });
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  Try([&](TJsonBaseObject& target) { ReadJsonText(target, units); });
  int fd = -1;
  const std::string& path = MemoryFilePath(fd);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  for (const bool without_bom : {true, false}) {
    Try([&](TJsonBaseObject& target) { target.LoadFromFile(path, without_bom); });
  }
  return 0;
}
