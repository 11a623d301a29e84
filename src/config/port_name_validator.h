// The "Порт" field's rule for typed text.
#ifndef TAKT_CONFIG_PORT_NAME_VALIDATOR_H_
#define TAKT_CONFIG_PORT_NAME_VALIDATOR_H_

#include <QValidator>

namespace taktm {

// Windows port names ("COM1") ignore case and are shown in capitals; device
// paths elsewhere ("/dev/ttyUSB0") are case-sensitive and must keep it.
#ifdef Q_OS_WIN
inline constexpr bool kPortNamesInCapitals = true;
#else
inline constexpr bool kPortNamesInCapitals = false;
#endif

// Accepts any text; in capitals mode typed letters become capitals.
class PortNameValidator : public QValidator {
  Q_OBJECT

 public:
  explicit PortNameValidator(bool capitals, QObject* parent = nullptr)
      : QValidator(parent), capitals_(capitals) {}

  State validate(QString& input, int& pos) const override;

 private:
  bool capitals_;
};

}  // namespace taktm

#endif  // TAKT_CONFIG_PORT_NAME_VALIDATOR_H_
