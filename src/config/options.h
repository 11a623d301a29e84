// The thirteen options of the settings dialog (their model, their places in
// the dialog) and the names under which the settings store keeps them and the
// port fields.
#ifndef TAKT_CONFIG_OPTIONS_H_
#define TAKT_CONFIG_OPTIONS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "programming/option_id.h"

namespace taktm {

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
inline std::string OptionValueName(Option option) {
  return OptionValueName(OptionNumber(option));
}

// The options in force: what the settings dialog's check boxes show and
// edit, what the store keeps, what the sequences read. A change counts from
// the next read on. Every option starts ticked (the first run).
class OptionsModel {
 public:
  OptionsModel() { ticked_.fill(true); }

  bool Ticked(Option option) const { return ticked_[Index(option)]; }
  bool operator[](Option option) const { return Ticked(option); }
  void SetTicked(Option option, bool ticked) {
    ticked_[Index(option)] = ticked;
  }

  bool operator==(const OptionsModel&) const = default;

 private:
  static size_t Index(Option option) {
    return static_cast<size_t>(OptionNumber(option) - 1);
  }
  std::array<bool, kOptionCount> ticked_;
};

// Options given for one run (the command line's flags): each either set, or
// left to the model it is applied to.
class OptionOverrides {
 public:
  std::optional<bool>& operator[](Option option) { return set_[Index(option)]; }
  const std::optional<bool>& operator[](Option option) const {
    return set_[Index(option)];
  }
  auto begin() const { return set_.begin(); }
  auto end() const { return set_.end(); }

  void ApplyTo(OptionsModel* model) const {
    for (Option option : kAllOptions) {
      if (const std::optional<bool>& ticked = (*this)[option]) {
        model->SetTicked(option, *ticked);
      }
    }
  }

 private:
  static size_t Index(Option option) {
    return static_cast<size_t>(OptionNumber(option) - 1);
  }
  std::array<std::optional<bool>, kOptionCount> set_{};
};

enum class OptionGroup { kProgramWrite, kEepromWrite, kFileFormats };
enum class OptionHeading { kNone, kBeforeWrite, kAfterWrite, kAdditional };

// Where an option's check box stands in the dialog.
struct OptionPlace {
  Option option;  // check box n is option n
  const char* caption;
  OptionGroup group;
  OptionHeading heading;
};

// Every option once, grouped, each group's boxes in their row order under
// their headings.
inline constexpr std::array<OptionPlace, kOptionCount> kOptionPlaces = {{
    {Option::kReloadFlash, "обновлять буфер", OptionGroup::kProgramWrite,
     OptionHeading::kBeforeWrite},
    {Option::kSignatureBeforeErase, "проверять сигнатуру",
     OptionGroup::kProgramWrite, OptionHeading::kBeforeWrite},
    {Option::kEraseAll, "стирать все", OptionGroup::kProgramWrite,
     OptionHeading::kBeforeWrite},
    {Option::kSignatureAfterErase, "проверять сигнатуру",
     OptionGroup::kProgramWrite, OptionHeading::kBeforeWrite},
    {Option::kVerifyFlash, "верифицировать", OptionGroup::kProgramWrite,
     OptionHeading::kAfterWrite},
    {Option::kSetLockBits, "ставить биты защиты", OptionGroup::kProgramWrite,
     OptionHeading::kAfterWrite},
    {Option::kRewriteFf, "перезаписывать FF", OptionGroup::kProgramWrite,
     OptionHeading::kAdditional},
    {Option::kReloadEeprom, "обновлять буфер", OptionGroup::kEepromWrite,
     OptionHeading::kBeforeWrite},
    {Option::kSignatureBeforeEeprom, "проверять сигнатуру",
     OptionGroup::kEepromWrite, OptionHeading::kBeforeWrite},
    {Option::kEraseEeprom, "стирать EEPROM", OptionGroup::kEepromWrite,
     OptionHeading::kBeforeWrite},
    {Option::kVerifyEeprom, "верифицировать", OptionGroup::kEepromWrite,
     OptionHeading::kAfterWrite},
    {Option::kReadHexFiles, "понимать HEX-файлы", OptionGroup::kFileFormats,
     OptionHeading::kNone},
    {Option::kReadEepFiles, "понимать EEP-файлы", OptionGroup::kFileFormats,
     OptionHeading::kNone},
}};

const char* GroupTitle(OptionGroup group);
// Empty for kNone.
const char* HeadingTitle(OptionHeading heading);

// The place of option n, or nullptr when n is not 1 .. 13.
const OptionPlace* FindOptionPlace(int n);
inline const OptionPlace* FindOptionPlace(Option option) {
  return FindOptionPlace(OptionNumber(option));
}

// Any non-zero stored value means ticked; a tick is stored as 1.
inline bool OptionTickedFromStored(int32_t stored) { return stored != 0; }
inline int32_t StoredFromOptionTicked(bool ticked) { return ticked ? 1 : 0; }

}  // namespace taktm

#endif  // TAKT_CONFIG_OPTIONS_H_
