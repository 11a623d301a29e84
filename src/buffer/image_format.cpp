#include "buffer/image_format.h"

#include "buffer/data_buffer.h"
#include "buffer/elf_reader.h"
#include "buffer/grid_text.h"
#include "buffer/intel_hex.h"
#include "buffer/intel_hex_writer.h"
#include "buffer/record_text.h"
#include "buffer/srec.h"

namespace taktm {
namespace {

bool AllHexDigits(std::string_view s) {
  for (char c : s) {
    if (HexDigitValue(static_cast<unsigned char>(c)) < 0) return false;
  }
  return true;
}

// A record by its shape (the readers check the sums and lengths).
bool IsIntelHexRecord(std::string_view line) {
  return line.size() >= 11 && line[0] == ':' && line.size() % 2 == 1 &&
         AllHexDigits(line.substr(1));
}

bool IsSrecRecord(std::string_view line) {
  return line.size() >= 8 && line[0] == 'S' && line[1] >= '0' &&
         line[1] <= '9' && line[1] != '4' && line.size() % 2 == 0 &&
         AllHexDigits(line.substr(2));
}

}  // namespace

std::string UpperExtension(const std::string& path) {
  // The name is what follows the folder, whatever the bytes in it.
#ifdef _WIN32
  const size_t folder_end = path.find_last_of("/\\:");
#else
  const size_t folder_end = path.rfind('/');
#endif
  const std::string name =
      folder_end == std::string::npos ? path : path.substr(folder_end + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext;
}

const char* FormatWord(ImageFormat format) {
  switch (format) {
    case ImageFormat::kIntelHex:
      return "ihex";
    case ImageFormat::kSrec:
      return "srec";
    case ImageFormat::kElf:
      return "elf";
    case ImageFormat::kRaw:
      break;
  }
  return "raw";
}

std::optional<ImageFormat> FormatFromWord(std::string_view word) {
  for (ImageFormat f : {ImageFormat::kRaw, ImageFormat::kIntelHex,
                        ImageFormat::kSrec, ImageFormat::kElf}) {
    if (word == FormatWord(f)) return f;
  }
  return std::nullopt;
}

const char* FormatTitle(ImageFormat format) {
  switch (format) {
    case ImageFormat::kIntelHex:
      return "Intel HEX";
    case ImageFormat::kSrec:
      return "S-record";
    case ImageFormat::kElf:
      return "ELF";
    case ImageFormat::kRaw:
      break;
  }
  return "двоичный";
}

ImageFormat FormatOfContent(std::string_view bytes) {
  if (HasElfMagic(bytes)) return ImageFormat::kElf;
  bool intel_hex = true;
  bool srec = true;
  bool any = false;
  size_t pos = 0;
  while (pos < bytes.size() && (intel_hex || srec)) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = TrimBlanks(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    any = true;
    intel_hex = intel_hex && IsIntelHexRecord(line);
    srec = srec && IsSrecRecord(line);
  }
  if (any && intel_hex) return ImageFormat::kIntelHex;
  if (any && srec) return ImageFormat::kSrec;
  return ImageFormat::kRaw;
}

ImageFormat FormatOfName(const std::string& path, bool intel_hex_names,
                         bool eep_names) {
  const std::string ext = UpperExtension(path);
  if ((ext == ".HEX" || ext == ".IHX") && intel_hex_names) {
    return ImageFormat::kIntelHex;
  }
  if (ext == ".EEP" && eep_names) return ImageFormat::kIntelHex;
  if (ext == ".SREC" || ext == ".S19" || ext == ".S28" || ext == ".S37" ||
      ext == ".MOT") {
    return ImageFormat::kSrec;
  }
  if (ext == ".ELF") return ImageFormat::kElf;
  return ImageFormat::kRaw;
}

ImageFormat SaveFormatOfName(const std::string& path, bool intel_hex_names,
                             bool eep_names) {
  const ImageFormat f = FormatOfName(path, intel_hex_names, eep_names);
  return f == ImageFormat::kElf ? ImageFormat::kRaw : f;
}

FormatDecision DecideFormat(ImageFormat by_name, ImageFormat by_content) {
  if (by_content == ImageFormat::kRaw) return {by_name, false};
  return {by_content, by_name == ImageFormat::kRaw};
}

ImageResult ReadImageAs(ImageFormat format, std::string_view bytes,
                        uint32_t raw_offset) {
  switch (format) {
    case ImageFormat::kIntelHex: {
      IntelHexResult hex = ReadIntelHex(bytes);
      ImageResult r;
      r.line = hex.line;
      r.warning = std::move(hex.warning);
      r.image = std::move(hex.image);
      r.status = hex.status == HexStatus::kImage     ? ImageStatus::kImage
                 : hex.status == HexStatus::kRefused ? ImageStatus::kRefused
                                                     : ImageStatus::kAbandoned;
      return r;
    }
    case ImageFormat::kSrec:
      return ReadSrec(bytes);
    case ImageFormat::kElf:
      return ReadElf(bytes);
    case ImageFormat::kRaw:
      break;
  }
  ImageResult r;
  if (uint64_t{raw_offset} + bytes.size() >= kBufferLimit && raw_offset > 0) {
    r.status = ImageStatus::kRefused;
    r.warning = kTooLongWarning;
    return r;
  }
  r.status = ImageStatus::kImage;
  r.image.assign(raw_offset, 0xFF);
  r.image.insert(r.image.end(), bytes.begin(), bytes.end());
  return r;
}

std::string EncodeImage(ImageFormat format, const uint8_t* data, size_t size) {
  switch (format) {
    case ImageFormat::kIntelHex:
      return WriteIntelHex(data, size);
    case ImageFormat::kSrec:
      return WriteSrec(data, size);
    case ImageFormat::kElf:
    case ImageFormat::kRaw:
      break;
  }
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace taktm
