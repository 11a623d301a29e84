// Texts on the programmer link are 8-bit Windows-1251; the catalogue and the
// about lines are written in UTF-8 and converted here.
#ifndef TAKT_DEVSIM_CP1251_H_
#define TAKT_DEVSIM_CP1251_H_

#include <string>
#include <string_view>

namespace taktm::devsim {

// Converts UTF-8 to Windows-1251. Returns false (and leaves `out` partly
// filled) on malformed UTF-8 or a character the code page lacks.
bool EncodeCp1251(std::string_view utf8, std::string& out);

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_CP1251_H_
