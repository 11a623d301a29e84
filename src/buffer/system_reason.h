// Why a file could not be read or written, in the program's language: the
// system's reasons a user meets with files, and the program's own.
#ifndef TAKT_BUFFER_SYSTEM_REASON_H_
#define TAKT_BUFFER_SYSTEM_REASON_H_

#include <string>
#include <system_error>

namespace taktm {

// Failures the file layer finds itself, beside the system's error numbers.
enum class FileErrc {
  kNotRegularFile = 1,  // a socket or other node that holds no file
  kStalled,             // a pipe or device took no byte for too long
  kIncomplete,          // the file did not end up with every byte
  kBadName,             // a name the system does not take for a file
};

const std::error_category& FileCategory();
std::error_code make_error_code(FileErrc e);

// The reason as one Russian sentence without a final period ("Нет прав
// доступа"). Reasons without a text of their own keep the system's.
std::string SystemReason(const std::error_code& error);

}  // namespace taktm

template <>
struct std::is_error_code_enum<taktm::FileErrc> : std::true_type {};

#endif  // TAKT_BUFFER_SYSTEM_REASON_H_
