// The save-file dialog of "Сохранить буфер в файл": no filter, no default
// extension, the working file preset, no overwrite question of its own (the
// caller asks its own), and the file list's details in the program's locale.
#ifndef TAKT_UI_SAVE_DIALOG_H_
#define TAKT_UI_SAVE_DIALOG_H_

#include <QFileDialog>
#include <QString>
#include <memory>

namespace taktm {

// `file` is the full path to preset; empty presets nothing.
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent,
                                            const QString& file);

}  // namespace taktm

#endif  // TAKT_UI_SAVE_DIALOG_H_
