#include "link/port_access.h"

namespace taktm {

std::string PortAccessDeniedLine(const PortOwnership& owner) {
  const std::string head = "Нет прав на чтение и запись " + owner.path + ": ";
  if (owner.group_may_use) {
    // The usual case (group dialout on Debian): membership is all it takes,
    // and it counts from the next login.
    return head + "порт доступен группе " + owner.group +
           ". Добавьте пользователя в эту группу (sudo usermod -aG " +
           owner.group + " " + owner.user + ") и войдите в систему заново.";
  }
  return head + "порт принадлежит группе " + owner.group +
         ", но чтение и запись разрешены только владельцу. Откройте доступ "
         "правилом udev (см. руководство, «Подключение программатора»).";
}

}  // namespace taktm
