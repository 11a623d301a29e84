// TForm3, "Настройки": the port parameters and the thirteen options. Its
// creation is the start-up step that starts the link watchdog, configures and
// opens the serial port and restores the browsed folder and the options; its
// destruction stores the folder and the options.
#ifndef TAKT_CONFIG_SETTINGS_DIALOG_H_
#define TAKT_CONFIG_SETTINGS_DIALOG_H_

#include <QDialog>
#include <array>

#include "config/options.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTabWidget;
class QTimer;

namespace taktm {

class FolderTree;
class TComm32;
class TysIntEdit;

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  // Runs the start-up load (FormCreate). `comm`, `timer2` and `tree` belong
  // to the main window and must outlive the close-time store.
  TForm3(TComm32& comm, QTimer& timer2, FolderTree& tree,
         QWidget* parent = nullptr);
  // Runs FormDestroy if the owner has not.
  ~TForm3() override;

  // The close-time store: the selected folder as "Path", then "Check1" ..
  // "Check13" as 1 or 0. Runs once.
  void FormDestroy();

  // The options: the check boxes show and edit them; an edit counts at
  // once, whichever button closes the dialog.
  const OptionsModel& options() const { return options_; }
  // Option n (1 .. 13), as check box n shows it.
  bool OptionTicked(int n) const;

  // "Сохранить": stores the port fields (effective at the next start) and
  // closes the dialog with OK.
  void Button1Click();
  // Stores the port fields only.
  void WriteRegistry();

  // Controls, for the main window's tests and for ours.
  QCheckBox* CheckBox(int n) const;
  QCheckBox* CheckBox(Option option) const {
    return CheckBox(OptionNumber(option));
  }
  QComboBox* PortField() const { return port_field_; }
  TysIntEdit* SpeedField() const { return speed_field_; }
  QComboBox* ParityField() const { return parity_field_; }
  QTabWidget* PageControl() const { return page_control_; }
  QPushButton* SaveButton() const { return save_button_; }
  QPushButton* CancelButton() const { return cancel_button_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildLinkTab();
  void BuildProgrammingTab();
  void BuildFilesTab();
  QGroupBox* BuildOptionGroup(OptionGroup group, QWidget* parent);
  void RefreshPortList();
  // Selects list item `index` of "Девятый бит"; any index outside the list
  // selects none and shows "Чет".
  void SelectParityItem(int index);

  void FormCreate();
  void ReadRegistry();
  void RestorePathAndOptions();
  // Each check box shows its option's state.
  void RenderOptions();
  QWidget* ReportParent();

  TComm32& comm_;
  QTimer& timer2_;
  FolderTree& tree_;
  bool stored_at_close_ = false;

  QTabWidget* page_control_ = nullptr;
  QComboBox* port_field_ = nullptr;
  TysIntEdit* speed_field_ = nullptr;
  QComboBox* parity_field_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  OptionsModel options_;
  std::array<QCheckBox*, kOptionCount> check_boxes_{};
};

}  // namespace taktm

#endif  // TAKT_CONFIG_SETTINGS_DIALOG_H_
