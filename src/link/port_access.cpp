#include "link/port_access.h"

namespace taktm {

std::string PortAccessDeniedLine(const PortOwnership& owner) {
  const std::string head = "Нет прав на чтение и запись " + owner.path + ": ";
  // The package's rule opens USB adapters to the user at the seat with no
  // group change; an adapter plugged in before it was installed, or a
  // remote login, still meets the rights below.
  const std::string package_rule =
      " Пакет takt-m открывает USB-переходники пользователю за компьютером "
      "без смены группы правилом udev 70-takt-m.rules: после его установки "
      "переподключите переходник.";
  if (owner.group_may_use) {
    // The usual case (group dialout on Debian): membership is all it takes,
    // and it counts from the next login.
    return head + "порт доступен группе " + owner.group +
           ". Добавьте пользователя в эту группу (sudo usermod -aG " +
           owner.group + " " + owner.user + ") и войдите в систему заново." +
           package_rule;
  }
  return head + "порт принадлежит группе " + owner.group +
         ", но чтение и запись разрешены только владельцу. Откройте доступ "
         "правилом udev (см. руководство, «Подключение программатора»)." +
         package_rule;
}

}  // namespace taktm
