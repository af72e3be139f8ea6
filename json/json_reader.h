#pragma once
// The two readers of the document model, as plain entry points (the
// containers' FromJSON / FromUtf8JSON / LoadFromFile and fuzz targets call
// them). Each clears `target` and fills it from a text holding a container of
// the target's class, raising EJsonParserException on malformed text.
#include <string_view>

#include "json/json_document.h"

namespace tarnvex::json {

// Text reader over UTF-16 code units: white space is every unit up to U+0020,
// the line is always 1, the column is the offset in code units plus 1.
void ReadJsonText(TJsonBaseObject& target, std::u16string_view text);
// The text reader's rules over UTF-8 input; positions still count UTF-16 units.
void ReadJsonText(TJsonBaseObject& target, std::string_view utf8);
// Byte reader over UTF-8: white space is TAB, SPACE, CR and LF; lines counted.
void ReadJsonBytes(TJsonBaseObject& target, std::string_view bytes);

}  // namespace tarnvex::json
