#pragma once
// The compound file (structured storage) that holds an Excel 97-2003 workbook: one
// stream in a root storage, 512-byte sectors.

#include <string>
#include <string_view>

namespace kelvo::exporting {

// A compound file whose only stream is `streamName` with `content`.
std::string compoundFileWithStream(std::u16string_view streamName, std::string_view content);

// The content of the stream `streamName` of a compound file; empty when the file is no
// compound file or has no such stream.
std::string streamOfCompoundFile(std::string_view file, std::u16string_view streamName);

}  // namespace kelvo::exporting
