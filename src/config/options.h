// The thirteen options of the settings dialog and the names under which the
// settings store keeps them and the port fields.
#ifndef TAKT_CONFIG_OPTIONS_H_
#define TAKT_CONFIG_OPTIONS_H_

#include <array>
#include <cstdint>
#include <string>

namespace taktm {

inline constexpr int kOptionCount = 13;

// Value names of the settings store.
inline constexpr char kComPortValue[] = "ComPort";
inline constexpr char kBitrateValue[] = "Bitrate";
inline constexpr char kParityValue[] = "Parity";
inline constexpr char kPathValue[] = "Path";

// Organisation and application naming the per-user store.
inline constexpr char kStoreOrganisation[] = "ZARVENTIK";
inline constexpr char kStoreApplication[] = "TAKT-M";

// Field values before anything is stored (first run); the port's is
// DefaultComPort() (config/default_port.h).
inline constexpr int32_t kDefaultBitrate = 56000;
inline constexpr int kNoParityIndex = -1;

// "Check1" .. "Check13" for option n = 1 .. 13; empty for any other n.
std::string OptionValueName(int n);

enum class OptionGroup { kProgramWrite, kEepromWrite, kFileFormats };
enum class OptionHeading { kNone, kBeforeWrite, kAfterWrite, kAdditional };

// Where an option's check box stands in the dialog.
struct OptionPlace {
  int option;  // 1 .. 13: check box n is option n
  const char* caption;
  OptionGroup group;
  OptionHeading heading;
};

// Every option once, grouped, each group's boxes in their row order under
// their headings.
inline constexpr std::array<OptionPlace, kOptionCount> kOptionPlaces = {{
    {1, "обновлять буфер", OptionGroup::kProgramWrite,
     OptionHeading::kBeforeWrite},
    {10, "проверять сигнатуру", OptionGroup::kProgramWrite,
     OptionHeading::kBeforeWrite},
    {2, "стирать все", OptionGroup::kProgramWrite, OptionHeading::kBeforeWrite},
    {8, "проверять сигнатуру", OptionGroup::kProgramWrite,
     OptionHeading::kBeforeWrite},
    {3, "верифицировать", OptionGroup::kProgramWrite,
     OptionHeading::kAfterWrite},
    {11, "ставить биты защиты", OptionGroup::kProgramWrite,
     OptionHeading::kAfterWrite},
    {13, "перезаписывать FF", OptionGroup::kProgramWrite,
     OptionHeading::kAdditional},
    {5, "обновлять буфер", OptionGroup::kEepromWrite,
     OptionHeading::kBeforeWrite},
    {9, "проверять сигнатуру", OptionGroup::kEepromWrite,
     OptionHeading::kBeforeWrite},
    {6, "стирать EEPROM", OptionGroup::kEepromWrite,
     OptionHeading::kBeforeWrite},
    {7, "верифицировать", OptionGroup::kEepromWrite,
     OptionHeading::kAfterWrite},
    {4, "понимать HEX-файлы", OptionGroup::kFileFormats, OptionHeading::kNone},
    {12, "понимать EEP-файлы", OptionGroup::kFileFormats, OptionHeading::kNone},
}};

const char* GroupTitle(OptionGroup group);
// Empty for kNone.
const char* HeadingTitle(OptionHeading heading);

// The place of option n, or nullptr when n is not 1 .. 13.
const OptionPlace* FindOptionPlace(int n);

// Any non-zero stored value means ticked; a tick is stored as 1.
inline bool OptionTickedFromStored(int32_t stored) { return stored != 0; }
inline int32_t StoredFromOptionTicked(bool ticked) { return ticked ? 1 : 0; }

}  // namespace taktm

#endif  // TAKT_CONFIG_OPTIONS_H_
