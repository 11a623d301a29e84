#include "config/port_name_validator.h"

namespace taktm {

QValidator::State PortNameValidator::validate(QString& input, int&) const {
  if (capitals_) input = input.toUpper();
  return Acceptable;
}

}  // namespace taktm
